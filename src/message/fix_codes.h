// FIX coded values: storing a FIX value under its internal id (codes translated, numbers typed,
// message and execution types applied, transaction time converted) and the reverse translation
// that the FIX writer uses.
#pragma once

#include <string>
#include <string_view>

class VOKField;
class VOKMessage;

namespace vok::message {

// Stores the FIX value of a field read as internal id into message. A coded value without a
// mapping stores nothing.
void StoreFixValue(VOKMessage& message, int id, std::string_view value);

// Appends the FIX text of field id; nothing when the value has no FIX code.
void AppendFixValue(std::string& out, int id, const VOKField& field, int offsetHours);

}  // namespace vok::message

// US Eastern time for the message layer: the offset (hours behind UTC) fixed when the library
// loads, and the FIX transaction time (tag 60, field 1021) read into Eastern date and time fields
// and written back in UTC, both at that offset.
#pragma once

#include <string>
#include <string_view>

class VOKMessage;

namespace vok::message {

// 4 or 5, by vok::calendar::DaylightRule::kSevenUtc at the moment the library loaded.
int EasternOffsetHours();

// Stores value as text in 1047 and, when it is a valid FIX timestamp longer than 16 characters,
// the Eastern date in 1022 ("%m/%d/%Y") and time in 1021.
void ReadFixTransactTime(VOKMessage& message, std::string_view value, int offsetHours);

// The FIX text of field 1021 ("[date-]HH:MM:SS" in Eastern time) as UTC "HH:MM:SS".
void AppendFixTransactTime(std::string& out, std::string_view value, int offsetHours);

}  // namespace vok::message

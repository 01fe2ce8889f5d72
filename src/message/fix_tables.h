// The FIX 4.1 vocabulary: translation between FIX tags and internal field ids, FIX message types
// and execution types to internal type characters. Constant tables built at compile time, so
// they are ready before any static initialiser runs and any thread may read them.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace vok::message {

inline constexpr int kFixTableSize = 14000;
// Internal ids with a special meaning in FixToInternalId results.
inline constexpr int kFixMessageTypeId = 0;     // tag 35
inline constexpr int kFixExecutionTypeId = -2;  // tag 150

const char* FixVersion();  // "4.1"

// internal id -> FIX tag, -1 when the field has none.
int InternalToFixTag(int id);
// The tag -> internal id table behind FixToInternalId (-1: not read).
extern const std::array<int, kFixTableSize> kFixToInternalTable;

// FIX tag -> internal id, -1 when the tag is not read. execution: the message is an execution
// report ('E'), which moves price and quantity to tags 31 and 32. Inline: the reader asks for
// every tag.
inline int FixToInternalId(bool execution, int tag) {
  switch (tag) {
    case 31:
      return execution ? 1004 : -1;
    case 32:
      return execution ? 1002 : -1;
    case 38:
      return execution ? -1 : 1002;
    case 44:
      return execution ? -1 : 1004;
    default:
      return tag >= 1 && tag < kFixTableSize ? kFixToInternalTable[static_cast<std::size_t>(tag)] : -1;
  }
}

// The internal type a FIX message type (tag 35) sets, or current when the value is not known.
int FixMessageTypeToInternal(std::string_view value, int current);
// The internal type an execution type (tag 150) refines current to.
int FixExecutionTypeToInternal(std::string_view value, int current);
// The FIX message type written for an internal type ("" when it has none).
// heartbeatTest: field 1143 reads non-zero; multileg: group 1089 has two or more entries.
const char* InternalToFixMessageType(int type, bool heartbeatTest, bool multileg);

// Number of translations held in each direction (for checking the tables).
int CountInternalToFix();
int CountFixToInternal();

}  // namespace vok::message

// Reading a repeating group inline from wire text, shared by the line form (';' separated, values
// kept as text) and the FIX form (SOH separated, tags and coded values translated). Entries are
// created only as their tokens arrive, so a huge count from the wire allocates nothing extra, and
// nested groups stop at a fixed depth.
#pragma once

#include <memory>

#include "message/vok_group.h"

class VOKMessage;

namespace vok::message {

inline constexpr int kMaxGroupDepth = 4;

struct GroupReadRules {
  char m_separator;
  // Wire tag of an internal id (for finding the head's next occurrence textually).
  int (*m_wireTag)(int id);
  // Internal id of a wire tag, -1 when the token is not read.
  int (*m_translate)(int tag);
  // Stores one member value in an entry.
  void (*m_store)(VOKMessage& entry, int id, const char* value, const char* valueEnd);
};

// Reads the group whose count field is groupId with count entries (count >= 1) from text starting
// at p (just after the count token's separator) up to end. Returns the group and sets resume to
// where reading of the enclosing text continues (end when the rest of the text is to be ignored).
std::unique_ptr<VOKGroup> ReadGroup(int groupId, int count, const char* p, const char* end, const GroupReadRules& rules,
                                    int depth, const char*& resume);

}  // namespace vok::message

// Reading a repeating group inline from wire text, shared by the line form (';' separated, values
// kept as text) and the FIX form (SOH separated, tags and coded values translated). Entries are
// created only as their tokens arrive and within the parse's caps, so a huge count or a flood of
// entries from the wire allocates nothing beyond them, and nested groups stop at a fixed depth.
#pragma once

#include <memory>

#include "message/parse_budget.h"
#include "message/vok_group.h"

class VOKMessage;

namespace vok::message {

struct GroupReadRules {
  char m_separator;
  // Wire tag of an internal id (for finding the head's next occurrence textually).
  int (*m_wireTag)(int id);
  // Internal id of a wire tag; false when the tag is not read. Every int is a valid id.
  bool (*m_translate)(int tag, int& id);
  // Stores one member value in an entry, within the budget.
  void (*m_store)(VOKMessage& entry, int id, const char* value, const char* valueEnd, CParseBudget& budget);
};

// Reads the group whose count field is groupId with count entries (count >= 1) from text starting
// at p (just after the count token's separator) up to end. Returns the group and sets resume to
// where reading of the enclosing text continues (end when the rest of the text is to be ignored).
// Entries over the budget are read and dropped.
std::unique_ptr<VOKGroup> ReadGroup(int groupId, int count, const char* p, const char* end, const GroupReadRules& rules,
                                    CParseBudget& budget, int depth, const char*& resume);

}  // namespace vok::message

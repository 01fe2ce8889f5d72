// What one parsed text may build: caps on the distinct fields of a message (and of each group
// entry), on the keys of one field-map chain, on the group entries of a message and on all its
// nodes. Whatever a line carries beyond them is skipped as malformed input is, and one warning
// line per message says how much. The caps keep the work of a parse linear in the text (no lookup
// walks more than kMaxChain keys) and its memory a small multiple of it, whatever a server sends.
#pragma once

#include "message/vok_field_map.h"

namespace vok::message {

// A real message has tens of fields; this leaves room for several times that.
inline constexpr int kMaxFieldsPerMap = 256;
// The keys of one bucket chain of a parsed map. The map's 47 buckets and their order are part of
// the wire form, so long chains cannot be split; a real message's tens of ids spread over the
// buckets (one or two each), while ids chosen to share one bucket would make every lookup walk
// them all.
inline constexpr int kMaxChain = 16;
// A real group has some hundreds of entries at most; all groups of a message share the cap.
inline constexpr int kMaxGroupEntries = 1024;
// Fields and entries at every level of one message (an entry costs about 1 KiB, a field 48 bytes).
inline constexpr int kMaxNodes = 16384;
// Groups nested in group entries: levels below this are skipped.
inline constexpr int kMaxGroupDepth = 4;

class CParseBudget {
 public:
  // The field of id in map for storing a value: the existing one, or a new one while the caps
  // allow. Null (the value is to be skipped, and is counted) when id is new and over a cap.
  VOKField* Field(VOKFieldMap& map, int id) {
    const int before = map.GetCount();
    VOKField* field = map.FindOrAdd(id, MayAdd(map) ? kMaxChain : 0);
    if (field == nullptr) {
      ++m_skippedFields;
    } else if (map.GetCount() != before) {
      ++m_nodes;
    }
    return field;
  }
  // Whether a value of id may be stored in map by a path that adds the field itself; counts it
  // as Field does.
  bool Admit(const VOKFieldMap& map, int id) {
    if (map.Find(id) != nullptr) return true;
    if (MayAdd(map) && map.ChainLength(id) < kMaxChain) {
      ++m_nodes;
      return true;
    }
    ++m_skippedFields;
    return false;
  }
  // Whether one more group entry may be created; counts the refused ones.
  bool AdmitEntry() {
    if (m_entries < kMaxGroupEntries && m_nodes < kMaxNodes) {
      ++m_entries;
      ++m_nodes;
      return true;
    }
    ++m_skippedEntries;
    return false;
  }
  // A group kMaxGroupDepth levels deep: its count is skipped, its tokens read as plain members.
  void SkipNestedGroup() { ++m_skippedGroups; }

  // One warning line when anything was skipped.
  void Report() const;

 private:
  bool MayAdd(const VOKFieldMap& map) const { return map.GetCount() < kMaxFieldsPerMap && m_nodes < kMaxNodes; }

  int m_nodes = 0;
  int m_entries = 0;
  int m_skippedFields = 0;
  int m_skippedEntries = 0;
  int m_skippedGroups = 0;
};

}  // namespace vok::message

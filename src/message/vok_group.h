// The value of a repeating-group field: its entries (each a full message holding the members of
// one repetition) and the cursor of sequential access, plus the process-wide table of group
// definitions (count field id -> ordered member ids, head first, tail last).
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "message/wire_vocabulary.h"

class VOKMessage;

class VOKGroup {
 public:
  VOKGroup();
  VOKGroup(const VOKGroup& other);  // deep copy, cursor 0
  VOKGroup& operator=(const VOKGroup&) = delete;
  ~VOKGroup();

  int GetCount() const { return static_cast<int>(m_entries.size()); }
  VOKMessage* GetEntry(int index) const;
  void AddEntry(const VOKMessage& entry);
  void AddEntry(std::unique_ptr<VOKMessage> entry);

  void Reset() { m_cursor = 0; }
  // Sets entry to the entry at the cursor and advances it; returns whether further entries
  // follow. Returns false with entry untouched when none is left.
  bool GetNext(VOKMessage*& entry);

 private:
  int m_cursor = 0;
  std::vector<std::unique_ptr<VOKMessage>> m_entries;
};

// The member ids of the group whose count field is fid (head first, tail last), or an empty span
// when fid is not a group field id. The table is constant data: safe from any thread at any time.
std::span<const int> GroupMembers(int fid);
// Inline: every typed getter and setter asks.
inline bool IsGroupField(int fid) { return fid == vok::wire::kFidLegs; }

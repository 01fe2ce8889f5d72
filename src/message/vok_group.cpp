// Repeating-group values and the constant table of group definitions; see vok_group.h.
// The only group is the multileg group of order entry, count field 1089.
#include "message/vok_group.h"

#include <array>

#include "message/vok_message.h"

namespace {

// The multileg group: count field 1089, head 1507, tail 1500.
constexpr std::array<int, 12> kLegMembers = {1507, 1512, 1511, 1510, 1501, 1502, 1503, 1504, 1509, 1505, 1506, 1500};

}  // namespace

std::span<const int> GroupMembers(int fid) {
  if (IsGroupField(fid)) return kLegMembers;
  return {};
}

VOKGroup::VOKGroup() = default;

VOKGroup::VOKGroup(const VOKGroup& other) {
  m_entries.reserve(other.m_entries.size());
  for (const auto& entry : other.m_entries) m_entries.push_back(std::make_unique<VOKMessage>(*entry));
}

VOKGroup::~VOKGroup() = default;

VOKMessage* VOKGroup::GetEntry(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_entries[static_cast<std::size_t>(index)].get();
}

void VOKGroup::AddEntry(const VOKMessage& entry) { m_entries.push_back(std::make_unique<VOKMessage>(entry)); }

void VOKGroup::AddEntry(std::unique_ptr<VOKMessage> entry) {
  if (entry) m_entries.push_back(std::move(entry));
}

bool VOKGroup::GetNext(VOKMessage*& entry) {
  if (m_cursor >= GetCount()) return false;
  entry = m_entries[static_cast<std::size_t>(m_cursor++)].get();
  return m_cursor < GetCount();
}

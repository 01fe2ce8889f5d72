// VOKMessage construction, copying, typed field access, groups, routing and Log. The two text
// forms live in line_form.cpp and fix_form.cpp.
#include "message/vok_message.h"

#include <cstring>
#include <utility>

#include "message/wire_vocabulary.h"
#include "vkdll/trace.h"
#include "vkdll/vkdll.h"

namespace {

// The logon's password is replaced by this in every trace line.
constexpr const char* kMask = "********";

}  // namespace

VOKMessage::VOKMessage(const char* text, int length) { Parse(text, length); }

VOKMessage::VOKMessage(const VOKMessage& other) { *this = other; }

VOKMessage& VOKMessage::operator=(const VOKMessage& other) {
  if (this == &other) return *this;
  Clear();
  m_type = other.m_type;
  m_routingValue = other.m_routingValue;
  if (other.m_routingList) {
    m_routingList = std::make_unique<std::vector<std::uint32_t>>(*other.m_routingList);
    m_routingValue = -100;
  }
  CopyFields(other);
  return *this;
}

void VOKMessage::Clear() {
  m_fields.RemoveAll();
  m_type = 0;
  m_routingValue = 0;
  m_routingList.reset();
}

bool VOKMessage::GetString(int fid, std::string& value) const {
  if (IsGroupField(fid)) return false;
  const VOKField* field = m_fields.Find(fid);
  return field != nullptr && field->AsString(value);
}

bool VOKMessage::GetString(int fid, char* buffer, int size) const {
  if (IsGroupField(fid)) return false;
  const VOKField* field = m_fields.Find(fid);
  return field != nullptr && field->AsString(buffer, size);
}

bool VOKMessage::GetInt(int fid, int& value) const {
  if (IsGroupField(fid)) return false;
  const VOKField* field = m_fields.Find(fid);
  return field != nullptr && field->AsInt(value);
}

bool VOKMessage::GetLong(int fid, long& value) const {
  int v = 0;
  if (!GetInt(fid, v)) return false;
  value = v;
  return true;
}

bool VOKMessage::GetDouble(int fid, double& value) const {
  if (IsGroupField(fid)) return false;
  const VOKField* field = m_fields.Find(fid);
  return field != nullptr && field->AsDouble(value);
}

bool VOKMessage::GetUInt64(int fid, std::uint64_t& value) const {
  if (IsGroupField(fid)) return false;
  const VOKField* field = m_fields.Find(fid);
  return field != nullptr && field->AsUInt64(value);
}

void VOKMessage::SetString(int fid, const char* text) {
  if (IsGroupField(fid)) return;
  m_fields[fid].SetString(text != nullptr ? std::string_view(text) : std::string_view());
}

void VOKMessage::SetText(int fid, std::string_view text) {
  if (IsGroupField(fid)) return;
  m_fields[fid].SetString(text);
}

void VOKMessage::SetInt(int fid, int value) {
  if (IsGroupField(fid)) return;
  m_fields[fid].SetInt(value);
}

void VOKMessage::SetString(int fid, const std::string& text) { m_fields[fid].SetString(text); }

void VOKMessage::SetInt(int fid, const int* value) {
  if (value != nullptr) m_fields[fid].SetInt(*value);
}

void VOKMessage::SetDouble(int fid, double value) { m_fields[fid].SetDouble(value); }

void VOKMessage::SetUInt64(int fid, std::uint64_t value) { m_fields[fid].SetUInt64(value); }

void VOKMessage::SetField(int fid, const VOKField& field) {
  VOKField& target = m_fields[fid];
  if (&target != &field) target = field;
}

void VOKMessage::SetField(int fid, VOKField&& field) { m_fields[fid] = std::move(field); }

bool VOKMessage::Lookup(int fid, VOKField*& field) {
  VOKField* found = m_fields.Find(fid);
  if (found == nullptr) return false;
  field = found;
  return true;
}

bool VOKMessage::Lookup(int fid, const VOKField*& field) const {
  const VOKField* found = m_fields.Find(fid);
  if (found == nullptr) return false;
  field = found;
  return true;
}

bool VOKMessage::RemoveKey(int fid) { return m_fields.RemoveKey(fid); }

const VOKGroup* VOKMessage::FindGroup(int fid) const {
  if (!IsGroupField(fid)) return nullptr;
  const VOKField* field = m_fields.Find(fid);
  return field != nullptr ? field->GetGroup() : nullptr;
}

VOKGroup* VOKMessage::FindGroup(int fid) { return const_cast<VOKGroup*>(std::as_const(*this).FindGroup(fid)); }

bool VOKMessage::AddGroup(int fid) {
  if (!IsGroupField(fid)) return false;
  m_fields[fid].SetGroup(std::make_unique<VOKGroup>());
  return true;
}

int VOKMessage::GetGroupCount(int fid) const {
  const VOKGroup* group = FindGroup(fid);
  return group != nullptr ? group->GetCount() : 0;
}

bool VOKMessage::GetGroupEntry(int fid, int index, VOKMessage*& entry) const {
  const VOKGroup* group = FindGroup(fid);
  VOKMessage* found = group != nullptr ? group->GetEntry(index) : nullptr;
  if (found == nullptr) return false;
  entry = found;
  return true;
}

void VOKMessage::AddGroupEntry(int fid, const VOKMessage& entry) {
  if (VOKGroup* group = FindGroup(fid)) group->AddEntry(entry);
}

bool VOKMessage::ResetGroup(int fid) {
  VOKGroup* group = FindGroup(fid);
  if (group == nullptr) return false;
  group->Reset();
  return true;
}

bool VOKMessage::GetNextGroupEntry(int fid, VOKMessage*& entry) {
  VOKGroup* group = FindGroup(fid);
  return group != nullptr && group->GetNext(entry);
}

void VOKMessage::CopyFields(const VOKMessage& source) {
  if (&source == this) return;
  source.m_fields.ForEach([this](int fid, const VOKField& field) { SetField(fid, field); });
}

void VOKMessage::CopyFields(const VOKMessage& source, std::span<const int> ids, bool onlyIfMissing) {
  if (&source == this) return;
  for (int fid : ids) {
    const VOKField* field = source.m_fields.Find(fid);
    if (field == nullptr) continue;
    if (onlyIfMissing && m_fields.Find(fid) != nullptr) continue;
    SetField(fid, *field);
  }
}

void VOKMessage::SetRoutingValue(int value) {
  m_routingList.reset();
  m_routingValue = value;
}

void VOKMessage::SetRoutingList(std::vector<std::uint32_t> list) {
  m_routingList = std::make_unique<std::vector<std::uint32_t>>(std::move(list));
}

void VOKMessage::Log(const char* prefix, int level) const {
  if (!vok::TraceEnabled(level)) return;
  const std::string* line = &ToString();
  std::string masked;
  if (m_fields.Find(vok::wire::kFidPassword) != nullptr) {
    // A field-map copy keeps the wire order; only the password's value changes.
    VOKMessage copy;
    copy.m_type = m_type;
    copy.m_fields = m_fields;
    copy.SetString(vok::wire::kFidPassword, std::string(kMask));
    masked = copy.ToString();
    line = &masked;
  }
  if (line->empty()) return;  // not written (traced by the writer)
  if (prefix != nullptr && *prefix != '\0') {
    VOKTRACE_Printf(level, "%s %s", prefix, line->c_str());
  } else {
    VOKTRACE_Write(level, line->c_str());
  }
}

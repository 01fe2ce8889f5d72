// Writing the line form into the calling thread's buffer: fields in field-map order separated by
// ';', repeating groups inline (head first, tail last), a line feed at the end.
#include <charconv>
#include <string>

#include "message/tls_buffer.h"
#include "message/vok_message.h"

namespace {

void AppendId(int id, std::string& out) {
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, id);
  out.append(digits, end);
}

// Appends one field as id=value (a group as its count and entries); false when nothing is written.
bool AppendField(int id, const VOKField& field, std::string& out, bool separator) {
  const VOKGroup* group = field.GetGroup();
  if (group != nullptr && group->GetCount() == 0) return false;
  if (field.GetKind() == FT_GROUP && group == nullptr) return false;
  if (separator) out.push_back(';');
  AppendId(id, out);
  out.push_back('=');
  if (group == nullptr) {
    field.AppendTo(out);
    return true;
  }
  AppendId(group->GetCount(), out);
  const std::span<const int> members = GroupMembers(id);
  const int head = members.empty() ? 0 : members.front();
  const int tail = members.empty() ? 0 : members.back();
  for (int index = 0; index < group->GetCount(); ++index) {
    const VOKMessage& entry = *group->GetEntry(index);
    out.push_back(';');
    AppendId(head, out);
    out.push_back('=');
    if (const VOKField* headField = entry.Fields().Find(head)) headField->AppendTo(out);
    entry.Fields().ForEach([&](int memberId, const VOKField& member) {
      if (memberId != head && memberId != tail) AppendField(memberId, member, out, true);
    });
    const VOKField* tailField = entry.Fields().Find(tail);
    if (tailField != nullptr && tailField->GetKind() != FT_GROUP) {
      const std::size_t mark = out.size();
      out.push_back(';');
      AppendId(tail, out);
      out.push_back('=');
      const std::size_t valueStart = out.size();
      tailField->AppendTo(out);
      if (out.size() == valueStart) out.resize(mark);
    }
  }
  return true;
}

}  // namespace

const std::string& VOKMessage::ToString() const {
  vok::message::TLSBuffer* buffer = vok::message::ThreadBuffer();
  if (buffer == nullptr) return vok::message::NoText();
  std::string& out = buffer->m_line;
  out.clear();
  out.push_back(static_cast<char>(m_type));
  out.push_back('|');
  bool first = true;
  m_fields.ForEach([&](int id, const VOKField& field) {
    if (AppendField(id, field, out, !first)) first = false;
  });
  out.push_back('\n');
  return out;
}

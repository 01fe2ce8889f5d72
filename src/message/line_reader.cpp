// Reading the line form "T|id=value;id=value\n" and choosing between the line and FIX forms.
// The text is read in place: every read is bounded by the end of the line and nothing is written
// to it, so no copy is needed and a parse allocates only field nodes and long texts.
#include <cstring>
#include <string_view>

#include "message/fix_reader.h"
#include "message/group_reader.h"
#include "message/number_text.h"
#include "message/vok_message.h"

using namespace vok::message;

class VOKLineReader {
 public:
  static void Read(VOKMessage& message, const char* text, int length);

 private:
  static void StoreMember(VOKMessage& entry, int id, const char* value, const char* valueEnd) {
    if (!IsGroupField(id)) entry.m_fields[id].SetString(std::string_view(value, static_cast<std::size_t>(valueEnd - value)));
  }
  static int SameId(int id) { return id; }

  static constexpr GroupReadRules kGroupRules{';', &SameId, &SameId, &StoreMember};
};

namespace {

enum class ValueKind { Integer, Real, Text };

const char* LineEnd(const char* p, const char* end) {
  while (p < end && *p != '\n' && *p != '\r' && *p != '\0') ++p;
  return p;
}

}  // namespace

void VOKLineReader::Read(VOKMessage& message, const char* text, int length) {
  message.SetType(text[0]);
  if (length < 2) return;
  const char* end = LineEnd(text + 2, text + length);
  const char* p = text + 2;
  while (p < end) {
    const char* tokenStart = p;
    const char* eq = nullptr;
    ValueKind kind = ValueKind::Integer;
    int dots = 0;
    // One pass classifies the value: integer, real or text.
    for (; p < end && *p != ';'; ++p) {
      const char c = *p;
      if (eq == nullptr) {
        if (c == '=') eq = p;
        continue;
      }
      if (kind == ValueKind::Text || (c >= '0' && c <= '9')) continue;
      if (c == '-' && p == eq + 1) continue;
      if (c == '.') {
        kind = ++dots >= 2 ? ValueKind::Text : ValueKind::Real;
      } else if (c == 'e' && p + 1 < end && (p[1] == '+' || p[1] == '-')) {
        kind = ValueKind::Real;
        ++p;
      } else {
        kind = ValueKind::Text;
      }
    }
    const char* tokenEnd = p;
    if (p < end) ++p;
    if (eq == nullptr) continue;

    const int id = ReadInt(tokenStart, eq);
    const char* value = eq + 1;
    const std::string_view valueText(value, static_cast<std::size_t>(tokenEnd - value));
    if (valueText.empty()) kind = ValueKind::Text;
    switch (kind) {
      case ValueKind::Text:
        if (!IsGroupField(id)) message.m_fields[id].SetString(valueText);
        break;
      case ValueKind::Real:
        message.SetDouble(id, ReadDouble(value, tokenEnd));
        break;
      case ValueKind::Integer: {
        if (IsGroupField(id)) {
          const int count = ReadInt(value, tokenEnd);
          if (count < 1) break;
          const char* resume = end;
          std::unique_ptr<VOKGroup> group =
              ReadGroup(id, count, tokenEnd < end ? p : end, end, kGroupRules, 0, resume);
          VOKField field;
          field.SetGroup(std::move(group));
          message.SetField(id, std::move(field));
          p = resume;
          break;
        }
        int number = 0;
        if (ReadInt32Exact(value, tokenEnd, number)) {
          message.m_fields[id].SetInt(number);
          break;
        }
        const std::uint64_t wide = ReadUInt64(value, tokenEnd);
        if (wide != UINT64_MAX) {
          message.SetUInt64(id, wide);
        } else {
          message.m_fields[id].SetString(valueText);
        }
        break;
      }
    }
  }
}

void VOKMessage::Parse(const char* text, int length) {
  if (text == nullptr) return;
  if (length < 0) length = static_cast<int>(strnlen(text, 0x7fffffff));
  if (length < 1) return;
  if (length > 5 && text[1] != '|') {
    VOKFixReader::Read(*this, text, length);
    return;
  }
  VOKLineReader::Read(*this, text, length);
}

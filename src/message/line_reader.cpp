// Reading the line form "T|id=value;id=value\n" and choosing between the line and FIX forms.
// The text is read in place: every read is bounded by the end of the line and nothing is written
// to it, so no copy is needed and a parse allocates only field nodes and long texts.
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "message/fix_reader.h"
#include "message/group_reader.h"
#include "message/number_text.h"
#include "message/parse_budget.h"
#include "message/vok_message.h"

using namespace vok::message;

class VOKLineReader {
 public:
  static void Read(VOKMessage& message, const char* text, int length, CParseBudget& budget);

 private:
  // Classifies and stores any value (p at its first character) and returns where the next field
  // starts: groups, exponents, long numbers and texts.
  static const char* ReadValue(VOKMessage& message, int id, const char* p, const char* end, CParseBudget& budget);

  static void StoreMember(VOKMessage& entry, int id, const char* value, const char* valueEnd, CParseBudget& budget) {
    if (IsGroupField(id)) return;
    if (VOKField* field = budget.Field(entry.m_fields, id))
      field->SetString(std::string_view(value, static_cast<std::size_t>(valueEnd - value)));
  }
  static int SameId(int id) { return id; }
  static bool SameIdRead(int tag, int& id) {
    id = tag;
    return true;
  }

  static constexpr GroupReadRules kGroupRules{';', &SameId, &SameIdRead, &StoreMember};
};

namespace {

enum class ValueKind { Integer, Real, Text };

// The first line feed, carriage return or NUL, or end. Eight bytes are tested at once for any
// byte below 0x0e (a control character, which a line rarely holds but at its end); only the bytes
// of a word that has one are looked at one by one.
const char* LineEnd(const char* p, const char* end) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
  while (p < end) {
    if (end - p >= 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, p, sizeof word);
      if (((word - kOnes * 0x0e) & ~word & kHighBits) == 0) {
        p += 8;
        continue;
      }
    }
    const char* const wordEnd = end - p > 8 ? p + 8 : end;
    for (; p < wordEnd; ++p) {
      if (*p == '\n' || *p == '\r' || *p == '\0') return p;
    }
  }
  return end;
}

// The ';' ending a text value at or after p, or end. Wire texts are mostly a few characters, for
// which a byte loop beats a memchr call; longer ones go on with memchr.
const char* TextEnd(const char* p, const char* end) {
  const char* const shortEnd = end - p > 16 ? p + 16 : end;
  for (; p < shortEnd; ++p) {
    if (*p == ';') return p;
  }
  if (p == end) return end;
  const void* separator = std::memchr(p, ';', static_cast<std::size_t>(end - p));
  return separator != nullptr ? static_cast<const char*>(separator) : end;
}

// Whether the four bytes at p are digits, and their number: the feed's ids have four digits, read
// here at once instead of one dependent step per digit.
bool FourDigits(const char* p, int& number) {
  std::uint32_t word = 0;
  std::memcpy(&word, p, sizeof word);
  if ((word & 0xF0F0F0F0U) != 0x30303030U || ((word + 0x06060606U) & 0xF0F0F0F0U) != 0x30303030U) return false;
  const auto digit = [p](int i) { return static_cast<int>(p[i] - '0'); };
  number = digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3);
  return true;
}

constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

}  // namespace

void VOKLineReader::Read(VOKMessage& message, const char* text, int length, CParseBudget& budget) {
  message.SetType(text[0]);
  if (length < 2) return;
  const char* const textEnd = text + length;
  const char* end = LineEnd(text + 2, textEnd);
  const char* p = text + 2;
  while (p < end) {
    // The id: up to nine plain digits followed by '=' are read here; anything else is left to
    // atoi's rules.
    const char* tokenStart = p;
    int id = 0;
    if (end - p > 4 && p[4] == '=' && FourDigits(p, id)) {
      p += 4;
    } else {
      std::uint64_t idValue = 0;
      p = ReadDigits(p, end, idValue);
      id = static_cast<int>(idValue);
    }
    if (p == end || *p != '=' || p == tokenStart || p - tokenStart > 9) {
      while (p < end && *p != '=' && *p != ';') ++p;
      if (p == end || *p == ';') {  // no '=': not a field
        if (p < end) ++p;
        continue;
      }
      id = ReadInt(tokenStart, p);
    }
    ++p;

    // What the feed mostly carries, "-?digits" and "-?digits.digits" up to the next ';', is
    // converted as it is scanned; every other value goes through the general reader.
    const char* value = p;
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    const char* digitsStart = p;
    std::uint64_t mantissa = 0;
    p = ReadDigits(p, end, mantissa);
    std::ptrdiff_t digits = p - digitsStart;
    std::ptrdiff_t fraction = -1;
    if (p < end && *p == '.') {
      const char* fractionStart = ++p;
      p = ReadDigits(p, end, mantissa);
      fraction = p - fractionStart;
      digits += fraction;
    }
    if ((p == end || *p == ';') && digits >= 1) {
      if (fraction < 0 && digits <= 18 && !IsGroupField(id)) {
        // Exact in 64 bits. The 32-bit limits themselves are stored as unsigned 64-bit numbers,
        // as strtol cannot tell them from an overflow; a negative one wraps as _strtoui64 does.
        const auto number = static_cast<std::int64_t>(negative ? ~mantissa + 1 : mantissa);
        if (VOKField* field = budget.Field(message.m_fields, id)) {
          if (number > INT_MIN && number < INT_MAX) {
            field->SetInt(static_cast<int>(number));
          } else {
            field->SetUInt64(static_cast<std::uint64_t>(number));
          }
        }
        if (p < end) ++p;
        continue;
      }
      if (fraction >= 0 && digits <= 15) {
        // Exact digits and an exact power of ten: one division rounds as strtod does.
        const double number = static_cast<double>(mantissa) / kPowers[fraction];
        if (VOKField* field = budget.Field(message.m_fields, id)) field->SetDouble(negative ? -number : number);
        if (p < end) ++p;
        continue;
      }
    } else if (p < end && *p != ';' && *p != '.' && *p != 'e') {
      // A character no number has there: a text (symbols, times, dates, market maker ids), stored
      // from here without reading its start again. A '.' or an 'e' may still be part of a number.
      p = TextEnd(p, end);
      if (!IsGroupField(id)) {
        if (VOKField* field = budget.Field(message.m_fields, id))
          field->SetString(std::string_view(value, static_cast<std::size_t>(p - value)), textEnd);
      }
      if (p < end) ++p;
      continue;
    }
    p = ReadValue(message, id, value, end, budget);
  }
}

const char* VOKLineReader::ReadValue(VOKMessage& message, int id, const char* p, const char* end,
                                     CParseBudget& budget) {
  // Classified in one pass: integer, real or text. Up to 18 digits are also accumulated so
  // that plain numbers need no second look.
  const char* value = p;
  ValueKind kind = ValueKind::Integer;
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  std::uint64_t mantissa = 0;
  int digits = 0;
  int fraction = -1;
  bool plain = true;
  for (; p < end && *p != ';'; ++p) {
    const char c = *p;
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (digit <= 9) {
      if (digits < 18) mantissa = mantissa * 10 + digit;
      ++digits;
      if (fraction >= 0) ++fraction;
    } else if (c == '.' && fraction < 0) {
      kind = ValueKind::Real;
      fraction = 0;
    } else if (c == 'e' && p + 1 < end && (p[1] == '+' || p[1] == '-')) {
      kind = ValueKind::Real;
      plain = false;
      ++p;
    } else {
      kind = ValueKind::Text;
      const void* separator = std::memchr(p, ';', static_cast<std::size_t>(end - p));
      p = separator != nullptr ? static_cast<const char*>(separator) : end;
      break;
    }
  }
  const char* tokenEnd = p;
  if (p < end) ++p;
  const std::string_view valueText(value, static_cast<std::size_t>(tokenEnd - value));
  if (valueText.empty()) kind = ValueKind::Text;

  switch (kind) {
    case ValueKind::Text:
      if (IsGroupField(id)) break;
      if (VOKField* field = budget.Field(message.m_fields, id)) field->SetString(valueText);
      break;
    case ValueKind::Real: {
      double number = 0.0;
      if (plain && digits >= 1 && digits <= 15) {
        // Exact digits and an exact power of ten: one division rounds as strtod does.
        number = static_cast<double>(mantissa) / kPowers[fraction];
        if (negative) number = -number;
      } else {
        number = ReadDouble(value, tokenEnd);
      }
      if (VOKField* field = budget.Field(message.m_fields, id)) field->SetDouble(number);
      break;
    }
    case ValueKind::Integer: {
      if (IsGroupField(id)) {
        const int count = ReadInt(value, tokenEnd);
        if (count < 1) break;
        const char* resume = end;
        // The group's own field is taken first, so that its entries cannot use up its place.
        VOKField* field = budget.Field(message.m_fields, id);
        std::unique_ptr<VOKGroup> group =
            ReadGroup(id, count, tokenEnd < end ? p : end, end, kGroupRules, budget, 0, resume);
        if (field != nullptr) field->SetGroup(std::move(group));
        p = resume;
        break;
      }
      VOKField* field = budget.Field(message.m_fields, id);
      if (field == nullptr) break;
      int number = 0;
      if (digits >= 1 && digits <= 9) {
        number = static_cast<int>(mantissa);
        field->SetInt(negative ? -number : number);
        break;
      }
      if (ReadInt32Exact(value, tokenEnd, number)) {
        field->SetInt(number);
        break;
      }
      const std::uint64_t wide = ReadUInt64(value, tokenEnd);
      if (wide != UINT64_MAX) {
        field->SetUInt64(wide);
      } else {
        field->SetString(valueText);
      }
      break;
    }
  }
  return p;
}

void VOKMessage::Parse(const char* text, int length) {
  if (text == nullptr) return;
  if (length < 0) length = static_cast<int>(strnlen(text, 0x7fffffff));
  if (length < 1) return;
  CParseBudget budget;
  if (length > 5 && text[1] != '|') {
    VOKFixReader::Read(*this, text, length, budget);
  } else {
    VOKLineReader::Read(*this, text, length, budget);
  }
  budget.Report();
}

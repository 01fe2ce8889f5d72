// Readers of the feed's date and time texts (see date_text.h): a small cursor over the text with
// fixed digit counts, so that no number can overflow and no input can make them loop.
#include "vokcommon/date_text.h"

namespace vok::common {

namespace {

// Longer texts are not dates of any form we read; refusing them early bounds all work.
constexpr std::size_t kMaxTextLength = 64;

class CTextCursor {
 public:
  explicit CTextCursor(std::string_view text) : m_text(text) {}

  bool AtEnd() const { return m_pos == m_text.size(); }
  std::size_t Position() const { return m_pos; }
  void Rewind(std::size_t pos) { m_pos = pos; }

  bool Take(char c) {
    if (AtEnd() || m_text[m_pos] != c) return false;
    ++m_pos;
    return true;
  }

  bool Peek(char c) const { return !AtEnd() && m_text[m_pos] == c; }

  // Between minDigits and maxDigits decimal digits (as many as there are, up to maxDigits).
  bool Number(int minDigits, int maxDigits, int& value, int* digitsRead = nullptr) {
    int digits = 0;
    int result = 0;
    while (digits < maxDigits && !AtEnd() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
      result = result * 10 + (m_text[m_pos] - '0');
      ++m_pos;
      ++digits;
    }
    if (digits < minDigits) return false;
    value = result;
    if (digitsRead != nullptr) *digitsRead = digits;
    return true;
  }

  // One or more blanks or tabs.
  bool Blanks() {
    const std::size_t start = m_pos;
    while (!AtEnd() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) ++m_pos;
    return m_pos > start;
  }

 private:
  std::string_view m_text;
  std::size_t m_pos = 0;
};

bool ReadDate(CTextCursor& cursor, CivilTime& out) {
  const std::size_t start = cursor.Position();
  int first = 0;
  int digits = 0;
  if (!cursor.Number(1, 8, first, &digits)) return false;
  if (digits <= 2 && cursor.Take('/')) {  // M/D/YYYY
    out.month = first;
    return cursor.Number(1, 2, out.day) && cursor.Take('/') && cursor.Number(4, 4, out.year);
  }
  if (digits == 4 && cursor.Take('-')) {  // YYYY-MM-DD
    out.year = first;
    return cursor.Number(2, 2, out.month) && cursor.Take('-') && cursor.Number(2, 2, out.day);
  }
  if (digits == 8) {  // YYYYMMDD
    out.year = first / 10000;
    out.month = first / 100 % 100;
    out.day = first % 100;
    return true;
  }
  cursor.Rewind(start);
  return false;
}

bool ReadFraction(CTextCursor& cursor, int& millisecond) {
  int fraction = 0;
  int digits = 0;
  if (!cursor.Number(1, 3, fraction, &digits)) return false;
  for (; digits < 3; ++digits) fraction *= 10;
  millisecond = fraction;
  return true;
}

// H:MM[:SS[.f]]; with requireSeconds, HH:MM:SS[.f] exactly.
bool ReadTime(CTextCursor& cursor, CivilTime& out, bool requireSeconds) {
  out.second = 0;
  out.millisecond = 0;
  if (!cursor.Number(requireSeconds ? 2 : 1, 2, out.hour) || !cursor.Take(':') || !cursor.Number(2, 2, out.minute)) {
    return false;
  }
  if (cursor.Take(':')) {
    if (!cursor.Number(2, 2, out.second)) return false;
    if (cursor.Take('.') && !ReadFraction(cursor, out.millisecond)) return false;
  } else if (requireSeconds) {
    return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

bool ReadDateTimeText(std::string_view text, CivilTime& out) {
  text = TrimBlanks(text);
  if (text.empty() || text.size() > kMaxTextLength) return false;
  CTextCursor cursor(text);
  CivilTime t;  // the OLE origin day unless a date is read
  if (ReadDate(cursor, t)) {
    if (!cursor.Blanks()) return false;
  } else {
    cursor.Rewind(0);
  }
  if (!ReadTime(cursor, t, false) || !cursor.AtEnd() || !IsValidCivilTime(t)) return false;
  out = t;
  return true;
}

bool ReadFixTimestampText(std::string_view text, CivilTime& out) {
  if (text.size() > kMaxTextLength) return false;
  CTextCursor cursor(text);
  CivilTime t;
  int date = 0;
  if (!cursor.Number(8, 8, date) || !cursor.Take('-') || !ReadTime(cursor, t, true) || !cursor.AtEnd()) return false;
  t.year = date / 10000;
  t.month = date / 100 % 100;
  t.day = date % 100;
  if (!IsValidCivilTime(t)) return false;
  out = t;
  return true;
}

}  // namespace vok::common

// CVokDateTime (see vok_date_time.h): feed texts -> calendar fields -> Eastern or UTC moment -> OLE
// date, and back, on the shared calendar. The text reader is a small cursor with fixed digit
// counts, so that no number can overflow and no input can make it loop.
#include "vokcommon/vok_date_time.h"

#include <cstring>
#include <string_view>

#include "platform/calendar.h"

using vok::calendar::CivilTime;
using vok::calendar::UtcTime;

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

// MM/DD/YYYY (also M/D/YYYY), YYYY-MM-DD or YYYYMMDD.
bool ReadDate(CTextCursor& cursor, CivilTime& out) {
  const std::size_t start = cursor.Position();
  int first = 0;
  int digits = 0;
  if (!cursor.Number(1, 8, first, &digits)) return false;
  if (digits <= 2 && cursor.Take('/')) {
    out.month = first;
    return cursor.Number(1, 2, out.day) && cursor.Take('/') && cursor.Number(4, 4, out.year);
  }
  if (digits == 4 && cursor.Take('-')) {
    out.year = first;
    return cursor.Number(2, 2, out.month) && cursor.Take('-') && cursor.Number(2, 2, out.day);
  }
  if (digits == 8) {
    out.year = first / 10000;
    out.month = first / 100 % 100;
    out.day = first % 100;
    return true;
  }
  cursor.Rewind(start);
  return false;
}

// H:MM, H:MM:SS or H:MM:SS.f with one to three fraction digits.
bool ReadTime(CTextCursor& cursor, CivilTime& out) {
  if (!cursor.Number(1, 2, out.hour) || !cursor.Take(':') || !cursor.Number(2, 2, out.minute)) return false;
  if (!cursor.Take(':')) return true;
  if (!cursor.Number(2, 2, out.second)) return false;
  if (!cursor.Take('.')) return true;
  int digits = 0;
  if (!cursor.Number(1, 3, out.millisecond, &digits)) return false;
  for (; digits < 3; ++digits) out.millisecond *= 10;
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A date, blanks and a time, or a time alone on the OLE origin day; blanks around it are ignored.
bool ReadDateTimeText(std::string_view text, CivilTime& out) {
  text = TrimBlanks(text);
  if (text.empty() || text.size() > kMaxTextLength) return false;
  CTextCursor cursor(text);
  CivilTime t;
  if (ReadDate(cursor, t)) {
    if (!cursor.Blanks()) return false;
  } else {
    cursor.Rewind(0);
  }
  if (!ReadTime(cursor, t) || !cursor.AtEnd() || !vok::calendar::IsValid(t)) return false;
  out = t;
  return true;
}

bool InYears(const CivilTime& t) { return t.year >= vok::calendar::kMinYear && t.year <= vok::calendar::kMaxYear; }

// The stored moment as Eastern calendar fields; false when the value is not a representable date.
bool EasternFields(DATE value, CivilTime& out) {
  UtcTime utc;
  if (!vok::calendar::FromOleDate(value, utc)) return false;
  out = vok::calendar::ToCivil(vok::calendar::EasternFromUtc(utc, vok::calendar::DaylightRule::kOfTheYear));
  return InYears(out);
}

}  // namespace

BOOL CVokDateTime::ParseETDateTime(const char* text, DWORD /*flags*/, LCID /*locale*/) { return Parse(text, true); }

BOOL CVokDateTime::ParseDateTime(const char* text, DWORD /*flags*/, LCID /*locale*/) { return Parse(text, false); }

BOOL CVokDateTime::Parse(const char* text, bool eastern) {
  if (text == nullptr) return FALSE;
  // Wire texts are short; measuring stops just past the longest we would ever read.
  constexpr std::size_t kMaxMeasured = 256;
  const std::size_t length = ::strnlen(text, kMaxMeasured + 1);
  CivilTime fields;
  if (length > kMaxMeasured || !ReadDateTimeText(std::string_view(text, length), fields)) return FALSE;
  const UtcTime utc = eastern ? vok::calendar::UtcFromEastern(vok::calendar::EasternFromCivil(fields))
                              : vok::calendar::UtcFromCivil(fields);
  if (!InYears(vok::calendar::ToCivil(utc))) return FALSE;
  m_dt = vok::calendar::ToOleDate(utc);
  return TRUE;
}

BOOL CVokDateTime::ParseFIXUtcTimestamp(const std::string& text) {
  UtcTime utc;
  if (!vok::calendar::ParseFixTimestamp(text, utc)) return FALSE;
  m_dt = vok::calendar::ToOleDate(utc);
  return TRUE;
}

bool CVokDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  const CivilTime fields{year, month, day, hour, minute, second, millisecond};
  if (!vok::calendar::IsValid(fields)) return false;
  m_dt = vok::calendar::ToOleDate(vok::calendar::UtcFromCivil(fields));
  return true;
}

std::string CVokDateTime::FormatETDate() const {
  CivilTime t;
  return EasternFields(m_dt, t) ? vok::calendar::FormatUsDate(t) : std::string();
}

std::string CVokDateTime::FormatETTime(DWORD /*flags*/) const {
  CivilTime t;
  return EasternFields(m_dt, t) ? vok::calendar::FormatClock(t, t.millisecond != 0) : std::string();
}

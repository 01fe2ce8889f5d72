// CVokDateTime (see vok_date_time.h): feed texts -> calendar fields -> Eastern/UTC milliseconds ->
// OLE date, and back. Everything below the OLE date is exact integer milliseconds.
#include "vokcommon/vok_date_time.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "vokcommon/civil_time.h"
#include "vokcommon/date_text.h"
#include "vokcommon/eastern_time.h"

using vok::common::CivilTime;

namespace {

constexpr std::size_t kMaxTextLength = 256;

// The stored moment as Eastern calendar fields; false when the value is not a representable date.
bool EasternFields(DATE value, CivilTime& out) {
  std::int64_t utcMs = 0;
  if (!vok::common::MsFromOleDate(value, utcMs)) return false;
  const std::int64_t easternMs = vok::common::EasternFromUtc(utcMs);
  if (!vok::common::IsMsInRange(easternMs)) return false;
  out = vok::common::CivilFromMs(easternMs);
  return true;
}

}  // namespace

BOOL CVokDateTime::ParseETDateTime(const char* text, DWORD /*flags*/, LCID /*locale*/) { return Parse(text, true); }

BOOL CVokDateTime::ParseDateTime(const char* text, DWORD /*flags*/, LCID /*locale*/) { return Parse(text, false); }

BOOL CVokDateTime::Parse(const char* text, bool eastern) {
  if (text == nullptr) return FALSE;
  // Wire texts are short; measuring stops just past the longest we would ever read.
  const std::size_t length = ::strnlen(text, kMaxTextLength + 1);
  if (length > kMaxTextLength) return FALSE;
  CivilTime fields;
  if (!vok::common::ReadDateTimeText(std::string_view(text, length), fields)) return FALSE;
  std::int64_t ms = vok::common::MsFromCivil(fields);
  if (eastern) ms = vok::common::UtcFromEastern(ms);
  if (!vok::common::IsMsInRange(ms)) return FALSE;
  SetUtcMs(ms);
  return TRUE;
}

BOOL CVokDateTime::ParseFIXUtcTimestamp(const std::string& text) {
  CivilTime fields;
  if (!vok::common::ReadFixTimestampText(text, fields)) return FALSE;
  SetUtcMs(vok::common::MsFromCivil(fields));
  return TRUE;
}

bool CVokDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  const CivilTime fields{year, month, day, hour, minute, second, millisecond};
  if (!vok::common::IsValidCivilTime(fields)) return false;
  SetUtcMs(vok::common::MsFromCivil(fields));
  return true;
}

void CVokDateTime::SetUtcMs(long long utcMs) { m_dt = vok::common::OleDateFromMs(utcMs); }

std::string CVokDateTime::FormatETDate() const {
  CivilTime t;
  if (!EasternFields(m_dt, t)) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", t.month, t.day, t.year);
  return text;
}

std::string CVokDateTime::FormatETTime(DWORD /*flags*/) const {
  CivilTime t;
  if (!EasternFields(m_dt, t)) return {};
  char text[16];
  if (t.millisecond != 0) {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  }
  return text;
}

// Calendar arithmetic for the date-time value (see civil_time.h). The day-count algorithms count
// in 400-year eras so that they stay exact over the whole range without tables or loops.
#include "vokcommon/civil_time.h"

#include <cmath>

namespace vok::common {

namespace {

// Day number of 1899-12-30 counted from 1970-01-01, so that day counts start at the OLE origin.
constexpr std::int64_t kOleOriginFromUnix = -25569;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

std::int64_t UnixDaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = FloorDiv(y, 400);
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromUnixDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = FloorDiv(z, 146097);
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

const std::int64_t kMinMs = DaysFromCivil(kMinYear, 1, 1) * kMsPerDay;
const std::int64_t kEndMs = DaysFromCivil(kMaxYear + 1, 1, 1) * kMsPerDay;  // exclusive

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidCivilTime(const CivilTime& t) {
  return t.year >= kMinYear && t.year <= kMaxYear && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
         t.second >= 0 && t.second <= 59 && t.millisecond >= 0 && t.millisecond <= 999;
}

std::int64_t DaysFromCivil(int year, int month, int day) {
  return UnixDaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kOleOriginFromUnix;
}

int WeekdayFromDays(std::int64_t days) {
  // Day 0 (30 December 1899) was a Saturday.
  return static_cast<int>((days % 7 + 7 + 6) % 7);
}

std::int64_t MsFromCivil(const CivilTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * kMsPerDay +
         ((static_cast<std::int64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

CivilTime CivilFromMs(std::int64_t ms) {
  const std::int64_t days = FloorDiv(ms, kMsPerDay);
  std::int64_t rest = ms - days * kMsPerDay;
  CivilTime t;
  CivilFromUnixDays(days + kOleOriginFromUnix, t.year, t.month, t.day);
  t.millisecond = static_cast<int>(rest % 1000);
  rest /= 1000;
  t.second = static_cast<int>(rest % 60);
  rest /= 60;
  t.minute = static_cast<int>(rest % 60);
  t.hour = static_cast<int>(rest / 60);
  return t;
}

bool IsMsInRange(std::int64_t ms) { return ms >= kMinMs && ms < kEndMs; }

double OleDateFromMs(std::int64_t ms) {
  const std::int64_t days = FloorDiv(ms, kMsPerDay);
  const double fraction = static_cast<double>(ms - days * kMsPerDay) / static_cast<double>(kMsPerDay);
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

bool MsFromOleDate(double date, std::int64_t& ms) {
  if (!std::isfinite(date)) return false;
  // Cheap bound first so that the conversions below cannot overflow.
  if (date < -700000.0 || date > 3000000.0) return false;
  const double whole = date >= 0 ? std::floor(date) : std::ceil(date);
  const double fraction = date >= 0 ? date - whole : whole - date;
  const auto days = static_cast<std::int64_t>(whole);
  const auto msOfDay = static_cast<std::int64_t>(std::llround(fraction * static_cast<double>(kMsPerDay)));
  const std::int64_t result = days * kMsPerDay + msOfDay;
  if (!IsMsInRange(result)) return false;
  ms = result;
  return true;
}

}  // namespace vok::common

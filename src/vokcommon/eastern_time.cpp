// US Eastern daylight-saving rules and conversions for the date-time value (see eastern_time.h).
#include "vokcommon/eastern_time.h"

#include "vokcommon/civil_time.h"

namespace vok::common {

namespace {

constexpr int kStandardOffsetHours = 5;
constexpr int kDaylightOffsetHours = 4;

// Day count of the nth Sunday (1-based) of a month.
std::int64_t NthSunday(int year, int month, int n) {
  const std::int64_t first = DaysFromCivil(year, month, 1);
  return first + (7 - WeekdayFromDays(first)) % 7 + 7 * (n - 1);
}

std::int64_t LastSunday(int year, int month) {
  const std::int64_t last = DaysFromCivil(year, month, DaysInMonth(year, month));
  return last - WeekdayFromDays(last);
}

}  // namespace

DaylightPeriod EasternDaylightPeriod(int year) {
  const bool since2007 = year >= 2007;
  const std::int64_t startDay = since2007 ? NthSunday(year, 3, 2) : NthSunday(year, 4, 1);
  const std::int64_t endDay = since2007 ? NthSunday(year, 11, 1) : LastSunday(year, 10);
  // 02:00 EST is 07:00 UTC; 02:00 EDT is 06:00 UTC.
  return {startDay * kMsPerDay + (2 + kStandardOffsetHours) * kMsPerHour,
          endDay * kMsPerDay + (2 + kDaylightOffsetHours) * kMsPerHour};
}

int EasternOffsetAtUtc(std::int64_t utcMs) {
  // Daylight time never spans a new year in UTC, so the UTC year picks the right rule.
  const DaylightPeriod period = EasternDaylightPeriod(CivilFromMs(utcMs).year);
  return utcMs >= period.startUtcMs && utcMs < period.endUtcMs ? kDaylightOffsetHours : kStandardOffsetHours;
}

std::int64_t EasternFromUtc(std::int64_t utcMs) { return utcMs - EasternOffsetAtUtc(utcMs) * kMsPerHour; }

std::int64_t UtcFromEastern(std::int64_t easternMs) {
  const DaylightPeriod period = EasternDaylightPeriod(CivilFromMs(easternMs).year);
  // Wall-clock bounds of the daylight period: 03:00 on the first day (after the skipped hour)
  // and 01:00 on the last day (where the repeated hour begins, which we read as standard time).
  const std::int64_t daylightFrom = period.startUtcMs - kStandardOffsetHours * kMsPerHour + kMsPerHour;
  const std::int64_t daylightUntil = period.endUtcMs - kDaylightOffsetHours * kMsPerHour - kMsPerHour;
  const bool daylight = easternMs >= daylightFrom && easternMs < daylightUntil;
  return easternMs + (daylight ? kDaylightOffsetHours : kStandardOffsetHours) * kMsPerHour;
}

}  // namespace vok::common

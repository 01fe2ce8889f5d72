// Calendar arithmetic for the date-time value: civil date and time <-> milliseconds since the
// OLE Automation origin (30 December 1899 00:00) <-> OLE Automation dates (double days).
// Pure integer arithmetic on the proleptic Gregorian calendar: no time zone, no locale, no throw.
#pragma once

#include <cstdint>

namespace vok::common {

inline constexpr std::int64_t kMsPerDay = 86'400'000;
inline constexpr std::int64_t kMsPerHour = 3'600'000;

// The years a date-time value may hold, as OLE Automation dates allow.
inline constexpr int kMinYear = 100;
inline constexpr int kMaxYear = 9999;

struct CivilTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12

// True when every field is in range: year kMinYear..kMaxYear, a real day of that month,
// hour 0..23, minute and second 0..59, millisecond 0..999.
bool IsValidCivilTime(const CivilTime& t);

// Days from the OLE origin to the given date (negative before it). Fields must be valid.
std::int64_t DaysFromCivil(int year, int month, int day);

// 0 Sunday .. 6 Saturday, for a day count from the OLE origin (a Saturday).
int WeekdayFromDays(std::int64_t days);

// Milliseconds from the OLE origin; t must be valid.
std::int64_t MsFromCivil(const CivilTime& t);

// The calendar fields of a millisecond count from the OLE origin (any value in the
// representable years; callers check the range with IsMsInRange).
CivilTime CivilFromMs(std::int64_t ms);

// Whether a millisecond count lies within the years kMinYear..kMaxYear.
bool IsMsInRange(std::int64_t ms);

// OLE dates keep the time of day as an unsigned fraction even before the origin:
// -1.25 is 29 December 1899 06:00. These two convert between that form and milliseconds,
// rounding to the nearest millisecond. MsFromOleDate rejects NaN, infinities and values
// outside the representable years.
double OleDateFromMs(std::int64_t ms);
bool MsFromOleDate(double date, std::int64_t& ms);

}  // namespace vok::common

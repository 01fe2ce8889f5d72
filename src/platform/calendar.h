// The calendar every layer shares: calendar fields of UTC moments and of US Eastern wall-clock
// readings, the two US daylight-saving rules in use, OLE Automation dates and the FIX UTC timestamp
// text. Pure computation on <chrono>'s proleptic Gregorian calendar with fixed rules (no time zone
// database, no locale, no OS call but the clock), so results never depend on the machine's zone.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace vok::calendar {

using UtcTime = std::chrono::sys_time<std::chrono::milliseconds>;
using EasternTime = std::chrono::local_time<std::chrono::milliseconds>;  // a US Eastern wall clock

UtcTime Now();

// Calendar fields to the millisecond. The default is the OLE origin, 30 December 1899 00:00, the
// day on which a time read without a date falls.
struct CivilTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The years an OLE Automation date, and so any date we read, may hold.
inline constexpr int kMinYear = 100;
inline constexpr int kMaxYear = 9999;

// Year kMinYear..kMaxYear, a real day of that month, hour 0..23, minute and second 0..59,
// millisecond 0..999.
bool IsValid(const CivilTime& t);

CivilTime ToCivil(UtcTime t);
CivilTime ToCivil(EasternTime t);
// The fields' date must be a real one (IsValid, though the year may lie outside the range).
UtcTime UtcFromCivil(const CivilTime& t);
EasternTime EasternFromCivil(const CivilTime& t);

// How the hours that Eastern time is behind UTC (4 in daylight time, else 5) are found.
enum class DaylightRule {
  // The message layer's offset, fixed when the library loads: the rule of 2007 in every year, both
  // changes taken at 07:00 UTC in whole seconds. Daylight time is strictly after 07:00:00 UTC on
  // the second Sunday of March and before 07:00:00 UTC on the first Sunday of November; a moment
  // not after 1970-01-01 00:00:00 UTC is standard time.
  kSevenUtc,
  // Dates in records and feed texts: the US rule of the moment's own year, changing at 02:00 local
  // time. From 2007 the second Sunday of March to the first Sunday of November; before 2007 the
  // first Sunday of April to the last Sunday of October.
  kOfTheYear,
};
int EasternOffsetHours(UtcTime t, DaylightRule rule);

EasternTime EasternFromUtc(UtcTime t, int offsetHours);
EasternTime EasternFromUtc(UtcTime t, DaylightRule rule);

// An Eastern wall-clock reading as UTC by DaylightRule::kOfTheYear. The hour skipped in spring
// (02:00-02:59) is read as standard time, i.e. as 03:00-03:59 daylight time. The hour repeated in
// autumn (01:00-01:59) is read as standard time, its second occurrence, so that every text means
// one moment; a moment in its first occurrence therefore reads back one hour later than it was.
UtcTime UtcFromEastern(EasternTime t);

// OLE Automation dates: days since the OLE origin (UTC here), the time of day kept as an unsigned
// fraction even before the origin (-1.25 is 29 December 1899 06:00), to the nearest millisecond.
// FromOleDate rejects NaN, infinities and dates outside the years kMinYear..kMaxYear.
double ToOleDate(UtcTime t);
bool FromOleDate(double date, UtcTime& out);

// "MM/DD/YYYY" with the year padded to yearWidth digits, and "HH:MM:SS" with ".mmm" added when
// asked; the fields are written as they are, so a millisecond over 999 keeps all its digits.
std::string FormatUsDate(const CivilTime& t, int yearWidth = 4);
std::string FormatClock(const CivilTime& t, bool withMilliseconds);

// The FIX UTC timestamp "YYYYMMDD-HH:MM:SS.sss".
void AppendFixTimestamp(std::string& out, UtcTime t);
// "YYYYMMDD-HH:MM:SS" with an optional ".s" to ".sss" and nothing else (no blanks), of a valid
// date and time.
bool ParseFixTimestamp(std::string_view text, UtcTime& out);

}  // namespace vok::calendar

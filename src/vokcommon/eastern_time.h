// US Eastern time for the date-time value: the daylight-saving rule in force in a given year and
// the conversions between Eastern wall-clock time and UTC, both as milliseconds from the OLE origin.
// The rule is chosen by the year of the moment converted, never by today's date.
#pragma once

#include <cstdint>

namespace vok::common {

// Daylight time in a year, as the UTC moments (ms from the OLE origin) at which it starts
// (02:00 standard time) and ends (02:00 daylight time). From 2007: second Sunday of March to first
// Sunday of November; earlier years: first Sunday of April to last Sunday of October.
struct DaylightPeriod {
  std::int64_t startUtcMs;
  std::int64_t endUtcMs;
};
DaylightPeriod EasternDaylightPeriod(int year);

// Hours Eastern time is behind UTC at a UTC moment: 4 in daylight time, else 5.
int EasternOffsetAtUtc(std::int64_t utcMs);

std::int64_t EasternFromUtc(std::int64_t utcMs);

// An Eastern wall-clock time as UTC. The hour skipped in spring (02:00-02:59) is read as standard
// time, i.e. as 03:00-03:59 daylight time. The hour repeated in autumn (01:00-01:59) is read as
// standard time, its second occurrence, so that every text means exactly one moment; a moment in
// the first occurrence (daylight time) therefore reads back one hour later than it was.
std::int64_t UtcFromEastern(std::int64_t easternMs);

}  // namespace vok::common

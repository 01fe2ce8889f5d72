// Time texts the simulator puts in data lines: FIX UTC timestamps and US Eastern dates and times,
// computed from a millisecond count since 1970 without the C library's time zone state, so
// that output does not depend on the TZ of the machine running the simulator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vok::sim {

// Hours that US Eastern time is behind UTC at that instant: 4 in daylight saving time, else 5.
int EasternOffsetHours(std::int64_t utcMs);

// "YYYYMMDD-HH:MM:SS.sss"
std::string FormatUtcTimestamp(std::int64_t utcMs);
// "MM/DD/YYYY" and "HH:MM:SS", Eastern.
std::string FormatEasternDate(std::int64_t utcMs);
std::string FormatEasternTime(std::int64_t utcMs);

// Reads "YYYYMMDD-HH:MM:SS" (UTC) into milliseconds; false when the text is not of that form.
bool ParseUtcTimestamp(std::string_view text, std::int64_t& utcMs);

// Calendar helpers shared with the option chain (expiry dates).
std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

}  // namespace vok::sim

// Record times (OLE Automation dates: days since 30 December 1899, UTC) as the texts vokquote
// prints - ISO 8601 UTC in JSON, clock times in the user's zone on screen - and the wall-clock
// receive time of each output line.
#pragma once

#include <cstdint>
#include <string>

namespace vok::cli {

// Milliseconds since 1970 UTC of an OLE date (rounded to the millisecond).
std::int64_t OleDateToUnixMs(double date);
// "YYYY-MM-DDTHH:MM:SS.mmmZ"; empty for 0 (no time) or a date outside years 1900..9999.
std::string OleDateToText(double date);
// "HH:MM:SS" of the time of day in the local zone (TZ), or in UTC; empty for 0.
std::string OleDateToClock(double date, bool utc);
std::string UnixMsToClock(std::int64_t ms, bool utc);
// The abbreviation of the zone those clocks are in, as it is now ("EST", "CEST", "UTC").
std::string ZoneLabel(bool utc);
// "YYYY-MM-DDTHH:MM:SS.mmmZ" of milliseconds since 1970 UTC.
std::string UnixMsToText(std::int64_t ms);
// The wall clock, milliseconds since 1970 UTC.
std::int64_t NowUnixMs();

}  // namespace vok::cli

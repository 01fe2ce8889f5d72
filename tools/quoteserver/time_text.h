// Time texts the simulator puts in data lines, for a millisecond count since 1970 UTC: FIX UTC
// timestamps, and US Eastern dates and times by the daylight-saving rule the client reads them with.
// Computed on the shared calendar, so output does not depend on the zone of the machine running it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/calendar.h"

namespace vok::sim {

inline calendar::UtcTime UtcFromMs(std::int64_t utcMs) { return calendar::UtcTime(std::chrono::milliseconds(utcMs)); }

inline calendar::CivilTime EasternFields(std::int64_t utcMs) {
  return calendar::ToCivil(calendar::EasternFromUtc(UtcFromMs(utcMs), calendar::DaylightRule::kOfTheYear));
}

// "YYYYMMDD-HH:MM:SS.sss"
inline std::string FormatUtcTimestamp(std::int64_t utcMs) {
  std::string text;
  calendar::AppendFixTimestamp(text, UtcFromMs(utcMs));
  return text;
}

// "MM/DD/YYYY" and "HH:MM:SS", Eastern.
inline std::string FormatEasternDate(std::int64_t utcMs) { return calendar::FormatUsDate(EasternFields(utcMs)); }
inline std::string FormatEasternTime(std::int64_t utcMs) { return calendar::FormatClock(EasternFields(utcMs), false); }

// Reads "YYYYMMDD-HH:MM:SS" (UTC) into milliseconds; false when the text is not of that form.
inline bool ParseUtcTimestamp(std::string_view text, std::int64_t& utcMs) {
  calendar::UtcTime t;
  if (text.size() != 17 || !calendar::ParseFixTimestamp(text, t)) return false;
  utcMs = t.time_since_epoch().count();
  return true;
}

}  // namespace vok::sim

// Conversions between OLE dates, Unix milliseconds and ISO 8601 texts in UTC.
#include "ole_time.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace vok::cli {
namespace {

constexpr double kUnixEpochOleDays = 25569.0;  // 1970-01-01 as an OLE date
constexpr double kMsPerDay = 86400000.0;
// 1900-01-01 and 10000-01-01 in Unix milliseconds: the range printed.
constexpr std::int64_t kMinMs = -2208988800000LL;
constexpr std::int64_t kMaxMs = 253402300800000LL;

}  // namespace

std::int64_t OleDateToUnixMs(double date) {
  return static_cast<std::int64_t>(std::llround((date - kUnixEpochOleDays) * kMsPerDay));
}

std::string UnixMsToText(std::int64_t ms) {
  using namespace std::chrono;
  const sys_days day = floor<days>(sys_time<milliseconds>(milliseconds(ms)));
  const year_month_day ymd(day);
  const std::int64_t ofDay = ms - duration_cast<milliseconds>(day.time_since_epoch()).count();
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), static_cast<int>(ofDay / 3600000),
                static_cast<int>(ofDay / 60000 % 60), static_cast<int>(ofDay / 1000 % 60),
                static_cast<int>(ofDay % 1000));
  return text;
}

std::string OleDateToText(double date) {
  if (date == 0 || !std::isfinite(date)) return {};
  const double ms = (date - kUnixEpochOleDays) * kMsPerDay;
  if (ms < static_cast<double>(kMinMs) || ms >= static_cast<double>(kMaxMs)) return {};
  return UnixMsToText(OleDateToUnixMs(date));
}

std::string UnixMsToClock(std::int64_t ms, bool utc) {
  const auto seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  std::tm parts{};
  if (utc) {
    gmtime_r(&seconds, &parts);
  } else {
    tzset();  // TZ is read once per process by the C library; localtime_r alone need not read it
    localtime_r(&seconds, &parts);
  }
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

std::string OleDateToClock(double date, bool utc) {
  if (OleDateToText(date).empty()) return {};
  return UnixMsToClock(OleDateToUnixMs(date), utc);
}

std::string ZoneLabel(bool utc) {
  if (utc) return "UTC";
  tzset();
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[32];
  if (std::strftime(text, sizeof text, "%Z", &parts) == 0 || text[0] == '\0') return "local";
  return text;
}

std::int64_t NowUnixMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace vok::cli

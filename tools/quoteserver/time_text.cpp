// Time texts for data lines: UTC timestamps and Eastern date/time from plain calendar arithmetic.
#include "time_text.h"

#include <cstdio>

namespace vok::sim {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Weekday of a day count since 1970-01-01 (a Thursday): 0 Sunday ... 6 Saturday.
int Weekday(std::int64_t days) { return static_cast<int>(((days % 7) + 11) % 7); }

// Day count of the n-th Sunday of a month (n counted from 1).
std::int64_t NthSunday(int year, int month, int n) {
  std::int64_t first = DaysFromCivil(year, month, 1);
  int offset = (7 - Weekday(first)) % 7;
  return first + offset + 7 * (n - 1);
}

struct SFields {
  int year, month, day, hour, minute, second, ms;
};

SFields Split(std::int64_t utcMs) {
  SFields f{};
  std::int64_t days = FloorDiv(utcMs, kMsPerDay);
  std::int64_t rest = utcMs - days * kMsPerDay;
  CivilFromDays(days, f.year, f.month, f.day);
  f.hour = static_cast<int>(rest / 3600000);
  f.minute = static_cast<int>(rest / 60000 % 60);
  f.second = static_cast<int>(rest / 1000 % 60);
  f.ms = static_cast<int>(rest % 1000);
  return f;
}

}  // namespace

std::int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = FloorDiv(year, 400);
  const int yoe = static_cast<int>(year - era * 400);
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = FloorDiv(days, 146097);
  const int doe = static_cast<int>(days - era * 146097);
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(yoe + era * 400) + (month <= 2 ? 1 : 0);
}

int EasternOffsetHours(std::int64_t utcMs) {
  int year, month, day;
  CivilFromDays(FloorDiv(utcMs, kMsPerDay), year, month, day);
  // Daylight time runs from 02:00 local on the second Sunday of March (07:00 UTC) to 02:00 local
  // on the first Sunday of November (06:00 UTC).
  const std::int64_t start = NthSunday(year, 3, 2) * kMsPerDay + 7 * 3600000;
  const std::int64_t end = NthSunday(year, 11, 1) * kMsPerDay + 6 * 3600000;
  return (utcMs >= start && utcMs < end) ? 4 : 5;
}

std::string FormatUtcTimestamp(std::int64_t utcMs) {
  SFields f = Split(utcMs);
  char text[40];
  std::snprintf(text, sizeof text, "%04d%02d%02d-%02d:%02d:%02d.%03d", f.year, f.month, f.day, f.hour, f.minute,
                f.second, f.ms);
  return text;
}

std::string FormatEasternDate(std::int64_t utcMs) {
  SFields f = Split(utcMs - EasternOffsetHours(utcMs) * std::int64_t{3600000});
  char text[24];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", f.month, f.day, f.year);
  return text;
}

std::string FormatEasternTime(std::int64_t utcMs) {
  SFields f = Split(utcMs - EasternOffsetHours(utcMs) * std::int64_t{3600000});
  char text[24];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", f.hour, f.minute, f.second);
  return text;
}

bool ParseUtcTimestamp(std::string_view text, std::int64_t& utcMs) {
  int year, month, day, hour, minute, second;
  char tail;
  std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d%2d%2d-%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second, &tail) != 6) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || hour < 0 ||
      minute < 0 || second < 0) {
    return false;
  }
  utcMs = DaysFromCivil(year, month, day) * kMsPerDay + ((hour * 60 + minute) * 60 + second) * std::int64_t{1000};
  return true;
}

}  // namespace vok::sim

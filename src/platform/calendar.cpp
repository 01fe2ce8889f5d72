// The shared calendar (see calendar.h): <chrono>'s civil calendar under fixed US rules, and texts
// written digit by digit, since they are made for every FIX message and every feed update.
#include "platform/calendar.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vok::calendar {

using namespace std::chrono;

namespace {

constexpr sys_days kOleOrigin{year{1899} / December / 30};
constexpr double kMsPerDay = 86'400'000.0;

template <class Clock>
CivilTime Fields(time_point<Clock, milliseconds> t) {
  const auto midnight = floor<days>(t);
  const year_month_day date{midnight};
  const hh_mm_ss<milliseconds> time{t - midnight};
  return {.year = static_cast<int>(date.year()),
          .month = static_cast<int>(static_cast<unsigned>(date.month())),
          .day = static_cast<int>(static_cast<unsigned>(date.day())),
          .hour = static_cast<int>(time.hours().count()),
          .minute = static_cast<int>(time.minutes().count()),
          .second = static_cast<int>(time.seconds().count()),
          .millisecond = static_cast<int>(time.subseconds().count())};
}

template <class Clock>
time_point<Clock, milliseconds> Point(const CivilTime& t) {
  const sys_days date{year{t.year} / month(static_cast<unsigned>(t.month)) / day(static_cast<unsigned>(t.day))};
  return time_point<Clock, days>(date.time_since_epoch()) + hours(t.hour) + minutes(t.minute) + seconds(t.second) +
         milliseconds(t.millisecond);
}

// The first and the last day of daylight time in a year, by the US rule of that year.
std::pair<sys_days, sys_days> DaylightDays(int y) {
  const year when{y};
  if (y >= 2007) return {sys_days{when / March / Sunday[2]}, sys_days{when / November / Sunday[1]}};
  return {sys_days{when / April / Sunday[1]}, sys_days{when / October / Sunday[last]}};
}

// Writes value with at least width characters ("%0*d") at out and returns the end.
char* Write(char* out, long long value, int width) {
  if (value >= 0 && value < 10000 && width <= 4) {  // every field of a date in range
    int length = value >= 1000 ? 4 : value >= 100 ? 3 : value >= 10 ? 2 : 1;
    if (length < width) length = width;
    for (int i = length - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
    return out + length;
  }
  if (value < 0) {
    *out++ = '-';
    value = -value;
    --width;
  }
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int pad = count; pad < width; ++pad) *out++ = '0';
  while (count > 0) *out++ = digits[--count];
  return out;
}

// "HH:MM:SS", then ".mmm" when asked.
char* WriteClock(char* out, const CivilTime& t, bool withMilliseconds) {
  out = Write(out, t.hour, 2);
  *out++ = ':';
  out = Write(out, t.minute, 2);
  *out++ = ':';
  out = Write(out, t.second, 2);
  if (!withMilliseconds) return out;
  *out++ = '.';
  return Write(out, t.millisecond, 3);
}

// The plain digits text[from, from + count) into value; false when any is not a digit.
bool Digits(std::string_view text, std::size_t from, std::size_t count, int& value) {
  value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    const unsigned digit = static_cast<unsigned char>(text[i]) - static_cast<unsigned>('0');
    if (digit > 9) return false;
    value = value * 10 + static_cast<int>(digit);
  }
  return true;
}

}  // namespace

UtcTime Now() { return floor<milliseconds>(system_clock::now()); }

bool IsValid(const CivilTime& t) {
  if (t.year < kMinYear || t.year > kMaxYear || t.month < 1 || t.month > 12 || t.day < 1) return false;
  const year_month_day_last last{year{t.year} / month(static_cast<unsigned>(t.month)) / std::chrono::last};
  return t.day <= static_cast<int>(static_cast<unsigned>(last.day())) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
         t.minute <= 59 && t.second >= 0 && t.second <= 59 && t.millisecond >= 0 && t.millisecond <= 999;
}

CivilTime ToCivil(UtcTime t) { return Fields(t); }
CivilTime ToCivil(EasternTime t) { return Fields(t); }
UtcTime UtcFromCivil(const CivilTime& t) { return Point<system_clock>(t); }
EasternTime EasternFromCivil(const CivilTime& t) { return Point<local_t>(t); }

int EasternOffsetHours(UtcTime t, DaylightRule rule) {
  const year_month_day date{floor<days>(t)};
  const int y = static_cast<int>(date.year());
  if (rule == DaylightRule::kSevenUtc) {
    const sys_seconds s = floor<seconds>(t);
    const bool daylight = s > sys_seconds{} && s > sys_days{year{y} / March / Sunday[2]} + hours(7) &&
                          s < sys_days{year{y} / November / Sunday[1]} + hours(7);
    return daylight ? 4 : 5;
  }
  // 02:00 EST is 07:00 UTC, 02:00 EDT is 06:00 UTC. Daylight time never spans a new year in UTC,
  // so the UTC year picks the right rule.
  const auto [first, last] = DaylightDays(y);
  return t >= first + hours(7) && t < last + hours(6) ? 4 : 5;
}

EasternTime EasternFromUtc(UtcTime t, int offsetHours) {
  return EasternTime(t.time_since_epoch() - hours(offsetHours));
}

EasternTime EasternFromUtc(UtcTime t, DaylightRule rule) { return EasternFromUtc(t, EasternOffsetHours(t, rule)); }

UtcTime UtcFromEastern(EasternTime t) {
  const auto [first, last] = DaylightDays(ToCivil(t).year);
  // On the wall clock daylight time runs from 03:00 of its first day (after the skipped hour) to
  // 01:00 of its last (where the repeated hour begins, which is read as standard time).
  const auto wall = t.time_since_epoch();
  const bool daylight = wall >= first.time_since_epoch() + hours(3) && wall < last.time_since_epoch() + hours(1);
  return UtcTime(wall + hours(daylight ? 4 : 5));
}

double ToOleDate(UtcTime t) {
  const milliseconds sinceOrigin = t - kOleOrigin;
  const days whole = floor<days>(sinceOrigin);
  const double fraction = static_cast<double>((sinceOrigin - whole).count()) / kMsPerDay;
  const auto count = static_cast<double>(whole.count());
  return count >= 0 ? count + fraction : count - fraction;
}

bool FromOleDate(double date, UtcTime& out) {
  // The cheap bound first, so that the conversions below cannot overflow.
  if (!std::isfinite(date) || date < -700000.0 || date > 3000000.0) return false;
  const double whole = std::trunc(date);
  const UtcTime result = kOleOrigin + days(static_cast<long long>(whole)) +
                         milliseconds(std::llround(std::fabs(date - whole) * kMsPerDay));
  if (result < sys_days{year{kMinYear} / January / 1} || result >= sys_days{year{kMaxYear + 1} / January / 1}) {
    return false;
  }
  out = result;
  return true;
}

std::string FormatUsDate(const CivilTime& t, int yearWidth) {
  char text[64];
  char* out = Write(text, t.month, 2);
  *out++ = '/';
  out = Write(out, t.day, 2);
  *out++ = '/';
  out = Write(out, t.year, std::min(yearWidth, 8));
  return std::string(text, out);
}

std::string FormatClock(const CivilTime& t, bool withMilliseconds) {
  char text[64];
  return std::string(text, WriteClock(text, t, withMilliseconds));
}

void AppendFixTimestamp(std::string& out, UtcTime t) {
  const CivilTime f = ToCivil(t);
  char text[64];
  char* end = Write(text, f.year, 4);
  end = Write(end, f.month, 2);
  end = Write(end, f.day, 2);
  *end++ = '-';
  out.append(text, WriteClock(end, f, true));
}

bool ParseFixTimestamp(std::string_view text, UtcTime& out) {
  const std::size_t size = text.size();
  if ((size != 17 && (size < 19 || size > 21)) || text[8] != '-' || text[11] != ':' || text[14] != ':' ||
      (size > 17 && text[17] != '.')) {
    return false;
  }
  CivilTime t;
  int date = 0;
  if (!Digits(text, 0, 8, date) || !Digits(text, 9, 2, t.hour) || !Digits(text, 12, 2, t.minute) ||
      !Digits(text, 15, 2, t.second) || (size > 17 && !Digits(text, 18, size - 18, t.millisecond))) {
    return false;
  }
  for (std::size_t digits = size > 17 ? size - 18 : 3; digits < 3; ++digits) t.millisecond *= 10;
  t.year = date / 10000;
  t.month = date / 100 % 100;
  t.day = date % 100;
  if (!IsValid(t)) return false;
  out = UtcFromCivil(t);
  return true;
}

}  // namespace vok::calendar

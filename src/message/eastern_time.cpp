// Eastern offset and FIX time conversions; see eastern_time.h. Calendar arithmetic is done on day
// counts, so nothing depends on the machine's time zone or C library time functions.
#include "message/eastern_time.h"

#include <charconv>
#include <chrono>
#include <cstdio>

#include "message/number_text.h"
#include "message/vok_message.h"

namespace vok::message {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date.
constexpr std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  std::int64_t year;
  int month;
  int day;
};

constexpr Civil CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

// 0 = Sunday.
constexpr int WeekdayOfDays(std::int64_t days) {
  return static_cast<int>((days % 7 + 7 + 4) % 7);
}  // 1970-01-01 was a Thursday

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

// 07:00 UTC of the first Sunday on or after the given day.
std::int64_t SundaySevenUtc(std::int64_t year, int month, int firstDay) {
  std::int64_t days = DaysFromCivil(year, month, firstDay);
  while (WeekdayOfDays(days) != 0) ++days;
  return days * kSecondsPerDay + 7 * 3600;
}

int DaysInMonth(std::int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0))) return 29;
  return kDays[month - 1];
}

int ReadPart(std::string_view text, std::size_t from, std::size_t count) {
  if (from >= text.size()) return 0;
  const std::string_view part = text.substr(from, count);
  return ReadInt(part.data(), part.data() + part.size());
}

// Writes value in decimal with at least width digits ("%0*d" for values that are not negative)
// at out, which has room for 24 characters, and returns the end of what it wrote.
char* WritePadded(char* out, std::int64_t value, int width) {
  if (value >= 0 && value < 100 && width == 2) {
    // Months, days, hours, minutes and seconds.
    const int v = static_cast<int>(value);
    out[0] = static_cast<char>('0' + v / 10);
    out[1] = static_cast<char>('0' + v % 10);
    return out + 2;
  }
  if (value >= 0 && value < 10000 && width <= 4) {
    // Years and milliseconds: at most four digits, written without a library call.
    int length = value >= 1000 ? 4 : value >= 100 ? 3 : value >= 10 ? 2 : 1;
    if (length < width) length = width;
    for (int i = length - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
    return out + length;
  }
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  for (int length = static_cast<int>(end - digits); length < width; ++length) *out++ = '0';
  for (const char* d = digits; d < end; ++d) *out++ = *d;
  return out;
}

// Reads the plain digits at text[from, from + count) into value; false when any is not a digit,
// which leaves the part to atoi's rules.
bool ReadDigits(std::string_view text, std::size_t from, std::size_t count, int& value) {
  int result = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    const unsigned digit = static_cast<unsigned char>(text[i]) - static_cast<unsigned>('0');
    if (digit > 9) return false;
    result = result * 10 + static_cast<int>(digit);
  }
  value = result;
  return true;
}

const int g_easternOffsetHours = EasternOffsetForUtc(CurrentUtcMs() / 1000);

}  // namespace

int EasternOffsetForUtc(std::int64_t utcSeconds) {
  if (utcSeconds <= 0) return 5;
  const Civil date = CivilFromDays(FloorDiv(utcSeconds, kSecondsPerDay));
  switch (date.month) {
    case 1:
    case 2:
    case 12:
      return 5;
    case 3:
      return utcSeconds > SundaySevenUtc(date.year, 3, 8) ? 4 : 5;
    case 11:
      return utcSeconds < SundaySevenUtc(date.year, 11, 1) ? 4 : 5;
    default:
      return 4;
  }
}

int EasternOffsetHours() {
  // A static initialiser of another library may ask before ours has run: compute on demand then.
  return g_easternOffsetHours != 0 ? g_easternOffsetHours : EasternOffsetForUtc(CurrentUtcMs() / 1000);
}

void ReadFixTransactTime(VOKMessage& message, std::string_view value, int offsetHours) {
  message.SetText(1047, value);
  if (value.size() <= 16) return;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = -1;
  if (value.size() == 17 || value.size() == 21) {
    // The fixed layout "YYYYMMDD-HH:MM:SS[.sss]"; the separators are not checked.
    const bool plain = ReadDigits(value, 0, 4, year) && ReadDigits(value, 4, 2, month) &&
                       ReadDigits(value, 6, 2, day) && ReadDigits(value, 9, 2, hour) &&
                       ReadDigits(value, 12, 2, minute) && ReadDigits(value, 15, 2, second) &&
                       (value.size() == 17 || ReadDigits(value, 18, 3, millisecond));
    if (!plain) {
      year = ReadPart(value, 0, 4);
      month = ReadPart(value, 4, 2);
      day = ReadPart(value, 6, 2);
      hour = ReadPart(value, 9, 2);
      minute = ReadPart(value, 12, 2);
      second = ReadPart(value, 15, 2);
      millisecond = value.size() == 21 ? ReadPart(value, 18, 3) : -1;
    }
  } else {
    const std::size_t dash = value.find('-');
    const std::string_view date = value.substr(0, dash);
    year = ReadPart(date, 0, 4);
    month = ReadPart(date, 4, 2);
    day = ReadPart(date, 6, 2);
    std::string_view time = dash == std::string_view::npos ? std::string_view() : value.substr(dash + 1);
    const std::size_t colon1 = time.find(':');
    hour = ReadPart(time.substr(0, colon1), 0, std::string_view::npos);
    if (colon1 != std::string_view::npos) {
      time = time.substr(colon1 + 1);
      const std::size_t colon2 = time.find(':');
      minute = ReadPart(time.substr(0, colon2), 0, std::string_view::npos);
      if (colon2 != std::string_view::npos) {
        time = time.substr(colon2 + 1);
        const std::size_t dot = time.find('.');
        second = ReadPart(time.substr(0, dot), 0, std::string_view::npos);
        if (dot != std::string_view::npos) millisecond = ReadPart(time, dot + 1, std::string_view::npos);
      }
    }
  }
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour < 0 ||
      hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return;
  }
  const std::int64_t seconds =
      DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second - offsetHours * 3600;
  const std::int64_t days = FloorDiv(seconds, kSecondsPerDay);
  const int secondOfDay = static_cast<int>(seconds - days * kSecondsPerDay);
  const Civil shifted = CivilFromDays(days);
  // Formatted by hand into stack buffers: this runs for every FIX execution report.
  char text[96];
  char* out = WritePadded(text, shifted.month, 2);
  *out++ = '/';
  out = WritePadded(out, shifted.day, 2);
  *out++ = '/';
  out = WritePadded(out, shifted.year, 1);
  message.SetText(1022, std::string_view(text, static_cast<std::size_t>(out - text)));
  out = WritePadded(text, secondOfDay / 3600, 2);
  *out++ = ':';
  out = WritePadded(out, secondOfDay / 60 % 60, 2);
  *out++ = ':';
  out = WritePadded(out, secondOfDay % 60, 2);
  if (millisecond >= 0) {
    *out++ = '.';
    out = WritePadded(out, millisecond, 3);
  }
  message.SetText(1021, std::string_view(text, static_cast<std::size_t>(out - text)));
}

void AppendFixTransactTime(std::string& out, std::string_view value, int offsetHours) {
  const std::size_t dash = value.find('-');
  if (dash != std::string_view::npos) value = value.substr(dash + 1);
  int parts[3] = {0, 0, 0};
  for (int& part : parts) {
    const std::size_t colon = value.find(':');
    part = ReadPart(value.substr(0, colon), 0, std::string_view::npos);
    if (colon == std::string_view::npos) break;
    value = value.substr(colon + 1);
  }
  int hour = parts[0];
  if (hour < offsetHours) hour += 24;
  char text[48];
  const int length = std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour - offsetHours, parts[1], parts[2]);
  out.append(text, static_cast<std::size_t>(length));
}

void AppendUtcTimestamp(std::string& out, std::int64_t utcMs) {
  const std::int64_t seconds = FloorDiv(utcMs, 1000);
  const std::int64_t days = FloorDiv(seconds, kSecondsPerDay);
  const int secondOfDay = static_cast<int>(seconds - days * kSecondsPerDay);
  const Civil date = CivilFromDays(days);
  char text[64];
  const int length = std::snprintf(text, sizeof text, "%lld%02d%02d-%02d:%02d:%02d.%03d",
                                   static_cast<long long>(date.year), date.month, date.day, secondOfDay / 3600,
                                   secondOfDay / 60 % 60, secondOfDay % 60, static_cast<int>(utcMs - seconds * 1000));
  out.append(text, static_cast<std::size_t>(length));
}

std::int64_t CurrentUtcMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace vok::message

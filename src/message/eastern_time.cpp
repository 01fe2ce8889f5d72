// The message layer's Eastern time (see eastern_time.h): the FIX field texts are read with the C
// library's atoi rules, the calendar work is the shared calendar's.
#include "message/eastern_time.h"

#include <algorithm>

#include "message/number_text.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "platform/calendar.h"

namespace vok::message {
namespace {

using calendar::CivilTime;
constexpr std::size_t kAll = std::string_view::npos;

// atoi of text[from, from + count); 0 from past the end.
int ReadPart(std::string_view text, std::size_t from, std::size_t count = kAll) {
  if (from >= text.size()) return 0;
  const std::string_view part = text.substr(from, count);
  return ReadInt(part.data(), part.data() + part.size());
}

// A valid "YYYYMMDD-HH:MM:SS[.sss]" whose Eastern time falls on the same day (most of them: the
// hour is at least the offset) keeps its date, minutes, seconds and milliseconds as written, so
// its texts are cut from it rather than going through the calendar. False for the others.
bool WriteSameDayEastern(VOKMessage& message, std::string_view value, int offsetHours) {
  const int hour = (value[9] - '0') * 10 + (value[10] - '0');
  if (offsetHours < 0 || hour < offsetHours) return false;
  // "MM/DD/YYYY", the year without padding: a valid year is 100 or more, so at most one '0' goes.
  char date[10] = {value[4], value[5], '/', value[6], value[7], '/', value[0], value[1], value[2], value[3]};
  const std::size_t yearPadding = value[0] == '0' ? 1 : 0;
  if (yearPadding != 0) std::copy(date + 7, date + 10, date + 6);
  message.SetText(wire::kFidTransactDate, std::string_view(date, sizeof date - yearPadding));
  // "HH:MM:SS" and ".sss" when given, the hour moved back by the offset.
  char clock[12];
  const int eastern = hour - offsetHours;
  clock[0] = static_cast<char>('0' + eastern / 10);
  clock[1] = static_cast<char>('0' + eastern % 10);
  const std::size_t rest = value.size() - 11;
  value.copy(clock + 2, rest, 11);
  message.SetText(wire::kFidTransactTime, std::string_view(clock, 2 + rest));
  return true;
}

int OffsetNow() { return calendar::EasternOffsetHours(calendar::Now(), calendar::DaylightRule::kSevenUtc); }

const int g_easternOffsetHours = OffsetNow();

// "YYYYMMDD-HH:MM:SS[.sss]" at fixed places when the text is 17 or 21 characters long, else split
// at '-', ':' and '.'; every part is read with atoi, a missing one counts as 0 (milliseconds: as
// absent, -1). False when the fields are not a valid date and time.
bool ReadLoosely(std::string_view value, calendar::UtcTime& utc, int& millisecond) {
  CivilTime t;
  if (value.size() == 17 || value.size() == 21) {
    t = {.year = ReadPart(value, 0, 4),
         .month = ReadPart(value, 4, 2),
         .day = ReadPart(value, 6, 2),
         .hour = ReadPart(value, 9, 2),
         .minute = ReadPart(value, 12, 2),
         .second = ReadPart(value, 15, 2)};
    if (value.size() == 21) millisecond = ReadPart(value, 18, 3);
  } else {
    const std::size_t dash = value.find('-');
    const std::string_view date = value.substr(0, dash);
    t.year = ReadPart(date, 0, 4);
    t.month = ReadPart(date, 4, 2);
    t.day = ReadPart(date, 6, 2);
    std::string_view time = dash == kAll ? std::string_view() : value.substr(dash + 1);
    const std::size_t colon1 = time.find(':');
    t.hour = ReadPart(time, 0, colon1);
    if (colon1 != kAll) {
      time = time.substr(colon1 + 1);
      const std::size_t colon2 = time.find(':');
      t.minute = ReadPart(time, 0, colon2);
      if (colon2 != kAll) {
        time = time.substr(colon2 + 1);
        const std::size_t dot = time.find('.');
        t.second = ReadPart(time, 0, dot);
        if (dot != kAll) millisecond = ReadPart(time, dot + 1);
      }
    }
  }
  if (!calendar::IsValid(t)) return false;
  utc = calendar::UtcFromCivil(t);
  return true;
}

}  // namespace

int EasternOffsetHours() {
  // A static initialiser of another library may ask before ours has run: compute on demand then.
  return g_easternOffsetHours != 0 ? g_easternOffsetHours : OffsetNow();
}

void ReadFixTransactTime(VOKMessage& message, std::string_view value, int offsetHours) {
  message.SetText(wire::kFidTransactTimeText, value);
  if (value.size() <= 16) return;
  calendar::UtcTime utc;
  int millisecond = -1;  // none given
  // The well-formed timestamp, which is what the wire carries, is read without atoi and keeps its
  // milliseconds in the moment.
  const bool wellFormed = (value.size() == 17 || value.size() == 21) && calendar::ParseFixTimestamp(value, utc);
  if (wellFormed && WriteSameDayEastern(message, value, offsetHours)) return;
  if (!wellFormed && !ReadLoosely(value, utc, millisecond)) return;
  CivilTime eastern = calendar::ToCivil(calendar::EasternFromUtc(utc, offsetHours));
  message.SetText(wire::kFidTransactDate, calendar::FormatUsDate(eastern, 1));  // "%Y": a year below 1000 is not padded
  if (!wellFormed) eastern.millisecond = millisecond;
  message.SetText(wire::kFidTransactTime,
                  calendar::FormatClock(eastern, wellFormed ? value.size() == 21 : millisecond >= 0));
}

void AppendFixTransactTime(std::string& out, std::string_view value, int offsetHours) {
  const std::size_t dash = value.find('-');
  if (dash != kAll) value = value.substr(dash + 1);
  int parts[3] = {0, 0, 0};
  for (int& part : parts) {
    const std::size_t colon = value.find(':');
    part = ReadPart(value, 0, colon);
    if (colon == kAll) break;
    value = value.substr(colon + 1);
  }
  const int hour = parts[0] < offsetHours ? parts[0] + 24 : parts[0];
  out.append(calendar::FormatClock({.hour = hour - offsetHours, .minute = parts[1], .second = parts[2]}, false));
}

}  // namespace vok::message

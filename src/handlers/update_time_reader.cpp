// CUpdateTimeReader: fields 2043 (FIX UTC stamp), 2015 (Eastern date) and 2014 (Eastern time).
#include "handlers/update_time_reader.h"

#include <cstring>
#include <string>

#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "vokcommon/vok_date_time.h"

namespace wire = vok::wire;

void CUpdateTimeReader::Merge(const VOKMessage& message, DATE& moment) {
  // Fixed buffers keep the per-update path free of text allocations.
  char stamp[kTextSize];
  if (message.GetString(wire::kFidUtcTimestamp, stamp, sizeof stamp)) {
    Convert(kFix, stamp, std::strlen(stamp), moment);
    return;
  }
  char date[kTextSize];
  char time[kTextSize];
  const bool hasTime = message.GetString(wire::kFidEasternTime, time, sizeof time) && time[0] != '\0';
  const bool hasDate = message.GetString(wire::kFidEasternDate, date, sizeof date) && date[0] != '\0';
  if (!hasTime && !hasDate) return;
  const CVokDateTime held(moment);
  std::string cached;
  if (!hasDate) {
    cached = held.FormatETDate();
    std::strncpy(date, cached.c_str(), sizeof date - 1);
    date[sizeof date - 1] = '\0';
  }
  if (!hasTime) {
    cached = held.FormatETTime(0);
    std::strncpy(time, cached.c_str(), sizeof time - 1);
    time[sizeof time - 1] = '\0';
  }
  // "<date> <time>"
  char text[2 * kTextSize];
  const std::size_t dateLength = std::strlen(date);
  const std::size_t timeLength = std::strlen(time);
  std::memcpy(text, date, dateLength);
  text[dateLength] = ' ';
  std::memcpy(text + dateLength + 1, time, timeLength + 1);
  Convert(kEastern, text, dateLength + 1 + timeLength, moment);
}

void CUpdateTimeReader::Convert(Kind kind, const char* text, std::size_t length, DATE& moment) {
  if (kind == m_lastKind && length == m_lastLength && std::memcmp(text, m_lastText, length) == 0) {
    moment = m_lastValue;
    return;
  }
  CVokDateTime value(moment);
  const bool read = kind == kFix ? value.ParseFIXUtcTimestamp(std::string(text, length)) != FALSE
                                 : value.ParseETDateTime(text, 0, 1033) != FALSE;
  moment = value.m_dt;
  // Only texts that read as a moment are remembered: a failed one leaves the held moment, which
  // differs from update to update.
  if (!read || length >= sizeof m_lastText) return;
  m_lastKind = kind;
  std::memcpy(m_lastText, text, length);
  m_lastLength = length;
  m_lastValue = value.m_dt;
}

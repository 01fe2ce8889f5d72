// MergeUpdateTime: fields 2043 (FIX UTC stamp), 2015 (Eastern date) and 2014 (Eastern time).
#include "handlers/update_time.h"

#include <cstdio>
#include <string>

#include "message/vok_message.h"
#include "vokcommon/vok_date_time.h"

void MergeUpdateTime(const VOKMessage& message, DATE& moment) {
  CVokDateTime value(moment);
  // Fixed buffers keep the per-update path free of text allocations; longer texts are no date or
  // time anyway and are cut short.
  char stamp[64];
  if (message.GetString(2043, stamp, sizeof stamp)) {
    value.ParseFIXUtcTimestamp(stamp);
    moment = value.m_dt;
    return;
  }
  char time[64];
  char date[64];
  const bool hasTime = message.GetString(2014, time, sizeof time) && time[0] != '\0';
  const bool hasDate = message.GetString(2015, date, sizeof date) && date[0] != '\0';
  if (!hasTime && !hasDate) return;
  std::string cached;
  if (!hasDate) {
    cached = value.FormatETDate();
    std::snprintf(date, sizeof date, "%s", cached.c_str());
  }
  if (!hasTime) {
    cached = value.FormatETTime(0);
    std::snprintf(time, sizeof time, "%s", cached.c_str());
  }
  char text[sizeof date + sizeof time + 1];
  std::snprintf(text, sizeof text, "%s %s", date, time);
  value.ParseETDateTime(text, 0, 1033);
  moment = value.m_dt;
}

// CVokDateTime: the date-time value that the data handlers store in records. It holds a UTC moment
// as an OLE Automation date (days since 30 December 1899 00:00, fraction = time of day) and reads
// and writes the feed's US Eastern date and time texts, converting with the daylight-saving rule of
// the date in question. Plain value type: no locale, no time zone of the machine, never throws.
#pragma once

#include <string>

#include "platform/com.h"

class CVokDateTime {
 public:
  // Callers copy this into the DATE fields of records; it must stay the first and only member.
  DATE m_dt = 0.0;

  CVokDateTime() = default;
  explicit CVokDateTime(const double& value) : m_dt(value) {}

  // A date and a time of US Eastern time, "<date> <time>", or a time alone (taken on 30 December
  // 1899), stored as UTC. Dates: MM/DD/YYYY (M/D/YYYY too), YYYY-MM-DD, YYYYMMDD; times: H:MM,
  // H:MM:SS, H:MM:SS.mmm. In the hour repeated when daylight time ends, a wall-clock time is read
  // as standard time. Returns FALSE and leaves the value unchanged for any other text.
  // The forms are fixed and numeric, so flags and locale do not change how the text is read.
  BOOL ParseETDateTime(const char* text, DWORD flags = 0, LCID locale = 1033);

  // The same texts taken as UTC, without conversion.
  BOOL ParseDateTime(const char* text, DWORD flags = 0, LCID locale = 1033);

  // A FIX UTC timestamp YYYYMMDD-HH:MM:SS or YYYYMMDD-HH:MM:SS.sss.
  BOOL ParseFIXUtcTimestamp(const std::string& text);

  // Sets a UTC moment from calendar fields; false (value unchanged) when a field is out of range.
  bool SetDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);

  // The Eastern date "MM/DD/YYYY" and time "HH:MM:SS" (".mmm" added when the milliseconds are not 0)
  // of the stored moment: "<date> <time>" reads back through ParseETDateTime to the same
  // millisecond, except inside the repeated autumn hour (see ParseETDateTime). A value that is not
  // a date (NaN, outside the years 100 to 9999) formats as an empty text.
  std::string FormatETDate() const;
  std::string FormatETTime(DWORD flags = 0) const;

 private:
  BOOL Parse(const char* text, bool eastern);
};

static_assert(sizeof(CVokDateTime) == sizeof(DATE), "CVokDateTime is copied as a bare DATE");

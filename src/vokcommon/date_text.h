// Reading the date and time texts of the quote feed into calendar fields. The forms are fixed and
// numeric, so reading needs no locale: dates MM/DD/YYYY (also M/D/YYYY), YYYY-MM-DD or YYYYMMDD,
// times HH:MM, HH:MM:SS or HH:MM:SS.mmm (one to three fraction digits), and the FIX UTC timestamp
// YYYYMMDD-HH:MM:SS[.sss]. Readers never throw and bound every number by its digit count.
#pragma once

#include <string_view>

#include "vokcommon/civil_time.h"

namespace vok::common {

// A date, blanks, and a time; or a time alone, which is read as a time on the OLE origin day
// (30 December 1899). Blanks around the whole text are ignored. A date without a time, any other
// character, or a field out of range (month 13, 30 February, hour 24) gives false.
bool ReadDateTimeText(std::string_view text, CivilTime& out);

// YYYYMMDD-HH:MM:SS with an optional .s to .sss; nothing else, not even blanks.
bool ReadFixTimestampText(std::string_view text, CivilTime& out);

}  // namespace vok::common

// Tests of the update-time reader: FIX stamps, Eastern date and time texts with a missing part
// taken from the held moment, texts that do not read, and the reuse of the last conversion.
#include "handlers/update_time_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "message/vok_message.h"
#include "vokcommon/vok_date_time.h"

namespace {

DATE Eastern(const char* text) {
  CVokDateTime t;
  EXPECT_TRUE(t.ParseETDateTime(text, 0, 1033)) << text;
  return t.m_dt;
}

DATE Fix(const char* text) {
  CVokDateTime t;
  EXPECT_TRUE(t.ParseFIXUtcTimestamp(text)) << text;
  return t.m_dt;
}

TEST(UpdateTimeReader, ReadsEachUpdatesMomentWhateverTheUpdateBeforeIt) {
  const std::pair<const char*, DATE> rows[] = {
      {"1|2015=03/02/2009;2014=10:30:00", Eastern("03/02/2009 10:30:00")},
      {"1|2015=03/02/2009;2014=10:30:01", Eastern("03/02/2009 10:30:01")},
      {"1|2015=03/02/2009;2014=10:30:00", Eastern("03/02/2009 10:30:00")},
      {"1|2014=bad", Eastern("03/02/2009 10:30:00")},  // does not read: the moment stays
      {"1|2015=07/04/2009", Eastern("07/04/2009 10:30:00")},
      {"1|2014=10:30:00", Eastern("07/04/2009 10:30:00")},  // same time text, other held date
      {"1|2043=20090304-15:00:01;2015=01/01/2001;2014=09:00:00", Fix("20090304-15:00:01")},
      {"1|2043=20090304-15:00:01", Fix("20090304-15:00:01")},
      {"1|2043=2009", Fix("20090304-15:00:01")},
      {"1|2014=11:00:05", Eastern("03/04/2009 11:00:05")},
      {"1|2002=1", Eastern("03/04/2009 11:00:05")},
      {"1|2015=03/02/2009;2014=10:30:00", Eastern("03/02/2009 10:30:00")},
  };
  CUpdateTimeReader reader;
  DATE moment = 0;
  for (auto [line, expected] : rows) {
    const std::string text = line;
    VOKMessage message(text.c_str(), static_cast<int>(text.size()));
    reader.Merge(message, moment);
    EXPECT_DOUBLE_EQ(moment, expected) << line;
  }
}

}  // namespace

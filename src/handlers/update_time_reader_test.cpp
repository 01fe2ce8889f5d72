// Tests of the update-time reader: FIX stamps, Eastern date and time texts with a missing part
// taken from the held moment, texts that do not read, and the reuse of the last conversion.
#include "handlers/update_time_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "handlers/handler_test_support.h"
#include "message/vok_message.h"

namespace {

using vok::test::EasternMoment;
using vok::test::FixMoment;

TEST(UpdateTimeReader, ReadsEachUpdatesMomentWhateverTheUpdateBeforeIt) {
  const std::pair<const char*, DATE> rows[] = {
      {"1|2015=03/02/2009;2014=10:30:00", EasternMoment("03/02/2009 10:30:00")},
      {"1|2015=03/02/2009;2014=10:30:01", EasternMoment("03/02/2009 10:30:01")},
      {"1|2015=03/02/2009;2014=10:30:00", EasternMoment("03/02/2009 10:30:00")},
      {"1|2014=bad", EasternMoment("03/02/2009 10:30:00")},  // does not read: the moment stays
      {"1|2015=07/04/2009", EasternMoment("07/04/2009 10:30:00")},
      {"1|2014=10:30:00", EasternMoment("07/04/2009 10:30:00")},  // same time text, other held date
      {"1|2043=20090304-15:00:01;2015=01/01/2001;2014=09:00:00", FixMoment("20090304-15:00:01")},
      {"1|2043=20090304-15:00:01", FixMoment("20090304-15:00:01")},
      {"1|2043=2009", FixMoment("20090304-15:00:01")},
      {"1|2014=11:00:05", EasternMoment("03/04/2009 11:00:05")},
      {"1|2002=1", EasternMoment("03/04/2009 11:00:05")},
      {"1|2015=03/02/2009;2014=10:30:00", EasternMoment("03/02/2009 10:30:00")},
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

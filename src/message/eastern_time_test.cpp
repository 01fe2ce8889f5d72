// The FIX transaction time read into Eastern fields and written back in UTC.
#include "message/eastern_time.h"

#include <gtest/gtest.h>

#include <string>

#include "message/message_test_util.h"
#include "message/vok_message.h"
#include "platform/calendar.h"

namespace {

using namespace vok::message;

TEST(EasternTime, ReadsTheFixTransactionTimeIntoEasternFields) {
  const struct {
    const char* value;
    int offset;
    const char* date;  // null: only 1047 is stored
    const char* time;
  } cases[] = {
      {"20260115-14:30:00", 5, "01/15/2026", "09:30:00"},
      {"20260115-05:00:00.000", 5, "01/15/2026", "00:00:00.000"},
      {"09990615-23:59:59.999", 4, "06/15/999", "19:59:59.999"},
      {"20260115-03:00:00.250", 5, "01/14/2026", "22:00:00.250"},
      {"20260715-03:00:00", 4, "07/14/2026", "23:00:00"},
      {"20260101-02:00:00", 5, "12/31/2025", "21:00:00"},
      {"20260301-04:05:06.7", 5, "02/28/2026", "23:05:06.007"},
      {"20240301-01:00:00.5", 5, "02/29/2024", "20:00:00.005"},
      {"01000101-03:00:00.1234", 5, "12/31/99", "22:00:00.1234"},
      {"20260230-14:30:00", 5, nullptr, nullptr},  // the stamp parser's refusals are its own test
  };
  for (const auto& c : cases) {
    VOKMessage message;
    ReadFixTransactTime(message, c.value, c.offset);
    EXPECT_EQ(vok::test::TextOf(message, 1047), c.value);
    EXPECT_EQ(vok::test::TextOf(message, 1022), c.date ? c.date : "<absent>") << c.value;
    EXPECT_EQ(vok::test::TextOf(message, 1021), c.time ? c.time : "<absent>") << c.value;
  }
}

TEST(EasternTime, WritesTheTransactionTimeInUtcAtTheLoadedOffset) {
  const struct {
    const char* value;
    int offset;
    const char* fix;
  } cases[] = {
      {"02:15:30", 5, "21:15:30"}, {"09:30:00", 5, "04:30:00"}, {"01/15/2026-23:59:59", 4, "19:59:59"},
      {"7", 5, "02:00:00"},        {"", 5, "19:00:00"},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendFixTransactTime(out, c.value, c.offset);
    EXPECT_EQ(out, c.fix) << c.value;
  }
  using namespace vok::calendar;
  EXPECT_EQ(EasternOffsetHours(), EasternOffsetHours(Now(), DaylightRule::kSevenUtc));
}

}  // namespace

// The Eastern offset around the daylight saving boundaries and the FIX time conversions.
// The offset is tested as a pure function of a UTC moment, so the results do not depend on today.
#include "message/eastern_time.h"

#include <gtest/gtest.h>

#include <string>

#include "message/vok_message.h"

namespace {

using namespace vok::message;

TEST(EasternTime, OffsetFollowsTheUsDaylightRule) {
  const struct {
    std::int64_t utc;
    int offset;
    const char* when;
  } cases[] = {
      {1784116800, 4, "2026-07-15 12:00"},
      {1768478400, 5, "2026-01-15 12:00"},
      {1772953199, 5, "2026-03-08 06:59:59"},
      {1772953201, 4, "2026-03-08 07:00:01"},
      {1793514600, 4, "2026-11-01 06:30"},
      {1793516401, 5, "2026-11-01 07:00:01"},
      {1805004000, 5, "2027-03-14 06:00"},
      {1805007601, 4, "2027-03-14 07:00:01"},
      {1825570799, 4, "2027-11-07 06:59:59"},
      {1825570800, 5, "2027-11-07 07:00"},
      {0, 5, "not positive"},
      {-86400, 5, "before 1970"},
  };
  for (const auto& c : cases) EXPECT_EQ(EasternOffsetForUtc(c.utc), c.offset) << c.when;
  const int loaded = EasternOffsetHours();
  EXPECT_TRUE(loaded == 4 || loaded == 5);
  EXPECT_EQ(loaded, EasternOffsetForUtc(CurrentUtcMs() / 1000));
}

TEST(EasternTime, ReadsTheFixTransactionTimeIntoEasternFields) {
  const struct {
    const char* value;
    int offset;
    const char* date;  // null: only 1047 is stored
    const char* time;
  } cases[] = {
      {"20260115-14:30:00", 5, "01/15/2026", "09:30:00"},
      {"20260115-03:00:00.250", 5, "01/14/2026", "22:00:00.250"},
      {"20260715-03:00:00", 4, "07/14/2026", "23:00:00"},
      {"20260101-02:00:00", 5, "12/31/2025", "21:00:00"},
      {"20260301-04:05:06.7", 5, "02/28/2026", "23:05:06.007"},
      {"20240301-01:00:00.5", 5, "02/29/2024", "20:00:00.005"},
      {"20260115-14:30", 5, nullptr, nullptr},  // 14 characters
      {"20260230-14:30:00", 5, nullptr, nullptr},
      {"20261315-14:30:00", 5, nullptr, nullptr},
      {"20260115-24:30:00", 5, nullptr, nullptr},
      {"xxxxxxxxxxxxxxxxxxxx", 5, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    VOKMessage message;
    ReadFixTransactTime(message, c.value, c.offset);
    std::string raw;
    ASSERT_TRUE(message.GetString(1047, raw));
    EXPECT_EQ(raw, c.value);
    std::string date = "<none>";
    std::string time = "<none>";
    message.GetString(1022, date);
    message.GetString(1021, time);
    EXPECT_EQ(date, c.date ? c.date : "<none>") << c.value;
    EXPECT_EQ(time, c.time ? c.time : "<none>") << c.value;
  }
}

TEST(EasternTime, WritesTransactionTimeAndSendingTimeInUtc) {
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
  std::string stamp;
  AppendUtcTimestamp(stamp, 1772953201250LL);
  EXPECT_EQ(stamp, "20260308-07:00:01.250");
  stamp.clear();
  AppendUtcTimestamp(stamp, 0);
  EXPECT_EQ(stamp, "19700101-00:00:00.000");
}

}  // namespace

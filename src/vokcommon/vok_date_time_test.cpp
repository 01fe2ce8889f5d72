// CVokDateTime: OLE origin, Eastern daylight saving under both rules, round trips, text forms.
#include "vokcommon/vok_date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kMsPerHour = 3'600'000;

double Utc(int year, int month, int day, int hour, int minute, int second = 0, int ms = 0) {
  CVokDateTime t;
  EXPECT_TRUE(t.SetDateTime(year, month, day, hour, minute, second, ms));
  return t.m_dt;
}

// Milliseconds since the OLE origin of a non-negative OLE date, independent of the library.
std::int64_t Ms(double date) { return std::llround(date * 86'400'000.0); }

TEST(VokDateTime, CountsDaysFromTheOleOrigin) {
  EXPECT_EQ(CVokDateTime().m_dt, 0.0);
  EXPECT_EQ(CVokDateTime(46023.25).m_dt, 46023.25);
  EXPECT_EQ(Utc(1899, 12, 30, 0, 0), 0.0);
  EXPECT_EQ(Utc(1900, 1, 1, 0, 0), 2.0);
  EXPECT_EQ(Utc(2026, 1, 1, 12, 0), 46023.5);
  EXPECT_EQ(Utc(2000, 2, 29, 18, 0), 36585.75);
  // Before the origin the time of day stays a positive fraction: 29 Dec 1899 06:00 is -1.25.
  EXPECT_EQ(Utc(1899, 12, 29, 6, 0), -1.25);

  CVokDateTime t;
  ASSERT_TRUE(t.ParseDateTime("18991229 06:00", 1, 1033));
  EXPECT_EQ(t.m_dt, -1.25);
  // The origin in Eastern time is the evening before.
  EXPECT_EQ(CVokDateTime().FormatETDate(), "12/29/1899");
  EXPECT_EQ(CVokDateTime().FormatETTime(), "19:00:00");
}

TEST(VokDateTime, ConvertsEasternTextWithTheRuleOfItsOwnYear) {
  const struct {
    const char* eastern;
    double utc;
  } cases[] = {
      // Plain winter and summer of 2026 are the simulator's times read back (FeedTest).
      // 02:30 does not exist that night; it is read as standard time (= 03:30 daylight).
      {"03/08/2026 02:30", Utc(2026, 3, 8, 7, 30)},
      // First Sunday of November 2026: 00:59 is still daylight (the repeated 01:30: below).
      {"11/01/2026 00:59:59", Utc(2026, 11, 1, 4, 59, 59)},
      {"12/31/2026 22:00", Utc(2027, 1, 1, 3, 0)},
      // Before 2007: first Sunday of April to last Sunday of October.
      {"04/02/2006 03:00", Utc(2006, 4, 2, 7, 0)},
      {"10/29/2006 01:30", Utc(2006, 10, 29, 6, 30)},
      {"03/15/2007 12:00", Utc(2007, 3, 15, 16, 0)},
  };
  for (const auto& c : cases) {
    CVokDateTime t;
    ASSERT_TRUE(t.ParseETDateTime(c.eastern, 0, 1033)) << c.eastern;
    EXPECT_EQ(Ms(t.m_dt), Ms(c.utc)) << c.eastern;
  }
}

TEST(VokDateTime, FormattedTextReadsBackToTheSameMillisecond) {
  // A stride that is not a whole number of hours or days walks through every time of day and every
  // daylight change between 1950 and 2060.
  const std::int64_t stride = ((3 * 24 + 5) * 60 + 17) * 60'000LL + 31'123;
  const std::int64_t first = Ms(Utc(1950, 1, 1, 0, 0));
  const std::int64_t last = Ms(Utc(2060, 1, 1, 0, 0));
  int checked = 0;
  int repeatedHour = 0;
  for (std::int64_t ms = first; ms < last; ms += stride) {
    const CVokDateTime source(static_cast<double>(ms) / 86'400'000.0);
    const std::string text = source.FormatETDate() + " " + source.FormatETTime(0);
    CVokDateTime back;
    ASSERT_TRUE(back.ParseETDateTime(text.c_str(), 0, 1033)) << text;
    const std::int64_t delta = Ms(back.m_dt) - ms;
    if (delta == kMsPerHour && text.substr(11, 3) == "01:") {
      ++repeatedHour;  // the first, daylight, occurrence of the repeated autumn hour
      continue;
    }
    ASSERT_EQ(delta, 0) << text;
    ++checked;
  }
  EXPECT_GT(checked, 12000);
  EXPECT_LE(repeatedHour, 10);

  // The repeated hour itself, deliberately: both 05:30 (daylight) and 06:30 UTC (standard) are
  // 01:30, which reads back as standard time.
  for (const int hour : {5, 6}) {
    const CVokDateTime moment(Utc(2026, 11, 1, hour, 30));
    EXPECT_EQ(moment.FormatETDate() + " " + moment.FormatETTime(), "11/01/2026 01:30:00");
    CVokDateTime back;
    ASSERT_TRUE(back.ParseETDateTime("11/01/2026 01:30:00", 0, 1033));
    EXPECT_EQ(Ms(back.m_dt), Ms(Utc(2026, 11, 1, 6, 30)));
  }
}

TEST(VokDateTime, AcceptsEveryDateAndTimeForm) {
  const struct {
    const char* text;
    double utc;
  } cases[] = {
      {"01/15/2026 09:30", Utc(2026, 1, 15, 9, 30)},
      {"1/5/2026 9:30:05", Utc(2026, 1, 5, 9, 30, 5)},
      {"2026-01-15 09:30:00.250", Utc(2026, 1, 15, 9, 30, 0, 250)},
      {"20260115 09:30:00.5", Utc(2026, 1, 15, 9, 30, 0, 500)},
      {"  01/15/2026 \t 09:30:00.07  ", Utc(2026, 1, 15, 9, 30, 0, 70)},
      {"02/29/2024 23:59:59.999", Utc(2024, 2, 29, 23, 59, 59, 999)},
      {"12/31/9999 23:59:59.999", Utc(9999, 12, 31, 23, 59, 59, 999)},
      {"09:30", Utc(1899, 12, 30, 9, 30)},  // a time alone falls on the origin day
  };
  for (const auto& c : cases) {
    CVokDateTime t;
    ASSERT_TRUE(t.ParseDateTime(c.text, 1, 1033)) << c.text;
    EXPECT_EQ(Ms(t.m_dt), Ms(c.utc)) << c.text;
  }
  CVokDateTime eastern;
  ASSERT_TRUE(eastern.ParseETDateTime("09:30:00", 0, 1033));
  EXPECT_EQ(Ms(eastern.m_dt), Ms(Utc(1899, 12, 30, 14, 30)));
  EXPECT_EQ(eastern.FormatETTime(), "09:30:00");
}

TEST(VokDateTime, RejectsMalformedTextAndKeepsTheValue) {
  const std::string longText = std::string(300, ' ') + "01/15/2026 09:30";
  const std::vector<const char*> groups[] = {
      {"", "   ", "abc", "01/15/2026", "20260115", "13/01/2026 09:30", "00/10/2026 09:30", "01/32/2026 09:30",
       "01/00/2026 09:30", "02/29/2026 09:30", "02/29/1900 09:30", "01/15/2026 24:00"},
      {"01/15/2026 09:60", "01/15/2026 09:30:60", "01/15/2026 09:30:00.1234", "01/15/2026 09:30:00.",
       "01/15/2026 09:30 PM", "01/15/2026T09:30", "01/15/2026 0930", "01/15/2026 9:3", "01/15/26 09:30",
       "2026-1-15 09:30", "2026/01/15 09:30", "202601150 09:30"},
      {"99999999999999999999/1/2026 09:30", "01/15/2026 99999999999:30", "01/01/0099 09:30", "01/15/2026 -9:30",
       "01/15/2026 09:30x", "01/15/2026, 09:30", longText.c_str()}};
  for (const auto& texts : groups) {
    for (const char* text : texts) {
      CVokDateTime t(12345.5);
      EXPECT_FALSE(t.ParseETDateTime(text, 0, 1033)) << '"' << text << '"';
      EXPECT_FALSE(t.ParseDateTime(text, 1, 1033)) << '"' << text << '"';
      EXPECT_EQ(t.m_dt, 12345.5) << '"' << text << '"';
    }
  }
  CVokDateTime t(12345.5);
  EXPECT_FALSE(t.ParseETDateTime(nullptr, 0, 1033));
  // Valid as UTC, but its Eastern reading would fall after the last representable day.
  EXPECT_TRUE(CVokDateTime().ParseDateTime("12/31/9999 22:00", 1, 1033));
  EXPECT_FALSE(t.ParseETDateTime("12/31/9999 22:00", 0, 1033));
  EXPECT_FALSE(t.SetDateTime(10000, 1, 1, 0, 0, 0));
  EXPECT_FALSE(t.SetDateTime(2026, 4, 31, 0, 0, 0));
  EXPECT_EQ(t.m_dt, 12345.5);
}

TEST(VokDateTime, FormatsNonDatesAsEmptyText) {
  const double values[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e300,
                           -1e9, 2958466.0};
  for (double value : values) {
    const CVokDateTime t(value);
    EXPECT_EQ(t.FormatETDate(), "") << value;
    EXPECT_EQ(t.FormatETTime(), "") << value;
  }
}

}  // namespace

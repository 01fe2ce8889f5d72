// The two daylight-saving rules at their edges and the FIX timestamp text both ways. Wall-clock
// conversions and OLE dates are tested through CVokDateTime, which is built on them.
#include "platform/calendar.h"

#include <gtest/gtest.h>

#include <string>

namespace vok::calendar {
namespace {

UtcTime Utc(std::string_view text) {
  UtcTime t{};
  EXPECT_TRUE(ParseFixTimestamp(text, t)) << text;
  return t;
}

TEST(Calendar, DaylightRulesKeepTheirOwnEdges) {
  const struct {
    const char* utc;
    int sevenUtc;
    int ofTheYear;
  } cases[] = {
      {"20260115-12:00:00", 5, 5},
      // Second Sunday of March: the fixed rule changes only after 07:00:00, counted in whole seconds.
      {"20260308-06:59:59", 5, 5},
      {"20260308-07:00:00", 5, 4},
      {"20260308-07:00:01", 4, 4},
      {"20270314-07:00:01", 4, 4},
      // First Sunday of November: 02:00 daylight time is 06:00 UTC; the fixed rule waits until 07:00.
      {"20261101-05:59:59", 4, 4},
      {"20261101-06:00:00", 4, 5},
      {"20261101-07:00:01", 5, 5},
      {"20271107-06:59:59", 4, 5},
      {"20271107-07:00:00", 5, 5},
      // Before 2007 the rule of the year runs from the first Sunday of April to the last of October.
      {"20060315-12:00:00", 4, 5},
      {"20060402-06:59:59", 4, 5},
      {"20060402-07:00:00", 4, 4},
      {"20061029-05:59:59", 4, 4},
      {"20061029-06:00:00", 4, 5},
      // A moment not after the start of 1970 is standard time for the fixed rule, even in summer.
      {"19700101-00:00:00", 5, 5},
      {"19690715-12:00:00", 5, 4},
  };
  for (const auto& c : cases) {
    const UtcTime t = Utc(c.utc);
    EXPECT_EQ(EasternOffsetHours(t, DaylightRule::kSevenUtc), c.sevenUtc) << c.utc;
    EXPECT_EQ(EasternOffsetHours(t, DaylightRule::kOfTheYear), c.ofTheYear) << c.utc;
  }
}

TEST(Calendar, WritesAndReadsFixTimestamps) {
  const UtcTime moment{std::chrono::milliseconds(1772953201250)};
  const struct {
    UtcTime utc;
    const char* text;
  } written[] = {
      {moment, "20260308-07:00:01.250"},
      {UtcTime{}, "19700101-00:00:00.000"},
      {moment + std::chrono::hours(24 * 238) - std::chrono::milliseconds(243), "20261101-07:00:01.007"},
  };
  for (const auto& c : written) {
    std::string text = "60=";
    AppendFixTimestamp(text, c.utc);
    EXPECT_EQ(text, std::string("60=") + c.text);
    EXPECT_EQ(Utc(c.text), c.utc) << c.text;
  }
  EXPECT_EQ(Utc("20260308-07:00:01.25"), moment);
  EXPECT_EQ(Utc("20260308-07:00:01.2") + std::chrono::milliseconds(50), moment);
  EXPECT_EQ(Utc("20260308-07:00:01") + std::chrono::milliseconds(250), moment);

  for (const char* bad :
       {"", "2026-03-08", "20260115 14:30:00", "20260115-14:30", "2026011-14:30:00", "20261315-14:30:00",
        "20260230-14:30:00", "20260115-24:00:00", "20260308-1:2:3x", "20260115-14:30:00.", "20260115-14:30:00.2500",
        "20260115-14:30:00 ", " 20260115-14:30:00", "20260115-4:30:00", "01/15/2026 14:30:00", "00991231-00:00:00"}) {
    UtcTime kept = moment;
    EXPECT_FALSE(ParseFixTimestamp(bad, kept)) << bad;
    EXPECT_EQ(kept, moment) << bad;
  }
}

}  // namespace
}  // namespace vok::calendar

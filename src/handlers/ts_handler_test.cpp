// The time and sales handler: which prints reach the subscribers and with what values.
#include "handlers/ts_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "handlers/handler_test_support.h"
#include "handlers/record_text.h"

namespace {

using namespace vok::test;

TEST(TSHandler, TurnsEachCompletePrintIntoOneRecordForEverySubscriberAndDropsTheRest) {
  CFakeHost host;
  CTSHandler handler(&host);
  CRecordingNotify n1, n2;
  CClientThread a, b;
  a.Run([&] { handler.Advise(&n1, "XYZ", qsfTimeAndSales | qsfLevelTwo); });
  b.Run([&] { handler.Advise(&n2, "XYZ", qsfTimeAndSales); });
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'S', "XYZ", 20003}}));

  struct Row {
    const char* line;
    bool delivered;
    enumTickType type = ttTradeTick;
    double price = 0;
    LONG size = 0;
    const char* exchange = "";
    DATE time = 0;
  };
  // Descriptive texts are cut to their bound.
  const std::string longExchange = "3|1003=XYZ;2002=2;2007=2;2022=" + std::string(200, 'E');
  const std::string cutExchange(vok::handlers::kMaxFieldText, 'E');
  const Row rows[] = {
      {"3|1003=XYZ;2084=1;2003=10.5;2005=300;2022=NSDQ;2039=7;2083=1;2013=20020;2082=3;2015=03/02/2009;2014=10:30:00",
       true, ttBidTick, 10.5, 300, "NSDQ", EasternMoment("03/02/2009 10:30:00")},
      {"3|1003=XYZ;2084=1;2003=10.5", false},
      {"3|1003=XYZ;2002=10.25;2007=100", true, ttTradeTick, 10.25, 100, "", 0},
      {"3|1003=XYZ;2084=0;2002=10.25;2007=100;2003=1;2005=1;2015=03/02/2009", true, ttTradeTick, 10.25, 100, "", 0},
      {"3|1003=XYZ;2084=2;2004=10.75;2006=50;2014=11:00:00", true, ttAskTick, 10.75, 50, "", EasternMoment("11:00:00")},
      {"3|1003=XYZ;2084=3;2002=1;2007=1", false},
      {"3|1003=XYZ;2084=2;2003=10;2005=5;2006=5", false},
      {"3|1003=XYZ;2084=-1;2002=1;2007=1", false},
      {"3|1003=XYZ;2084=0;2007=1", false},
      {longExchange.c_str(), true, ttTradeTick, 2, 2, cutExchange.c_str(), 0},
  };
  CTraceLines trace;
  for (const Row& row : rows) Feed(handler, row.line);
  for (int level = 1; level <= 5; ++level) EXPECT_TRUE(trace.Lines(level, "").empty()) << level;

  for (auto [notify, thread] : {std::pair{&n1, &a}, std::pair{&n2, &b}}) {
    thread->Drain();
    const auto got = notify->TimeAndSales();
    std::size_t next = 0;
    for (const Row& row : rows) {
      if (!row.delivered) continue;
      ASSERT_LT(next, got.size()) << row.line;
      const auto& r = got[next++];
      EXPECT_EQ(r.thread, thread->Id());
      EXPECT_EQ(r.texts[0], "XYZ");
      EXPECT_EQ(r.texts[1], row.exchange) << row.line;
      EXPECT_EQ(std::tie(r.rec.type, r.rec.dPrice, r.rec.lSize), std::tie(row.type, row.price, row.size)) << row.line;
      EXPECT_DOUBLE_EQ(r.rec.UTCDateTime, row.time) << row.line;
    }
    EXPECT_EQ(got.size(), next);
    // The tick, status and condition codes pass through untranslated.
    EXPECT_EQ(std::tie(got[0].rec.tick, got[0].rec.status, got[0].rec.cond, got[0].rec.lType),
              std::tuple(20020, tsFiltered, 3, 7));
    EXPECT_EQ(std::tie(got[1].rec.tick, got[1].rec.lType), std::tuple(tickEvenUp, 0));
  }

  // Nothing is cached: a new subscriber gets only what comes after it.
  CRecordingNotify late;
  a.Run([&] { handler.Advise(&late, "XYZ", qsfTimeAndSales); });
  Feed(handler, "3|1003=XYZ;2002=1;2007=1");
  a.Drain();
  EXPECT_EQ(late.TimeAndSales().size(), 1u);

  a.Run([&] {
    handler.UnadviseAll(&n1);
    handler.UnadviseAll(&late);
  });
  b.Run([&] { handler.UnadviseAll(&n2); });
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'U', "XYZ", 20003}}));
}

}  // namespace

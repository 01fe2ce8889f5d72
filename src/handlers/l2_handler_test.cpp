// The level 2 handler: books merged from wire lines, what each subscriber receives, logon reset.
#include "handlers/l2_handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "handlers/handler_test_support.h"

namespace {

using namespace vok::test;
using L2Received = Received<LEVEL2RECORD>;

// One side update as a subscriber sees it.
struct Side {
  std::string mmid, source;
  int side;
  double price;
  LONG size;
  VARIANT_BOOL closed;
  auto Key() const { return std::tie(mmid, side, price, size, closed, source); }
  bool operator==(const Side& other) const { return Key() == other.Key(); }
  bool operator<(const Side& other) const { return Key() < other.Key(); }
};

std::vector<Side> Sides(const std::vector<L2Received>& got, std::size_t from = 0) {
  std::vector<Side> sides;
  for (const L2Received& r : std::span(got).subspan(from)) {
    sides.push_back({r.texts[1], r.texts[2], r.rec.side, r.rec.dPrice, r.rec.lSize, r.rec.bClosed});
  }
  return sides;
}

TEST(L2Handler, MergesEachSideAndDeliversItToEverySubscriberOnItsThreadInOrder) {
  CFakeHost host;
  CL2Handler handler(&host);
  CRecordingNotify n1, n2;
  CClientThread a, b;
  a.Run([&] { handler.Advise(&n1, "XYZ", qsfLevelOne | qsfLevelTwo); });
  b.Run([&] { handler.Advise(&n2, "XYZ", qsfLevelTwo); });
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'S', "XYZ", 20001}}));
  EXPECT_EQ(n1.Total(), 0u);  // an empty book hands a new subscriber nothing

  const struct {
    const char* line;
    Side expect;
    DATE time;
  } rows[] = {
      {"2|1003=XYZ;2016=TDFXAB;2017=20010;2018=10.25;2019=300;2024=O;2020=10:30:00",
       {"TDFX:AB", "", msBid, 10.25, 300, VARIANT_FALSE},
       EasternMoment("10:30:00")},
      {"2|1003=XYZ;2016=ARCA;2017=20011;2018=10.3;2019=200;2024=C;2044=20090302 15:00:01",
       {"ARCA", "ARCA", msAsk, 10.3, 200, VARIANT_TRUE},
       UtcMoment("20090302 15:00:01")},
      {"2|1003=XYZ;2016=MMA;2017=20010;2018=10.25;2019=200;2033=2;2024=O",
       {"MMA", "REGN", msBid, 10.25, 200, VARIANT_FALSE},
       0},
      // Price kept; the source once set stays; no 2024 closes the side.
      {"2|1003=XYZ;2016=MMA;2017=20010;2019=250;2033=NSDQ", {"MMA", "REGN", msBid, 10.25, 250, VARIANT_TRUE}, 0},
      // No side code is the ask; an empty source is decided again; the bid's time stays apart.
      {"2|1003=XYZ;2016=TDFXAB;2033=Q;2018=10.35;2024=O", {"TDFX:AB", "Q", msAsk, 10.35, 0, VARIANT_FALSE}, 0},
      {"2|1003=XYZ;2016=TDFXAB;2017=20010;2024=OPEN",
       {"TDFX:AB", "Q", msBid, 10.25, 300, VARIANT_TRUE},
       EasternMoment("10:30:00")},
      // Every "TDFX" of such an id is qualified; the absent MMID is a participant of its own.
      {"2|1003=XYZ;2016=TDFXTDFX1;2017=20010;2018=9;2019=5", {"TDFX:TDFX:1", "", msBid, 9, 5, VARIANT_TRUE}, 0},
      {"2|1003=XYZ;2017=1;2018=11;2019=7", {"", "", msAsk, 11, 7, VARIANT_TRUE}, 0},
  };
  CTraceLines trace;
  host.m_logQuotes = true;
  for (const auto& row : rows) Feed(handler, row.line);
  host.m_logQuotes = false;
  EXPECT_EQ(trace.Lines(2, "L2: ").size(), std::size(rows));

  for (auto [notify, thread] : {std::pair{&n1, &a}, std::pair{&n2, &b}}) {
    thread->Drain();
    const auto got = notify->Level2();
    ASSERT_EQ(got.size(), std::size(rows));
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(Sides(got, i)[0], rows[i].expect) << rows[i].line;
      EXPECT_EQ(got[i].thread, thread->Id());
      EXPECT_EQ(got[i].texts[0], "XYZ");
      EXPECT_DOUBLE_EQ(got[i].rec.UTCTime, rows[i].time) << rows[i].line;
    }
  }
  EXPECT_TRUE(n1.Quotes().empty());  // the level 1 flag is not this handler's

  const struct {
    const char16_t* symbol;
    double price;
    enumMarketSide side;
    LONG expect;
  } sums[] = {
      {u"XYZ", 10.25, msBid, 550},  // TDFX:AB 300 + MMA 250 (closed sides count)
      {u"XYZ", 10.26, msBid, 0},   {u"XYZ", 10.3, msAsk, 200},
      {u"XYZ", 10.25, msAsk, 0},   {u"XYZ", 10.25, static_cast<enumMarketSide>(3), 0},
      {u"xyz", 10.25, msBid, -1},  {u"NOPE", 10.25, msBid, -1},
      {u"", 10.25, msBid, -1},
  };
  for (const auto& s : sums) EXPECT_EQ(handler.GetAggregateSize(Wide(s.symbol), s.price, s.side), s.expect) << s.price;
  EXPECT_EQ(handler.GetAggregateSize(nullptr, 10.25, msBid), -1);

  a.Run([&] { handler.UnadviseAll(&n1); });
  EXPECT_TRUE(host.TakeSent().empty());
  b.Run([&] { handler.Unadvise(&n2, "XYZ", qsfLevelTwo); });
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'U', "XYZ", 20001}}));
  EXPECT_EQ(handler.GetAggregateSize(Wide(u"XYZ"), 10.25, msBid), -1);  // the book went with the last subscriber
}

TEST(L2Handler, NewSubscriberGetsTheSidesWithSizeAndALogonZeroesEverySize) {
  CFakeHost host;
  CL2Handler handler(&host);
  CRecordingNotify n1, late, later;
  CClientThread a, b;
  a.Run([&] { handler.Advise(&n1, "XYZ", qsfLevelTwo); });
  Feed(handler, "2|1003=XYZ;2016=MMA;2017=20010;2018=10.25;2019=300;2024=O;2033=NSDQ");
  Feed(handler, "2|1003=XYZ;2016=MMA;2017=20011;2018=10.5;2019=100;2024=O");
  Feed(handler, "2|1003=XYZ;2016=MMB;2017=20010;2018=10.2;2019=0");
  Feed(handler, "2|1003=XYZ;2016=MMB;2017=20011;2018=10.6;2019=400");
  const std::vector<Side> book = {
      {"MMA", "NSDQ", msBid, 10.25, 300, VARIANT_FALSE},
      {"MMA", "NSDQ", msAsk, 10.5, 100, VARIANT_FALSE},
      {"MMB", "", msAsk, 10.6, 400, VARIANT_TRUE},
  };
  a.Drain();
  ASSERT_EQ(n1.Level2().size(), 4u);

  // During Advise, on the subscriber's thread: one record per side with a size, book order free.
  b.Run([&] {
    handler.Advise(&late, "XYZ", qsfLevelTwo);
    auto got = Sides(late.Level2());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, book);
    for (const auto& r : late.Level2()) EXPECT_EQ(r.thread, vok::CurrentThreadId());
    // Advising again hands the book out again.
    handler.Advise(&late, "XYZ", qsfLevelTwo);
    EXPECT_EQ(late.Level2().size(), 2 * book.size());
  });
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'S', "XYZ", 20001}}));

  {
    vok::CCriticalSectionLock lock(host.ConnectionLock());
    handler.Resubscribe();
  }
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'S', "XYZ", 20001}}));
  for (double price : {10.25, 10.2}) EXPECT_EQ(handler.GetAggregateSize(Wide(u"XYZ"), price, msBid), 0);
  EXPECT_EQ(handler.GetAggregateSize(Wide(u"XYZ"), 10.6, msAsk), 0);

  // Each subscriber gets every cached side once more with size 0, prices and flags kept.
  for (auto [notify, thread, before] : {std::tuple{&n1, &a, std::size_t{4}}, std::tuple{&late, &b, 2 * book.size()}}) {
    thread->Drain();
    std::vector<Side> reset = Sides(notify->Level2(), before);
    std::sort(reset.begin(), reset.end());
    const std::vector<Side> expected = {
        {"MMA", "NSDQ", msBid, 10.25, 0, VARIANT_FALSE},
        {"MMA", "NSDQ", msAsk, 10.5, 0, VARIANT_FALSE},
        {"MMB", "", msBid, 10.2, 0, VARIANT_TRUE},
        {"MMB", "", msAsk, 10.6, 0, VARIANT_TRUE},
    };
    EXPECT_EQ(reset, expected);
  }
  b.Run([&] {
    handler.Advise(&later, "XYZ", qsfLevelTwo);
    EXPECT_EQ(later.Total(), 0u);
  });
  Feed(handler, "2|1003=XYZ;2016=MMB;2017=20011;2019=50");
  EXPECT_EQ(handler.GetAggregateSize(Wide(u"XYZ"), 10.6, msAsk), 50);
  a.Run([&] { handler.UnadviseAll(&n1); });
  b.Run([&] {
    handler.UnadviseAll(&late);
    handler.UnadviseAll(&later);
  });
}

TEST(L2Handler, OptionsAlwaysTakeTheRegionalSourceAndBooksAreBounded) {
  CFakeHost host;
  CL2Handler handler(&host);
  CRecordingNotify n1;
  CClientThread a;
  a.Run([&] { handler.Advise(&n1, "+XYZ-A", qsfLevelTwo); });
  const std::pair<const char*, const char*> rows[] = {
      {"2|1003=+XYZ-A;2016=M1;2033=Q", "REGN"}, {"2|1003=+XYZ-A;2016=M2", ""}, {"2|1003=+XYZ-A;2016=ARCAX", "ARCA"}};
  for (auto [line, source] : rows) Feed(handler, line);
  a.Drain();
  const auto got = n1.Level2();
  ASSERT_EQ(got.size(), std::size(rows));
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].texts[2], rows[i].second) << rows[i].first;

  // A runaway feed of new participants stops at the bound, traced once; sums saturate.
  CTraceLines trace;
  for (std::size_t i = 0; i < CMasterL2Record::kMaxEntries + 5; ++i) {
    Feed(handler, "2|1003=+XYZ-A;2016=N" + std::to_string(i) + ";2017=20010;2018=1;2019=2000000000");
  }
  EXPECT_EQ(trace.Lines(4, "L2: book of +XYZ-A is full").size(), 1u);
  EXPECT_EQ(handler.GetAggregateSize(Wide(u"+XYZ-A"), 1, msBid), 2147483647);
  Feed(handler, "2|1003=+XYZ-A;2016=M1;2017=20010;2018=2;2019=7");  // known participants still update
  EXPECT_EQ(handler.GetAggregateSize(Wide(u"+XYZ-A"), 2, msBid), 7);
  a.Run([&] { handler.UnadviseAll(&n1); });
}

}  // namespace

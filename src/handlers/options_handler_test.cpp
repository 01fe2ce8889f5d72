// The options handler: per-underlying option records, their delivery, lookup and logon reset.
#include "handlers/options_handler.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "handlers/handler_test_support.h"
#include "handlers/thread_queue.h"
#include "vokcommon/record_copy.h"

namespace {

using namespace vok::test;
using OptReceived = Received<OPTIONSRECORD>;

// A record read back through GetCachedOptionsRecord, freed on scope exit.
struct CCached {
  OPTIONSRECORD rec{};
  bool found;
  CCached(COptionsHandler& handler, const char16_t* symbol)
      : found(handler.GetCachedOptionsRecord(Wide(symbol), &rec)) {}
  ~CCached() { FreeOptionsRecord(rec); }
};

TEST(OptionsHandler, KeepsOneRecordPerOptionAndDeliversItToTheUnderlyingsSubscribers) {
  CFakeHost host;
  COptionsHandler handler(&host);
  CRecordingNotify n1, n2;
  CClientThread a, b;
  a.Run([&] {
    handler.Advise(&n1, "XYZ", qsfOptions);
    handler.Advise(&n1, "ABC", qsfOptions | qsfLevelOne);
  });
  b.Run([&] { handler.Advise(&n2, "XYZ", qsfOptions); });
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'S', "XYZ", 20004}, {'S', "ABC", 20004}}));

  CTraceLines trace;
  const char* lines[] = {
      "4|2034=XYZ;1003=+XYZ-A;2035=25;2036=1;2037=500;2040=2009;2038=P;2002=1.5;2003=1.4;2004=1.6;2005=10;2006=20;"
      "2007=3;2012=100;2013=20020;2015=03/02/2009;2014=10:30:00;2008=1.2;2009=1.8;2010=1.1;2011=1.3",
      "4|2034=XYZ;1003=+XYZ-B;2035=30;2002=0.5",
      "4|2034=XYZ;1003=+XYZ-A;2035=99;2037=9;2038=C;2036=5;2040=2010;2002=1.75;2013=1;2014=11:00:00",
      "4|2034=XYZ;2002=9",  // no option symbol: ignored, not stray
      "4|2034=NOPE;1003=+NOPE-A;2002=1",
      "4|2034=ABC;1003=+ABC-A;2002=2;2043=20090304-15:00:01",
      "4|2034=NOPE;1003=+NOPE-A;2002=1",
  };
  for (const char* line : lines) Feed(handler, line);
  EXPECT_EQ(trace.Lines(2, "stray"),
            (std::vector<std::string>{"COptionsHandler: Received 2 stray NOPE quotes. Recent deletion?"}));

  struct Expect {
    const char* symbol;
    const char* underlier;
    double last, bid, strike;
    LONG bidSize, openInterest, expMonth, expYear;
    enumPutCall putcall;
    enumTick tick;
    DATE time;
  };
  const DATE first = EasternMoment("03/02/2009 10:30:00");
  const Expect a1 = {"+XYZ-A", "XYZ", 1.5, 1.4, 25, 10, 500, 1, 2009, pcPut, tickEvenUp, first};
  const Expect b1 = {"+XYZ-B", "XYZ", 0.5, 0, 30, 0, 0, 0, 0, pcCall, tickEvenUp, 0};
  const Expect a2 = {"+XYZ-A", "XYZ", 1.75, 1.4,   25,       10,
                     500,      1,     2009, pcPut, tickDown, EasternMoment("03/02/2009 11:00:00")};
  const Expect c1 = {"+ABC-A", "ABC", 2, 0, 0, 0, 0, 0, 0, pcCall, tickEvenUp, FixMoment("20090304-15:00:01")};
  const std::vector<Expect> forA = {a1, b1, a2, c1};
  const std::vector<Expect> forB = {a1, b1, a2};
  for (auto [notify, thread, expected] : {std::tuple{&n1, &a, forA}, std::tuple{&n2, &b, forB}}) {
    thread->Drain();
    const auto got = notify->Options();
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      const Expect& e = expected[i];
      const OPTIONSRECORD& r = got[i].rec;
      EXPECT_EQ(got[i].thread, thread->Id());
      EXPECT_EQ(got[i].texts, (std::vector<std::string>{e.symbol, e.underlier})) << i;
      EXPECT_EQ(std::tie(r.dLast, r.dBid, r.dStrikePrice, r.lBidSize, r.lOpenInterest, r.lExpMonth, r.lExpYear,
                         r.putcall, r.tick, r.UTCDateTime),
                std::tie(e.last, e.bid, e.strike, e.bidSize, e.openInterest, e.expMonth, e.expYear, e.putcall, e.tick,
                         e.time))
          << i;
    }
  }
  EXPECT_EQ(host.OptionRoots(), (std::map<std::string, std::string>{{"+XYZ", "XYZ"}, {"+ABC", "ABC"}}));

  // The lookup searches every underlying and matches upper-cased.
  {
    CCached c(handler, u"+xyz-a");
    ASSERT_TRUE(c.found);
    EXPECT_EQ(TextOf(c.rec.bstrSymbol), "+XYZ-A");
    EXPECT_EQ(TextOf(c.rec.bstrUnderlier), "XYZ");
    EXPECT_EQ(std::tie(c.rec.lAskSize, c.rec.lLastSize, c.rec.lVolume), std::tuple(20, 3, 100));
    EXPECT_EQ((std::vector<double>{c.rec.dLast, c.rec.dPrevClose, c.rec.dHigh, c.rec.dLow, c.rec.dOpen}),
              (std::vector<double>{1.75, 1.2, 1.8, 1.1, 1.3}));
  }
  EXPECT_EQ(TextOf(CCached(handler, u"+ABC-A").rec.bstrUnderlier), "ABC");
  for (const char16_t* missing : {u"+NOPE-A", u"", u"XYZ"}) {
    CCached c(handler, missing);
    EXPECT_FALSE(c.found);
    EXPECT_EQ(c.rec.bstrSymbol, nullptr);
    EXPECT_EQ(c.rec.dLast, 0);
  }
  OPTIONSRECORD none{};
  EXPECT_FALSE(handler.GetCachedOptionsRecord(nullptr, &none));

  // An update queued before the thread unadvised is dropped with a trace when it is drained.
  a.Run([&] {
    handler.UnadviseAll(&n1);
    handler.Advise(&n1, "ABC", qsfOptions);
    Feed(handler, "4|2034=ABC;1003=+ABC-A;2002=3");
    handler.Unadvise(&n1, "ABC", qsfOptions);
    CThreadQueue::CurrentQueue()->Drain();
  });
  EXPECT_EQ(trace.Lines(2, "COptionsHandler::OnThreadItem"),
            (std::vector<std::string>{"COptionsHandler::OnThreadItem, rec'd quote for +ABC-A -- not in map"}));
  EXPECT_FALSE(CCached(handler, u"+ABC-A").found);  // the cache went with the last subscriber
  b.Run([&] { handler.UnadviseAll(&n2); });
}

TEST(OptionsHandler, NewSubscriberGetsEveryCachedOptionAndALogonMarksEverySizeUnknown) {
  CFakeHost host;
  COptionsHandler handler(&host);
  CRecordingNotify n1, late;
  CClientThread a, b;
  a.Run([&] { handler.Advise(&n1, "XYZ", qsfOptions); });
  EXPECT_EQ(host.TakeSent().size(), 1u);
  Feed(handler, "4|2034=XYZ;1003=+XYZ-A;2003=1.4;2004=1.6;2005=10;2006=20;2007=3");
  Feed(handler, "4|2034=XYZ;1003=+XYZ-B;2003=0.4;2005=5");
  a.Drain();
  ASSERT_EQ(n1.Options().size(), 2u);

  auto summary = [](const std::vector<OptReceived>& got) {
    std::map<std::string, std::vector<double>> bySymbol;
    for (const OptReceived& r : got) {
      bySymbol[r.texts[0]] = {r.rec.dBid, double(r.rec.lBidSize), double(r.rec.lAskSize), double(r.rec.lLastSize)};
    }
    return bySymbol;
  };
  b.Run([&] {
    handler.Advise(&late, "XYZ", qsfOptions);
    const auto got = late.Options();
    EXPECT_EQ(got.size(), 2u);  // the two options, during Advise, on this thread
    for (const OptReceived& r : got) EXPECT_EQ(r.thread, vok::CurrentThreadId());
  });
  using Summary = std::map<std::string, std::vector<double>>;
  EXPECT_EQ(summary(late.Options()), (Summary{{"+XYZ-A", {1.4, 10, 20, 3}}, {"+XYZ-B", {0.4, 5, 0, 0}}}));

  {
    vok::CCriticalSectionLock lock(host.ConnectionLock());
    handler.Resubscribe();
  }
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'S', "XYZ", 20004}}));
  const Summary reset = {{"+XYZ-A", {1.4, -1, -1, -1}}, {"+XYZ-B", {0.4, -1, -1, -1}}};
  for (auto [notify, thread] : {std::pair{&n1, &a}, std::pair{&late, &b}}) {
    thread->Drain();
    const auto got = notify->Options();
    ASSERT_EQ(got.size(), 4u);  // each option once more
    EXPECT_EQ(summary({got.begin() + 2, got.end()}), reset);
  }
  const CCached reread(handler, u"+XYZ-B");
  EXPECT_EQ(std::tie(reread.rec.lBidSize, reread.rec.dBid), std::tuple(-1, 0.4));
  Feed(handler, "4|2034=XYZ;1003=+XYZ-B;2005=7");
  EXPECT_EQ(CCached(handler, u"+XYZ-B").rec.lBidSize, 7);
  a.Run([&] { handler.UnadviseAll(&n1); });
  b.Run([&] { handler.UnadviseAll(&late); });
}

}  // namespace

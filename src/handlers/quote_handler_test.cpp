// Tests of the level 1 handler: the merge of wire messages into the cached record, what each
// subscriber receives and on which thread, the cache readers, option contract data and borrow flags.
#include "handlers/quote_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handlers/handler_test_support.h"
#include "platform/bstr.h"
#include "vkdll/vkdll.h"
#include "vokcommon/vok_date_time.h"

namespace {

using vok::test::CClientThread;
using vok::test::CFakeHost;
using vok::test::CRecordingNotify;
using vok::test::CTraceCapture;
using vok::test::Feed;
using vok::test::WaitUntil;

std::string Text(BSTR text) {
  return text == nullptr ? "<null>"
                         : vok::NarrowFromWide(reinterpret_cast<const vok::WideChar*>(text), SysStringLen(text));
}

// A cached record read back through GetCachedQuote, freed on scope exit.
struct CCached {
  QUOTERECORD rec{};
  bool found;
  CCached(CQuoteHandler& handler, const char16_t* symbol)
      : found(handler.GetCachedQuote(reinterpret_cast<const OLECHAR*>(symbol), &rec)) {}
  ~CCached() {
    for (BSTR s : {rec.bstrSymbol, rec.bstrMarket, rec.bstrCompany, rec.bstrUnderlier}) SysFreeString(s);
  }
};

TEST(QuoteHandler, MergesUpdatesAndDeliversTheWholeRecordToEachThreadInOrder) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CRecordingNotify n1, n2, late;
  CClientThread a, b, c;
  a.Run([&] { handler.Advise(&n1, "XYZ", qsfLevelOne); });
  b.Run([&] { handler.Advise(&n2, "XYZ", qsfLevelOne); });
  EXPECT_FALSE(CCached(handler, u"XYZ").found);  // a record without data is not a quote

  Feed(handler, "1|1003=XYZ;2022=NASDAQ;2021=XYZ Corp;2002=10.5;2003=10.4;2004=10.6;2005=100;2006=200;2012=5000");
  Feed(handler, "N|1003=XYZ;2002=10.75");
  Feed(handler, "1|1003=XYZ;2008=10.2;2022=OTHER;2021=Other Corp;2013=20020");
  Feed(handler, "2|1003=XYZ;2002=99");  // not a level 1 type
  // A last update that changes nothing: once it is in, everything before it is.
  Feed(handler, "1|1003=XYZ;2012=5000");
  ASSERT_TRUE(WaitUntil([&] { return n1.Count() == 4 && n2.Count() == 4; }));
  for (auto [notify, thread] : {std::pair{&n1, a.Id()}, std::pair{&n2, b.Id()}}) {
    const auto got = notify->Got();
    ASSERT_EQ(got.size(), 4u);
    const double last[] = {10.5, 10.75, 10.75};
    const double prevClose[] = {10.5, 10.5, 10.2};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(got[i].thread, thread);
      EXPECT_EQ(got[i].symbol, "XYZ");
      EXPECT_EQ(got[i].last, last[i]) << i;
      EXPECT_EQ(got[i].prevClose, prevClose[i]) << i;
      EXPECT_EQ(got[i].volume, 5000) << i;
    }
  }

  CCached cached(handler, u"xyz");
  ASSERT_TRUE(cached.found);
  EXPECT_EQ(Text(cached.rec.bstrSymbol), "XYZ");
  EXPECT_EQ(Text(cached.rec.bstrMarket), "NASDAQ");
  EXPECT_EQ(Text(cached.rec.bstrCompany), "XYZ Corp");
  EXPECT_EQ(cached.rec.dBid, 10.4);
  EXPECT_EQ(cached.rec.dAsk, 10.6);
  EXPECT_EQ(cached.rec.lBidSize, 100);
  EXPECT_EQ(cached.rec.lAskSize, 200);
  EXPECT_EQ(cached.rec.tick, tickEvenUp);

  // A new subscriber receives the cached record during Advise, on its own thread.
  c.Run([&] {
    handler.Advise(&late, "XYZ", qsfLevelOne);
    ASSERT_EQ(late.Count(), 1u);
    EXPECT_EQ(late.Got()[0].last, 10.75);
    EXPECT_EQ(late.Got()[0].thread, vok::CurrentThreadId());
  });
  for (auto* t : {&a, &b, &c})
    t->Run([&] {
      for (auto* n : {&n1, &n2, &late}) handler.UnadviseAll(n);
    });
  EXPECT_FALSE(CCached(handler, u"XYZ").found);
}

TEST(QuoteHandler, AppliesEachFieldRuleToTheCachedRecord) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CRecordingNotify n1;
  CClientThread a;
  a.Run([&] { handler.Advise(&n1, "T", qsfLevelOne); });
  struct Row {
    const char* line;
    double last, prevClose, open, high, low;
    LONG lastSize;
    enumTick tick;
  };
  const Row rows[] = {
      {"1|1003=T;2002=10.5", 10.5, 10.5, 0, 0, 0, 0, tickEvenUp},
      {"1|1003=T;2013=5", 10.5, 10.5, 0, 0, 0, 0, tickDown},
      {"1|1003=T;2013=20020;2011=10;2009=11;2010=9", 10.5, 10.5, 10, 11, 9, 0, tickEvenUp},
      {"1|1003=T;2013=0;2007=300", 10.5, 10.5, 10, 11, 9, 300, tickDown},
      {"1|1003=T;2008=10.2;2002=0", 0, 10.2, 10, 11, 9, 300, tickDown},
      {"1|1003=T;2008=0", 0, 0, 10, 11, 9, 300, tickDown},
      {"1|1003=T;2002=abc;2007=0", 0, 0, 10, 11, 9, 0, tickDown},
  };
  CTraceCapture trace;
  host.m_logQuotes = true;
  for (const Row& row : rows) {
    Feed(handler, row.line);
    CCached c(handler, u"T");
    ASSERT_TRUE(c.found) << row.line;
    EXPECT_EQ(c.rec.dLast, row.last) << row.line;
    EXPECT_EQ(c.rec.dPrevClose, row.prevClose) << row.line;
    EXPECT_EQ(c.rec.dOpen, row.open) << row.line;
    EXPECT_EQ(c.rec.dHigh, row.high) << row.line;
    EXPECT_EQ(c.rec.dLow, row.low) << row.line;
    EXPECT_EQ(c.rec.lLastSize, row.lastSize) << row.line;
    EXPECT_EQ(c.rec.tick, row.tick) << row.line;
  }
  host.m_logQuotes = false;
  const auto logged = trace.Lines(2, "L1: ");
  ASSERT_EQ(logged.size(), std::size(rows));
  EXPECT_NE(logged[0].find("1003=T"), std::string::npos) << logged[0];

  // Times: date and time together, a date alone keeps the cached time of day, neither keeps the
  // moment, and a FIX UTC stamp wins over both.
  auto eastern = [](const char* text) {
    CVokDateTime t;
    EXPECT_TRUE(t.ParseETDateTime(text, 0, 1033)) << text;
    return t.m_dt;
  };
  CVokDateTime fix;
  ASSERT_TRUE(fix.ParseFIXUtcTimestamp("20090304-15:00:01"));
  const std::pair<const char*, DATE> times[] = {
      {"1|1003=T;2015=03/02/2009;2014=10:30:00", eastern("03/02/2009 10:30:00")},
      {"1|1003=T;2015=03/03/2009", eastern("03/03/2009 10:30:00")},
      {"1|1003=T;2014=11:00:05", eastern("03/03/2009 11:00:05")},
      {"1|1003=T;2002=1", eastern("03/03/2009 11:00:05")},
      {"1|1003=T;2043=20090304-15:00:01;2015=01/01/2001;2014=09:00:00", fix.m_dt},
  };
  for (auto [line, expected] : times) {
    Feed(handler, line);
    EXPECT_DOUBLE_EQ(CCached(handler, u"T").rec.UTCDateTime, expected) << line;
  }
  a.Run([&] { handler.UnadviseAll(&n1); });
}

TEST(QuoteHandler, TakesOptionContractDataOnceAndDescribesTheOption) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CRecordingNotify n1;
  CClientThread a;
  a.Run([&] {
    handler.Advise(&n1, "+XYZ-AB", qsfLevelOne);
    handler.Advise(&n1, "/ES", qsfLevelOne);
  });
  Feed(handler, "1|1003=+XYZ-AB;2021=Ignored;2041=100;2035=25;2036=1;2040=2009;2038=P;2034=XYZ;2032=7");
  Feed(handler, "1|1003=+XYZ-AB;2041=50;2035=30;2038=C;2002=1.25");
  CCached c(handler, u"+XYZ-AB");
  ASSERT_TRUE(c.found);
  EXPECT_EQ(c.rec.lContractSize, 100);
  EXPECT_EQ(c.rec.dStrikePrice, 25);
  EXPECT_EQ(c.rec.lExpMonth, 1);
  EXPECT_EQ(c.rec.lExpYear, 2009);
  EXPECT_EQ(c.rec.putcall, pcPut);
  EXPECT_EQ(c.rec.lFlags, 0);  // equity-only fields are not read for options
  EXPECT_EQ(c.rec.dLast, 1.25);
  EXPECT_EQ(Text(c.rec.bstrUnderlier), "XYZ");
  char strike[25] = {};
  VOK_FormatNumber(25, strike, 24, 2);
  EXPECT_EQ(Text(c.rec.bstrCompany), std::string("XYZ Jan '09 ") + strike + " Put");
  EXPECT_EQ(host.OptionRoots(), (std::map<std::string, std::string>{{"+XYZ", "XYZ"}}));

  Feed(handler, "1|1003=/ES;2041=50;2032=7");
  Feed(handler, "1|1003=/ES;2041=60");
  CCached f(handler, u"/ES");
  EXPECT_EQ(f.rec.lContractSize, 50);
  EXPECT_EQ(f.rec.lFlags, 0);
  a.Run([&] { handler.UnadviseAll(&n1); });
}

TEST(QuoteHandler, BorrowRatesSetTheBorrowBitsAndRequeueOnlyWhenTheyChange) {
  struct Row {
    LONG flags;
    double rate;
    LONG expectFlags;
    double expectPct;
    bool changed;
  };
  const Row rows[] = {
      {0x02, 0.5, 0x1B, 0.5, true}, {0x19, 0.7, 0x19, 0.7, false}, {0x19, -1, 0x09, 0, true},
      {0x09, -2, 0x09, 0, false},   {0x1B, 0, 0x02, 0, true},      {0x00, 0, 0x00, 0, false},
  };
  for (const Row& row : rows) {
    QUOTERECORD q{};
    q.lFlags = row.flags;
    q.dNegBorrowPct = 9;
    EXPECT_EQ(CQuoteHandler::ApplyBorrowRate(q, row.rate), row.changed) << row.rate;
    EXPECT_EQ(q.lFlags, row.expectFlags) << row.rate;
    EXPECT_EQ(q.dNegBorrowPct, row.expectPct) << row.rate;
  }

  CFakeHost host;
  host.SetBorrowRate("XYZ", 0.5);
  CQuoteHandler handler(&host);
  CRecordingNotify n1;
  CClientThread a;
  handler.SetBorrowRate("XYZ", 0.7);  // no record yet: nothing
  a.Run([&] { handler.Advise(&n1, "XYZ", qsfLevelOne); });
  Feed(handler, "1|1003=XYZ;2002=3;2032=2;2031=1.5");
  ASSERT_TRUE(WaitUntil([&] { return n1.Count() == 1; }));
  {
    CCached c(handler, u"XYZ");
    EXPECT_EQ(c.rec.lFlags, 0x1B);
    EXPECT_EQ(c.rec.dNegBorrowPct, 0.5);
    EXPECT_EQ(c.rec.dMarginMult, 1.5);
  }
  handler.SetBorrowRate("XYZ", 0.7);
  EXPECT_EQ(CCached(handler, u"XYZ").rec.dNegBorrowPct, 0.7);
  handler.SetBorrowRate("XYZ", 0);
  EXPECT_EQ(CCached(handler, u"XYZ").rec.lFlags, 0x02);
  Feed(handler, "1|1003=XYZ;2012=77");
  ASSERT_TRUE(WaitUntil([&] { return n1.Count() >= 3 && n1.Got().back().volume == 77; }));
  EXPECT_EQ(n1.Count(), 3u);  // the 0.7 change queued nothing
  a.Run([&] { handler.UnadviseAll(&n1); });
}

}  // namespace

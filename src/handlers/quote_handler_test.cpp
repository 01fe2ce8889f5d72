// The level 1 handler: wire messages merged into the cached record, delivery, options and borrow flags.
#include "handlers/quote_handler.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "handlers/handler_test_support.h"
#include "vkdll/vkdll.h"
#include "vokcommon/record_copy.h"

namespace {

using namespace vok::test;

// A cached record read back through GetCachedQuote, freed on scope exit.
struct CCached {
  QUOTERECORD rec{};
  bool found;
  CCached(CQuoteHandler& handler, const char16_t* symbol) : found(handler.GetCachedQuote(Wide(symbol), &rec)) {}
  ~CCached() { FreeQuoteRecord(rec); }
};

TEST(QuoteHandler, MergesEachFieldRuleAndDeliversTheWholeRecordToEachThreadInOrder) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CRecordingNotify n1, n2, late;
  CClientThread a, b;
  a.Run([&] { handler.Advise(&n1, "T", qsfLevelOne); });
  b.Run([&] { handler.Advise(&n2, "T", qsfLevelOne); });
  Feed(handler, "2|1003=T;2002=99");           // not a level 1 type
  EXPECT_FALSE(CCached(handler, u"T").found);  // a record without data is not a quote

  // Each line and the record after it: last, previous close, open, high, low, last size, tick.
  const std::pair<const char*, std::vector<double>> rows[] = {
      {"1|1003=T;2022=NASDAQ;2021=T Corp;2002=10.5;2012=5000", {10.5, 10.5, 0, 0, 0, 0, tickEvenUp}},
      {"1|1003=T;2013=5", {10.5, 10.5, 0, 0, 0, 0, tickDown}},
      {"N|1003=T;2013=20020;2011=10;2009=11;2010=9", {10.5, 10.5, 10, 11, 9, 0, tickEvenUp}},
      {"1|1003=T;2013=0;2007=300", {10.5, 10.5, 10, 11, 9, 300, tickDown}},
      // Market and company are taken once.
      {"1|1003=T;2008=10.2;2002=0;2022=OTHER;2021=Other Corp", {0, 10.2, 10, 11, 9, 300, tickDown}},
      {"1|1003=T;2008=0", {0, 0, 10, 11, 9, 300, tickDown}},
      {"1|1003=T;2002=abc;2007=0", {0, 0, 10, 11, 9, 0, tickDown}},
  };
  auto numbers = [](const QUOTERECORD& r) {
    return std::vector<double>{r.dLast, r.dPrevClose, r.dOpen, r.dHigh, r.dLow, double(r.lLastSize), double(r.tick)};
  };
  CTraceLines trace;
  host.m_logQuotes = true;
  for (const auto& [line, expected] : rows) {
    Feed(handler, line);
    EXPECT_EQ(numbers(CCached(handler, u"T").rec), expected) << line;
  }
  EXPECT_EQ(trace.Lines(2, "L1: ").size(), std::size(rows));  // every message, when asked
  for (auto [notify, thread] : {std::pair{&n1, &a}, std::pair{&n2, &b}}) {
    thread->Drain();
    const auto got = notify->Quotes();
    ASSERT_EQ(got.size(), std::size(rows));
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(numbers(got[i].rec), rows[i].second) << rows[i].first;
      EXPECT_EQ(got[i].thread, thread->Id());
      EXPECT_EQ(got[i].texts, (std::vector<std::string>{"T", "NASDAQ", "T Corp", "<null>"})) << i;
      EXPECT_EQ(got[i].rec.lVolume, 5000) << i;
    }
  }

  // A new subscriber gets the cached record during Advise, on its own thread.
  b.Run([&] {
    handler.Advise(&late, "T", qsfLevelOne);
    const auto got = late.Quotes();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].rec.dPrevClose, 0);
    EXPECT_EQ(got[0].rec.dOpen, 10);
    EXPECT_EQ(got[0].thread, vok::CurrentThreadId());
  });
  EXPECT_EQ(CCached(handler, u"t").rec.dHigh, 11);  // the lookup is upper-cased
  a.Run([&] { handler.UnadviseAll(&n1); });
  b.Run([&] {
    handler.UnadviseAll(&n2);
    handler.UnadviseAll(&late);
  });
  EXPECT_FALSE(CCached(handler, u"T").found);
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
  // Equity-only fields (the flags) are not read for options.
  EXPECT_EQ(std::tie(c.rec.lContractSize, c.rec.dStrikePrice, c.rec.lExpMonth, c.rec.lExpYear, c.rec.putcall,
                     c.rec.lFlags, c.rec.dLast),
            std::tuple(100, 25.0, 1, 2009, pcPut, 0, 1.25));
  EXPECT_EQ(TextOf(c.rec.bstrUnderlier), "XYZ");
  char strike[25] = {};
  VOK_FormatNumber(25, strike, 24, 2);
  EXPECT_EQ(TextOf(c.rec.bstrCompany), std::string("XYZ Jan '09 ") + strike + " Put");
  EXPECT_EQ(host.OptionRoots(), (std::map<std::string, std::string>{{"+XYZ", "XYZ"}}));

  Feed(handler, "1|1003=/ES;2041=50;2032=7");
  Feed(handler, "1|1003=/ES;2041=60");
  CCached f(handler, u"/ES");
  EXPECT_EQ(f.rec.lContractSize, 50);
  EXPECT_EQ(f.rec.lFlags, 0);
  a.Run([&] { handler.UnadviseAll(&n1); });
}

TEST(QuoteHandler, BorrowRatesSetTheBorrowBitsAndRequeueOnlyWhenTheyChange) {
  const struct {
    LONG flags;
    double rate;
    LONG expectFlags;
    double expectPct;
    bool changed;
  } rows[] = {
      {0x02, 0.5, 0x1B, 0.5, true}, {0x19, 0.7, 0x19, 0.7, false}, {0x19, -1, 0x09, 0, true},
      {0x09, -2, 0x09, 0, false},   {0x1B, 0, 0x02, 0, true},      {0x00, 0, 0x00, 0, false},
  };
  for (const auto& row : rows) {
    QUOTERECORD q{};
    q.lFlags = row.flags;
    q.dNegBorrowPct = 9;
    EXPECT_EQ(CQuoteHandler::ApplyBorrowRate(q, row.rate), row.changed) << row.rate;
    EXPECT_EQ(q.lFlags, row.expectFlags) << row.rate;
    EXPECT_EQ(q.dNegBorrowPct, row.expectPct) << row.rate;
  }

  // The host's rate applies from the first update on; a new rate requeues the record only when
  // the borrow bits change.
  CFakeHost host;
  host.SetBorrowRate("XYZ", 0.5);
  CQuoteHandler handler(&host);
  CRecordingNotify n1;
  CClientThread a;
  a.Run([&] { handler.Advise(&n1, "XYZ", qsfLevelOne); });
  Feed(handler, "1|1003=XYZ;2002=3;2032=2;2031=1.5");
  handler.SetBorrowRate("XYZ", 0.7);
  handler.SetBorrowRate("XYZ", 0);
  a.Drain();
  const auto got = n1.Quotes();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(std::tie(got[0].rec.lFlags, got[0].rec.dNegBorrowPct, got[0].rec.dMarginMult), std::tuple(0x1B, 0.5, 1.5));
  EXPECT_EQ(got[1].rec.lFlags, 0x02);
  a.Run([&] { handler.UnadviseAll(&n1); });
}

}  // namespace

// Tests of the subscription bookkeeping shared by all handlers, driven through the level 1 handler:
// requests on first arrival and last departure, resubscription, stray counting, delivery while
// callbacks unadvise, and the teardown warnings.
#include "handlers/handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "handlers/handler_test_support.h"
#include "handlers/quote_handler.h"

namespace {

using vok::test::CClientThread;
using vok::test::CFakeHost;
using vok::test::CRecordingNotify;
using vok::test::CTraceCapture;
using vok::test::Feed;
using vok::test::SentRequest;
using vok::test::WaitUntil;

TEST(Handler, FirstThreadSubscribesAndLastThreadUnsubscribes) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CRecordingNotify n1, n2, n3;
  CClientThread a, b;

  // Flags without the level 1 bit leave the handler untouched.
  a.Run([&] { handler.Advise(&n1, "XYZ", qsfLevelTwo | qsfOptions); });
  EXPECT_FALSE(handler.HasMasterRecord("XYZ"));
  EXPECT_TRUE(host.TakeSent().empty());

  a.Run([&] {
    handler.Advise(&n1, "XYZ", qsfLevelOne);
    handler.Advise(&n2, "XYZ", qsfLevelOne | qsfLevelTwo);
    handler.Advise(&n2, "XYZ", qsfLevelOne);  // already there: still one entry
    EXPECT_EQ(handler.ThreadNotifyCount("XYZ"), 2);
  });
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'H', "XYZ", 20000}}));
  b.Run([&] { handler.Advise(&n3, "XYZ", qsfLevelOne); });
  EXPECT_TRUE(host.TakeSent().empty());
  EXPECT_EQ(handler.MasterThreadCount("XYZ"), 2);

  a.Run([&] {
    handler.Unadvise(&n3, "XYZ", qsfLevelOne);  // not on this thread: list unchanged
    EXPECT_EQ(handler.ThreadNotifyCount("XYZ"), 2);
    handler.Unadvise(&n1, "XYZ", qsfLevelOne);
    handler.UnadviseAll(&n2);
    EXPECT_EQ(handler.ThreadNotifyCount("XYZ"), 0);
  });
  EXPECT_TRUE(host.TakeSent().empty());
  EXPECT_EQ(handler.MasterThreadCount("XYZ"), 1);
  b.Run([&] { handler.Unadvise(&n3, "XYZ", qsfLevelOne); });
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'U', "XYZ", 20000}}));
  EXPECT_FALSE(handler.HasMasterRecord("XYZ"));
  QUOTERECORD rec{};
  EXPECT_FALSE(handler.GetCachedQuote(reinterpret_cast<const OLECHAR*>(u"XYZ"), &rec));
}

TEST(Handler, TracesBookkeepingAndUnknownUnadvises) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CRecordingNotify n1, n2;
  CTraceCapture trace;
  CClientThread a;
  const vok::ThreadId id = a.Id();
  a.Run([&] {
    handler.Unadvise(&n1, "ABC", qsfLevelOne);
    handler.UnadviseAll(&n1);  // a thread without subscriptions: nothing
    handler.Advise(&n1, "ABC", qsfLevelOne);
    handler.Advise(&n1, "ABC", qsfLevelOne);
    handler.Unadvise(&n2, "ABC", qsfLevelOne);
    handler.UnadviseAll(&n1);
  });
  char buffer[200];
  const auto p = static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&n1));
  std::snprintf(buffer, sizeof buffer, "[%x] CQuoteHandler: ", id);
  const std::string t = buffer;
  std::snprintf(buffer, sizeof buffer, "0x%llx", p);
  const std::string ptr = buffer;
  std::snprintf(buffer, sizeof buffer, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&n2)));
  const std::string ptr2 = buffer;
  const std::vector<std::string> expected = {
      t + "Warning: attempting to unadvise symbol ABC for which no map entry exists",
      t + "ABC +CNotifyList",
      t + "ABC +" + ptr,
      t + "ABC ?" + ptr + " already exists",
      t + "ABC -" + ptr2 + " unknown",
      "CQuoteHandler::UnadviseAll: ABC -" + ptr,
      t + "ABC -CNotifyList",
  };
  EXPECT_EQ(trace.Lines(1, "CQuoteHandler"), expected);
}

TEST(Handler, RequestsWaitForLogonAndResubscribeSendsEverySymbolOnce) {
  CFakeHost host;
  host.m_loggedIn = false;
  CQuoteHandler handler(&host);
  CRecordingNotify n1;
  CClientThread a;
  a.Run([&] {
    handler.Advise(&n1, "AAA", qsfLevelOne);
    handler.Advise(&n1, "BBB", qsfLevelOne);
    handler.Advise(&n1, "CCC", qsfLevelOne);
    handler.Unadvise(&n1, "CCC", qsfLevelOne);
  });
  EXPECT_TRUE(host.TakeSent().empty());
  host.m_loggedIn = true;
  {
    vok::CCriticalSectionLock lock(host.ConnectionLock());
    handler.Resubscribe();
  }
  auto sent = host.TakeSent();
  std::sort(sent.begin(), sent.end(), [](auto& x, auto& y) { return x.symbol < y.symbol; });
  EXPECT_EQ(sent, (std::vector<SentRequest>{{'H', "AAA", 20000}, {'H', "BBB", 20000}}));
  a.Run([&] { handler.UnadviseAll(&n1); });
}

TEST(Handler, StrayQuotesAreCountedAndTracedExceptEvery200th) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CTraceCapture trace;
  for (int i = 0; i < 402; ++i) Feed(handler, "1|1003=GONE;2002=1.5");
  const auto lines = trace.Lines(2, "stray");
  ASSERT_EQ(lines.size(), 399u);  // 2..200, 202..400, 402
  EXPECT_EQ(lines.front(), "CQuoteHandler: Received 2 stray GONE quotes. Recent deletion?");
  EXPECT_EQ(lines[198], "CQuoteHandler: Received 200 stray GONE quotes. Recent deletion?");
  EXPECT_EQ(lines[199], "CQuoteHandler: Received 202 stray GONE quotes. Recent deletion?");

  // A subscription clears the counter: the count starts again after the symbol leaves.
  CRecordingNotify n1;
  CClientThread a;
  a.Run([&] {
    handler.Advise(&n1, "GONE", qsfLevelOne);
    handler.Unadvise(&n1, "GONE", qsfLevelOne);
  });
  Feed(handler, "1|1003=GONE;2002=1.5");
  Feed(handler, "1|1003=GONE;2002=1.5");
  EXPECT_EQ(trace.Lines(2, "stray").back(), "CQuoteHandler: Received 2 stray GONE quotes. Recent deletion?");
}

TEST(Handler, CallbacksMayUnadviseThemselvesAndOthersDuringDelivery) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CRecordingNotify n1, n2, n3, n4;
  CClientThread a;
  // Delivery runs newest first: n4, n3, n2, n1. n3 removes itself and its successor n2; in the
  // second round n4 and n1 leave too.
  std::atomic<bool> secondRound{false};
  n3.m_onQuote = [&] {
    handler.Unadvise(&n3, "XYZ", qsfLevelOne);
    handler.Unadvise(&n2, "XYZ", qsfLevelOne);
  };
  n4.m_onQuote = [&] {
    if (secondRound) handler.UnadviseAll(&n4);
  };
  n1.m_onQuote = [&] {
    if (secondRound) handler.UnadviseAll(&n1);
  };
  a.Run([&] {
    for (auto* n : {&n1, &n2, &n3, &n4}) handler.Advise(n, "XYZ", qsfLevelOne);
  });
  Feed(handler, "1|1003=XYZ;2002=1");
  ASSERT_TRUE(WaitUntil([&] { return n1.Count() == 1; }));
  EXPECT_EQ(n4.Count(), 1u);
  EXPECT_EQ(n3.Count(), 1u);
  EXPECT_EQ(n2.Count(), 0u);
  a.Run([&] { EXPECT_EQ(handler.ThreadNotifyCount("XYZ"), 2); });

  // The last callbacks leave from inside delivery: the list and the record go, later data is stray.
  secondRound = true;
  Feed(handler, "1|1003=XYZ;2002=2");
  // n1 records the call before it unadvises: wait for the record to go, not for the count.
  ASSERT_TRUE(WaitUntil([&] { return !handler.HasMasterRecord("XYZ"); }));
  EXPECT_EQ(n1.Count(), 2u);
  EXPECT_EQ(n4.Count(), 2u);
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'H', "XYZ", 20000}, {'U', "XYZ", 20000}}));
  EXPECT_FALSE(handler.HasMasterRecord("XYZ"));
}

TEST(Handler, TeardownWarnsAboutSymbolsAndCallbacksStillAdvised) {
  CFakeHost host;
  CRecordingNotify n1;
  CTraceCapture trace;
  std::thread([&] {
    auto handler = std::make_unique<CQuoteHandler>(&host);
    handler->Advise(&n1, "LEFT", qsfLevelOne);
    handler.reset();
  }).join();
  EXPECT_EQ(trace.Lines(4, "global map"), std::vector<std::string>{"Warning: symbol LEFT still in global map"});
  char buffer[160];
  std::snprintf(buffer, sizeof buffer,
                "IVokQuotesNotify interface ptr 0x%llx still advised. Did you forget to Unadvise/UnadviseAll?",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&n1)));
  EXPECT_EQ(trace.Lines(4, "still advised"), std::vector<std::string>{buffer});
}

}  // namespace

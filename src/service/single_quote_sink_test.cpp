// Tests of the single-quote request over a real level 1 handler: a host's quit, quotes without
// prices, overlapping requests with the subscribe and unsubscribe they cause, and the module lock a
// sink holds. The answer from the cache is part of the library's client test.
#include "service/single_quote_sink.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "handlers/handler_test_support.h"
#include "handlers/quote_handler.h"
#include "platform/bstr.h"
#include "platform/message_loop.h"
#include "vkdll/vkdll.h"
#include "vokcommon/record_copy.h"

namespace {

using vok::test::CFakeHost;
using vok::test::CRecordingNotify;
using vok::test::CTraceCapture;
using vok::test::Feed;
using vok::test::SentRequest;
using vok::test::WaitUntil;

// A request's outcome, with the record it filled (freed on scope exit).
struct CResult {
  int filled = -1;
  QUOTERECORD rec{};
  ~CResult() { FreeQuoteRecord(rec); }
  std::string Symbol() const { return vok::CBstr::ToNarrow(rec.bstrSymbol); }
};

void Request(CQuoteHandler& handler, const char* symbol, LONG timeoutMs, CResult& out) {
  const vok::CBstr wide = vok::CBstr::FromNarrow(symbol);
  out.filled = GetSingleQuote(handler, wide.Get(), timeoutMs, &out.rec);
}

// Runs a request on its own thread; the thread's message target is known once it started.
struct CRequestThread {
  CRequestThread(CQuoteHandler& handler, const char* symbol, LONG timeoutMs) {
    std::promise<vok::CMessageTarget> started;
    auto future = started.get_future();
    thread = std::thread([&handler, symbol, timeoutMs, this, &started] {
      started.set_value(vok::CurrentMessageTarget());
      Request(handler, symbol, timeoutMs, result);
      done = true;
    });
    target = future.get();
  }
  ~CRequestThread() { Join(); }
  void Join() {
    if (thread.joinable()) thread.join();
  }

  CResult result;
  std::atomic<bool> done{false};
  vok::CMessageTarget target;
  std::thread thread;
};

// A host that asks its thread to quit while the request waits gets its answer at once, and its own
// loop still finds the quit afterwards.
TEST(SingleQuote, AQuitRequestEndsTheWaitAndIsLeftForTheHostsLoop) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CTraceCapture trace;
  vok::QuitMessageLoop();

  CResult result;
  Request(handler, "ABC", 20000, result);

  EXPECT_EQ(result.filled, 0);
  EXPECT_EQ(trace.Lines(VOKTRACE_STATE, "GetSingleQuote(ABC): quit requested").size(), 1u);
  EXPECT_TRUE(vok::QuitPending());
  EXPECT_EQ(vok::RunMessageLoop(vok::WaitHandle{}, 0), vok::LoopExit::Quit);
  EXPECT_FALSE(vok::QuitPending());
}

// Any one price is enough: the answer here carries the ask alone.
TEST(SingleQuote, AQuoteWithoutPricesDoesNotEndTheWaitButTheNextOneDoes) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CTraceCapture trace;
  const long locksBefore = vok::ModuleLockCount();

  CRequestThread request(handler, "QQQ", 20000);
  ASSERT_TRUE(WaitUntil([&] { return handler.HasMasterRecord("QQQ"); }));
  EXPECT_EQ(vok::ModuleLockCount(), locksBefore + 1);  // the live sink holds the library

  // A second subscriber on the requesting thread, advised after the sink: when it has seen an
  // update, the sink has seen the same one before it.
  CRecordingNotify after;
  std::atomic<bool> advised{false};
  ASSERT_TRUE(request.target.PostCall([&] {
    handler.Advise(&after, "QQQ", qsfLevelOne);
    advised = true;
  }));
  ASSERT_TRUE(WaitUntil([&] { return advised.load(); }));

  Feed(handler, "1|1003=QQQ;2021=Nasdaq Trust;2005=100");
  ASSERT_TRUE(WaitUntil([&] { return after.Count() >= 1; }));
  EXPECT_TRUE(trace.Lines(VOKTRACE_DETAIL, "setting event for QQQ").empty());
  EXPECT_FALSE(request.done);

  Feed(handler, "1|1003=QQQ;2004=101.5");
  request.Join();
  EXPECT_EQ(request.result.filled, 1);
  EXPECT_EQ(request.result.Symbol(), "QQQ");
  EXPECT_EQ(request.result.rec.dBid, 0);
  EXPECT_EQ(request.result.rec.dAsk, 101.5);
  EXPECT_EQ(trace.Lines(VOKTRACE_DETAIL, "setting event for QQQ").size(), 1u);
  EXPECT_EQ(trace.Lines(VOKTRACE_INFO, "GetSingleQuote(QQQ): OK b=0 a=101.5").size(), 1u);
  EXPECT_TRUE(trace.Lines(VOKTRACE_STATE, "timed out").empty());

  // The sink is unadvised; the other subscriber still holds the symbol (no unsubscribe yet).
  const std::vector<SentRequest> subscribed = {{'H', "QQQ", 20000}};
  EXPECT_EQ(host.TakeSent(), subscribed);
  EXPECT_EQ(handler.MasterThreadCount("QQQ"), 1);
  EXPECT_EQ(vok::ModuleLockCount(), locksBefore);
  handler.UnadviseAll(&after);  // a different thread's list: nothing to remove here
}

TEST(SingleQuote, OverlappingRequestsOnTwoThreadsEachUseAndRemoveTheirOwnSink) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  {
    CRequestThread first(handler, "MSFT", 20000);
    ASSERT_TRUE(WaitUntil([&] { return handler.MasterThreadCount("MSFT") == 1; }));
    CRequestThread second(handler, "MSFT", 20000);
    ASSERT_TRUE(WaitUntil([&] { return handler.MasterThreadCount("MSFT") == 2; }));

    Feed(handler, "1|1003=MSFT;2002=300.5;2003=300.25;2004=300.75");
    first.Join();
    second.Join();
    for (CRequestThread* request : {&first, &second}) {
      EXPECT_EQ(request->result.filled, 1);
      EXPECT_EQ(request->result.Symbol(), "MSFT");
      EXPECT_EQ(request->result.rec.dLast, 300.5);
    }
  }
  // One subscribe for the first sink, one unsubscribe when the last one left.
  const std::vector<SentRequest> expected = {{'H', "MSFT", 20000}, {'U', "MSFT", 20000}};
  EXPECT_EQ(host.TakeSent(), expected);
  EXPECT_FALSE(handler.HasMasterRecord("MSFT"));
}

}  // namespace

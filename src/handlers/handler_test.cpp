// The subscription bookkeeping shared by all handlers, driven mostly through the level 1 handler.
#include "handlers/handler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "handlers/handler_test_support.h"
#include "handlers/l2_handler.h"
#include "handlers/options_handler.h"
#include "handlers/quote_handler.h"
#include "platform/thread_local_slot.h"
#include "vokcommon/record_copy.h"

namespace {

using namespace vok::test;

TEST(Handler, FirstThreadSubscribesAndLastThreadUnsubscribes) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CRecordingNotify n1, n2, n3;
  CClientThread a, b;

  // Flags without the level 1 bit leave the handler untouched; so do removals of nothing.
  a.Run([&] {
    handler.Advise(&n1, "XYZ", qsfLevelTwo | qsfOptions);
    handler.Unadvise(&n1, "XYZ", qsfLevelOne);
    handler.UnadviseAll(&n1);
  });
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
}

TEST(Handler, TeardownWarnsOfWhatIsStillAdvised) {
  CFakeHost host;
  auto handler = std::make_unique<CQuoteHandler>(&host);
  CRecordingNotify n1;
  CTraceLines trace;
  CClientThread a;
  a.Run([&] {
    handler->Advise(&n1, "LEFT", qsfLevelOne);
    handler.reset();
  });
  char ptr[24];
  std::snprintf(ptr, sizeof ptr, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&n1)));
  EXPECT_EQ(trace.Lines(4, "global map"), std::vector<std::string>{"Warning: symbol LEFT still in global map"});
  EXPECT_EQ(trace.Lines(4, "still advised"),
            std::vector<std::string>{"IVokQuotesNotify interface ptr " + std::string(ptr) +
                                     " still advised. Did you forget to Unadvise/UnadviseAll?"});
}

TEST(Handler, StrayQuotesAreCountedForBoundedSymbolsAndTracedExceptEvery200th) {
  CFakeHost host;
  CQuoteHandler handler(&host);
  CTraceLines trace;
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

  // Only so many symbols are counted; those counted keep their cadence.
  for (std::size_t i = 1; i < CHandler::kMaxStraySymbols + 5; ++i) Feed(handler, "1|1003=S" + std::to_string(i));
  Feed(handler, "1|1003=LATE");
  Feed(handler, "1|1003=LATE");
  Feed(handler, "1|1003=GONE;2002=1.5");
  EXPECT_TRUE(trace.Lines(2, "stray LATE").empty());
  EXPECT_EQ(trace.Lines(2, "stray").back(), "CQuoteHandler: Received 3 stray GONE quotes. Recent deletion?");
  EXPECT_EQ(trace.Lines(4, "further symbols are not").size(), 1u);

  // A symbol longer than any real one is never subscribed, and its data is dropped before any
  // lookup, with one warning for the burst.
  const std::string longest(CHandler::kMaxSymbolLength, 'L');
  const std::string tooLong = longest + "X";
  host.TakeSent();
  a.Run([&] {
    handler.Advise(&n1, tooLong, qsfLevelOne);
    handler.Advise(&n1, longest, qsfLevelOne);
  });
  EXPECT_EQ(host.TakeSent(), (std::vector<SentRequest>{{'H', longest, 20000}}));
  EXPECT_FALSE(handler.HasMasterRecord(tooLong));
  for (int i = 0; i < 3; ++i) Feed(handler, "1|1003=" + tooLong + ";2002=1.5");
  EXPECT_EQ(trace.Lines(4, "dropping data for a symbol of 65 characters").size(), 1u);
  EXPECT_TRUE(trace.Lines(2, "stray " + tooLong).empty());
  a.Run([&] { handler.UnadviseAll(&n1); });
}

TEST(Handler, AdviseFailsAndChangesNothingWhenTheThreadCanHaveNoThreadMap) {
  // Use up the system's thread slots, so the next handler has none for its thread maps.
  std::vector<std::unique_ptr<vok::CThreadSlot>> slots;
  static int held = 0;
  for (;;) {
    auto slot = std::make_unique<vok::CThreadSlot>();
    if (!slot->SetValue(&held, [](void*) {})) break;
    slots.push_back(std::move(slot));
    ASSERT_LT(slots.size(), 100000u);
  }
  CFakeHost host;
  CQuoteHandler handler(&host);
  slots.clear();
  CRecordingNotify n1;
  CClientThread a;
  bool advised = true;
  a.Run([&] { advised = handler.Advise(&n1, "XYZ", qsfLevelOne); });
  EXPECT_FALSE(advised);
  EXPECT_FALSE(handler.HasMasterRecord("XYZ"));
  EXPECT_TRUE(host.TakeSent().empty());
}

// How one service is driven in the delivery test below.
struct DeliveryCase {
  const char* name;
  long flag;
  std::function<std::unique_ptr<CHandler>(IHandlerHost*)> make;
  std::function<std::string(int)> line;                          // an update carrying the value
  std::function<std::vector<double>(CRecordingNotify&)> values;  // the values a callback received
  std::function<void(CHandler&)> readCache;                      // a cache read that takes the handler lock
};

template <class Rec>
std::vector<double> Values(const std::vector<Received<Rec>>& got, double Rec::*field) {
  std::vector<double> values;
  for (const auto& r : got) values.push_back(r.rec.*field);
  return values;
}

std::vector<DeliveryCase> DeliveryCases() {
  return {
      {"level 1", qsfLevelOne, [](IHandlerHost* host) { return std::make_unique<CQuoteHandler>(host); },
       [](int v) { return "1|1003=XYZ;2002=" + std::to_string(v); },
       [](CRecordingNotify& n) { return Values(n.Quotes(), &QUOTERECORD::dLast); },
       [](CHandler& h) {
         QUOTERECORD rec{};
         static_cast<CQuoteHandler&>(h).GetCachedQuote(Wide(u"XYZ"), &rec);
         FreeQuoteRecord(rec);
       }},
      {"level 2", qsfLevelTwo, [](IHandlerHost* host) { return std::make_unique<CL2Handler>(host); },
       [](int v) { return "2|1003=XYZ;2016=MM;2017=20010;2019=100;2018=" + std::to_string(v); },
       [](CRecordingNotify& n) { return Values(n.Level2(), &LEVEL2RECORD::dPrice); },
       [](CHandler& h) { static_cast<CL2Handler&>(h).GetAggregateSize(Wide(u"XYZ"), 1, msBid); }},
      {"options", qsfOptions, [](IHandlerHost* host) { return std::make_unique<COptionsHandler>(host); },
       [](int v) { return "4|2034=XYZ;1003=+XYZ-A;2002=" + std::to_string(v); },
       [](CRecordingNotify& n) { return Values(n.Options(), &OPTIONSRECORD::dLast); },
       [](CHandler& h) {
         OPTIONSRECORD rec{};
         static_cast<COptionsHandler&>(h).GetCachedOptionsRecord(Wide(u"+XYZ-A"), &rec);
         FreeOptionsRecord(rec);
       }},
  };
}

TEST(Handler, CallbacksMayUnadviseThemselvesAndOthersDuringDeliveryAndDuringTheCachedCopy) {
  using Values = std::vector<double>;
  for (const DeliveryCase& c : DeliveryCases()) {
    SCOPED_TRACE(c.name);
    CFakeHost host;
    std::unique_ptr<CHandler> handler = c.make(&host);
    CHandler& h = *handler;
    // Meanwhile another thread keeps taking the connection lock and then the handler lock, as the
    // dispatcher does on a logon: a callback called under the handler lock that unadvised (and so
    // sent under the connection lock) would deadlock against it, and TSan would see the inversion.
    std::atomic<bool> stop{false};
    std::thread reader([&] {
      while (!stop) {
        vok::CCriticalSectionLock lock(host.ConnectionLock());
        c.readCache(h);
      }
    });

    CRecordingNotify n1, n2, n3, n4, late, solo;
    auto once = [](std::function<void()> call) {
      return [call = std::move(call), done = std::make_shared<std::atomic<bool>>(false)] {
        if (!done->exchange(true)) call();
      };
    };
    auto hook = [](CRecordingNotify& n, std::function<void()> call) { n.m_onCall = std::move(call); };
    // Delivery runs newest first: n4, n3, n2, n1. n3 removes itself and its successor n2.
    hook(n3, once([&] {
           h.Unadvise(&n3, "XYZ", c.flag);
           h.Unadvise(&n2, "XYZ", c.flag);
         }));
    CClientThread a, b;
    a.Run([&] {
      for (auto* n : {&n1, &n2, &n3, &n4}) h.Advise(n, "XYZ", c.flag);
    });
    Feed(h, c.line(1));
    Feed(h, c.line(2));
    ASSERT_TRUE(WaitUntil([&] { return c.values(n1).size() == 2; }));
    EXPECT_EQ(c.values(n4), (Values{1, 2}));
    EXPECT_EQ(c.values(n3), (Values{1}));
    EXPECT_EQ(c.values(n2), (Values{}));
    EXPECT_EQ(c.values(n1), (Values{1, 2}));

    // The only subscriber of another thread leaves while it receives the cached data: that thread
    // leaves the record, the symbol stays subscribed.
    hook(solo, once([&] { h.Unadvise(&solo, "XYZ", c.flag); }));
    b.Run([&] { h.Advise(&solo, "XYZ", c.flag); });
    EXPECT_EQ(c.values(solo), (Values{2}));
    EXPECT_EQ(h.MasterThreadCount("XYZ"), 1);

    hook(n4, once([&] { h.UnadviseAll(&n4); }));
    Feed(h, c.line(3));
    ASSERT_TRUE(WaitUntil([&] { return c.values(n1).size() == 3; }));
    EXPECT_EQ(c.values(n4), (Values{1, 2, 3}));
    a.Run([&] { EXPECT_EQ(h.ThreadNotifyCount("XYZ"), 1); });

    // A new subscriber that, while it receives the cached data, removes itself and the last other
    // callback: the record goes and the unsubscribe is sent from inside the callback.
    hook(late, once([&] {
           h.Unadvise(&late, "XYZ", c.flag);
           h.UnadviseAll(&n1);
         }));
    a.Run([&] {
      h.Advise(&late, "XYZ", c.flag);
      EXPECT_EQ(c.values(late), (Values{3}));
      EXPECT_EQ(h.ThreadNotifyCount("XYZ"), 0);
    });
    EXPECT_FALSE(h.HasMasterRecord("XYZ"));
    EXPECT_EQ(c.values(n1), (Values{1, 2, 3}));
    stop = true;
    reader.join();
    const auto sent = host.TakeSent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].type, 'U');
  }
}

}  // namespace

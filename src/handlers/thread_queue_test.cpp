// The per-thread dispatch queues: order, bounds, drain latency, handlers that go while items wait,
// nested drains.
#include "handlers/thread_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "handlers/handler.h"
#include "handlers/handler_test_support.h"
#include "handlers/thread_item.h"
#include "platform/bstr.h"
#include "vkdll/vkdll.h"

namespace {

using namespace vok::test;

std::atomic<int> g_destroyed{0};

// A print-like item that records its sequence number and counts its destruction. Prints are
// never conflated, so a queue that falls behind only ever drops the oldest of them.
class CTestItem final : public CThreadItem {
 public:
  CTestItem(CHandler* handler, int seq) : CThreadItem(handler, kTimeAndSales), m_seq(seq) {}
  const int m_seq;

 private:
  ~CTestItem() override { ++g_destroyed; }
};

// A level 1 item of `symbol` whose volume carries its sequence number.
CThreadItem* Quote(CHandler* handler, const char* symbol, int seq) {
  vok::CBstr text = vok::CBstr::FromNarrow(symbol);
  QUOTERECORD rec{};
  rec.bstrSymbol = text.Get();
  rec.lVolume = seq;
  return CQuoteThreadItem::Create(handler, rec);
}

// Sequence numbers delivered, per receiving thread, by every recording handler: what a handler
// delivered stays readable after it is gone.
class CDeliveryLog {
 public:
  void Clear() {
    std::lock_guard lock(m_mutex);
    m_delivered.clear();
  }
  void Add(int seq) {
    std::lock_guard lock(m_mutex);
    m_delivered[vok::CurrentThreadId()].push_back(seq);
  }
  std::vector<int> To(vok::ThreadId thread) {
    std::lock_guard lock(m_mutex);
    return m_delivered[thread];
  }
  std::size_t Total() {
    std::lock_guard lock(m_mutex);
    std::size_t n = 0;
    for (auto& [thread, seqs] : m_delivered) n += seqs.size();
    return n;
  }

 private:
  std::mutex m_mutex;
  std::map<vok::ThreadId, std::vector<int>> m_delivered;
};
CDeliveryLog g_log;

class CRecordingHandler final : public CHandler {
 public:
  CRecordingHandler() : CHandler(nullptr, Config{0, "CRecordingHandler", {}, 'S', 0, 1}) {}
  ~CRecordingHandler() override { CloseDelivery(); }
  void OnMessage(char, const VOKMessage&) override {}
  CNotifyList* CreateNotifyList() override { return new CQNotifyList(); }
  CMasterRecord* CreateMasterRecord() override { return new CMasterRecord(); }
  void OnThreadItem(CThreadItem* item) override {
    const auto* quote = item->GetKind() == CThreadItem::kQuote ? static_cast<CQuoteThreadItem*>(item) : nullptr;
    // A level 1 item reads its own copy of the symbol: the text it was made from is gone.
    EXPECT_TRUE(quote == nullptr || vok::CBstr::ToNarrow(quote->m_rec.bstrSymbol).size() == 1);
    const int seq = quote != nullptr ? quote->m_rec.lVolume : static_cast<CTestItem*>(item)->m_seq;
    g_log.Add(seq);
    // A copy: the call may destroy this handler, and nothing of it is touched afterwards.
    if (auto onItem = m_onItem) onItem(seq);
  }
  // Called on the receiving thread after each item is recorded, with no lock held.
  std::function<void(int seq)> m_onItem;
};

// Each test counts destructions and deliveries from zero.
class ThreadQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    g_destroyed = 0;
    g_log.Clear();
  }
};

// A client thread with a queue: nothing is delivered to it until it drains, unless `timer`.
vok::ThreadId WithQueue(CClientThread& thread, bool timer = false) {
  thread.Run([timer] {
    CThreadQueue* queue = CThreadQueue::CurrentQueue();
    if (timer) queue->StartTimer();
  });
  return thread.Id();
}

TEST_F(ThreadQueue, DeliversEachItemOnceOnEveryThreadInOrderAndFreesItOnce) {
  CRecordingHandler handler;
  CClientThread a, b;
  const vok::ThreadId both[] = {WithQueue(a, true), WithQueue(b, true)};
  constexpr int kItems = 500;
  for (int i = 0; i < kItems; ++i) {
    EXPECT_EQ(CThreadQueue::Distribute(new CTestItem(&handler, i), both), 2);
  }
  ASSERT_TRUE(WaitUntil([&] { return g_log.Total() == 2 * kItems; }));
  std::vector<int> expected(kItems);
  for (int i = 0; i < kItems; ++i) expected[i] = i;
  EXPECT_EQ(g_log.To(both[0]), expected);
  EXPECT_EQ(g_log.To(both[1]), expected);
  EXPECT_TRUE(WaitUntil([] { return g_destroyed == kItems; }));
}

TEST_F(ThreadQueue, ABatchQueuesItsItemsWhenFullOrClosedInOrderAndFreesThoseNobodyTakes) {
  CRecordingHandler handler;
  CClientThread a, b;
  const vok::ThreadId ida = WithQueue(a), idb = WithQueue(b), nobody = 0x7fffffff;
  const vok::ThreadId targets[][2] = {{ida, idb}, {ida, nobody}, {idb, nobody}, {nobody, nobody}};
  constexpr int kItems = 3 * static_cast<int>(CDistributionBatch::kMaxPending) + 8;
  std::vector<int> toA, toB;
  {
    CDistributionBatch batch;
    for (int i = 0; i < kItems; ++i) {
      CThreadQueue::Post(new CTestItem(&handler, i), targets[i % 4]);
      if (i % 4 < 2) toA.push_back(i);
      if (i % 4 == 0 || i % 4 == 2) toB.push_back(i);
    }
    // Three full batches are queued; the last eight wait for the batch to close.
    CQueueStats stats;
    ASSERT_TRUE(CThreadQueue::StatisticsOf(ida, stats));
    EXPECT_EQ(stats.depth, toA.size() - 4);
  }
  EXPECT_EQ(g_destroyed, kItems / 4);
  a.Drain();
  b.Drain();
  EXPECT_EQ(g_log.To(ida), toA);
  EXPECT_EQ(g_log.To(idb), toB);
  EXPECT_EQ(g_destroyed, kItems);
}

TEST_F(ThreadQueue, AThreadBehindKeepsEverythingUpToTheBoundThenTheNewestSnapshotsAndPrints) {
  CTraceLines trace;
  CRecordingHandler handler;
  CClientThread a;
  const vok::ThreadId one[] = {WithQueue(a)};
  std::vector<int> expected;
  // Up to the bound nothing is replaced, not even updates of one symbol.
  for (int i = 0; i < static_cast<int>(CThreadQueue::kConflateAt); ++i) {
    CThreadQueue::Distribute(Quote(&handler, "X", i), one);
    expected.push_back(i);
  }
  // Beyond it a snapshot replaces the waiting one of its symbol, in that one's place.
  CThreadQueue::Distribute(Quote(&handler, "Y", 70000), one);
  CThreadQueue::Distribute(Quote(&handler, "X", 70001), one);
  CThreadQueue::Distribute(Quote(&handler, "Y", 70002), one);
  expected.back() = 70001;
  expected.push_back(70002);
  // Prints are kept up to their own bound, then the oldest go.
  constexpr int kPrints = static_cast<int>(CThreadQueue::kMaxPrints) + 2;
  for (int i = 0; i < kPrints; ++i) CThreadQueue::Distribute(new CTestItem(&handler, 100000 + i), one);
  for (int i = 2; i < kPrints; ++i) expected.push_back(100000 + i);
  EXPECT_EQ(g_destroyed, 2);

  CQueueStats stats;
  ASSERT_TRUE(CThreadQueue::StatisticsOf(one[0], stats));
  EXPECT_EQ(stats.conflated, 2u);
  EXPECT_EQ(stats.printsDropped, 2u);
  EXPECT_EQ(stats.depth, expected.size());
  EXPECT_EQ(stats.highWater, expected.size());
  EXPECT_EQ(trace.Lines(VOKTRACE_WARNING, "oldest time and sales prints are dropped").size(), 1u);

  a.Drain();
  EXPECT_EQ(g_log.To(one[0]), expected);
  ASSERT_TRUE(CThreadQueue::StatisticsOf(one[0], stats));
  EXPECT_EQ(stats.depth, 0u);
  EXPECT_EQ(stats.highWater, expected.size());
}

TEST_F(ThreadQueue, DrainLatencyCountsFromEnqueueToDeliveryAndRanksPercentiles) {
  CRecordingHandler handler;
  CClientThread a;
  const vok::ThreadId one[] = {WithQueue(a)};
  // 90 items drained at once, then 10 that wait: the median is quick, p99 and the maximum are not.
  for (int i = 0; i < 90; ++i) CThreadQueue::Distribute(new CTestItem(&handler, i), one);
  a.Drain();
  for (int i = 90; i < 100; ++i) CThreadQueue::Distribute(new CTestItem(&handler, i), one);
  constexpr std::uint64_t kDelayNs = 200'000'000;
  std::this_thread::sleep_for(std::chrono::nanoseconds(kDelayNs));
  a.Drain();
  CQueueStats stats;
  ASSERT_TRUE(CThreadQueue::StatisticsOf(one[0], stats));
  const CLatencySummary& latency = stats.drainLatency;
  EXPECT_EQ(stats.delivered, 100u);
  // One item in eight carries a stamp; any ten in a row hold one, so a late one is in the sample.
  EXPECT_GE(latency.count, 100u / CThreadQueue::kLatencySampleEvery);
  EXPECT_LE(latency.count, 100u / CThreadQueue::kLatencySampleEvery + 1);
  EXPECT_LT(latency.p50Ns, kDelayNs);
  EXPECT_GE(latency.p99Ns, kDelayNs);
  EXPECT_LE(latency.p99Ns, latency.maxNs);
  // An item never stamped would count from the clock's start.
  EXPECT_LT(latency.maxNs, 60'000'000'000u);

  // Every duration falls in a bucket whose bound is at most a quarter above it, in order.
  for (std::uint64_t ns : {0ull, 3ull, 4ull, 7ull, 8ull, 9ull, 1000ull, 1023ull, 1024ull, 123456789ull, 1ull << 39}) {
    const std::size_t bucket = CLatencyHistogram::BucketOf(ns);
    EXPECT_GE(CLatencyHistogram::UpperBound(bucket), ns) << ns;
    EXPECT_LE(CLatencyHistogram::UpperBound(bucket), ns + ns / 4) << ns;
    if (bucket > 0) {
      EXPECT_LT(CLatencyHistogram::UpperBound(bucket - 1), ns) << ns;
    }
  }
  EXPECT_EQ(CLatencyHistogram::BucketOf(UINT64_MAX), CLatencyHistogram::kBuckets - 1);
}

TEST_F(ThreadQueue, NothingOfAHandlerIsDeliveredOnceItGoesAndItsGoingWaitsForDeliveriesUnderWay) {
  CClientThread a;
  const vok::ThreadId one[] = {WithQueue(a)};
  // Queued items go with their handler; the others are delivered as before.
  auto gone = std::make_unique<CRecordingHandler>();
  CRecordingHandler stays;
  for (int i = 0; i < 10; ++i) CThreadQueue::Distribute(new CTestItem(gone.get(), i), one);
  CThreadQueue::Distribute(new CTestItem(&stays, 10), one);
  gone.reset();
  EXPECT_EQ(g_destroyed, 10);
  a.Drain();
  EXPECT_EQ(g_log.Total(), 1u);

  // A delivery under way on the subscriber holds the handler's release until it returns; the item
  // taken with it is not delivered.
  auto busy = std::make_unique<CRecordingHandler>();
  std::atomic<bool> inside{false};
  std::atomic<bool> finish{false};
  busy->m_onItem = [&](int) {
    inside = true;
    while (!finish) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  CThreadQueue::Distribute(new CTestItem(busy.get(), 20), one);
  CThreadQueue::Distribute(new CTestItem(busy.get(), 21), one);
  a.Post([] { CThreadQueue::CurrentQueue()->Drain(); });
  ASSERT_TRUE(WaitUntil([&] { return inside.load(); }));
  std::atomic<bool> released{false};
  std::thread releaser([&] {
    busy.reset();
    released = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(released);
  finish = true;
  releaser.join();
  CThreadQueue::Distribute(new CTestItem(&stays, 22), one);
  a.Drain();
  EXPECT_EQ(g_log.To(one[0]), (std::vector<int>{10, 20, 22}));

  // Released from inside one of its own callbacks: no wait for itself, and nothing more of it.
  std::thread([&stays] {
    CThreadQueue& queue = *CThreadQueue::CurrentQueue();
    const vok::ThreadId self[] = {vok::CurrentThreadId()};
    auto handler = std::make_unique<CRecordingHandler>();
    handler->m_onItem = [&handler](int seq) {
      if (seq == 31) handler.reset();
    };
    for (int i = 30; i < 34; ++i) CThreadQueue::Distribute(new CTestItem(handler.get(), i), self);
    CThreadQueue::Distribute(new CTestItem(&stays, 34), self);
    queue.Drain();
    EXPECT_EQ(g_log.To(self[0]), (std::vector<int>{30, 31, 34}));
  }).join();
  EXPECT_TRUE(WaitUntil([] { return g_destroyed == 19; }));
}

TEST_F(ThreadQueue, ACallbackThatPumpsGoesOnWithTheNextItemsInOrderOnce) {
  std::thread([] {
    CRecordingHandler handler;
    CThreadQueue& queue = *CThreadQueue::CurrentQueue();
    const vok::ThreadId self[] = {vok::CurrentThreadId()};
    // A callback that waits modally pumps its messages, and so drains its queue from inside a
    // delivery. Item 6 is queued while the outer drain is under way: it must still come after 3..5.
    handler.m_onItem = [&](int seq) {
      if (seq != 2) return;
      CThreadQueue::Distribute(new CTestItem(&handler, 6), self);
      queue.Drain();
    };
    for (int i = 0; i < 6; ++i) CThreadQueue::Distribute(new CTestItem(&handler, i), self);
    queue.Drain();
    EXPECT_EQ(g_log.To(self[0]), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(g_destroyed, 7);
    queue.Drain();
    EXPECT_EQ(g_log.Total(), 7u);
  }).join();
}

TEST_F(ThreadQueue, ItemsForThreadsWithoutQueueOrLeftAtThreadEndAreFreed) {
  CRecordingHandler handler;
  const vok::ThreadId nobody = 0x7fffffff;
  EXPECT_EQ(CThreadQueue::Distribute(new CTestItem(&handler, 1), {&nobody, 1}), 0);
  EXPECT_EQ(CThreadQueue::Distribute(new CTestItem(&handler, 2), {}), 0);
  EXPECT_EQ(g_destroyed, 2);

  auto a = std::make_unique<CClientThread>();
  CClientThread b;
  const vok::ThreadId all[] = {WithQueue(*a), WithQueue(b), nobody};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(CThreadQueue::Distribute(new CTestItem(&handler, i), all), 2);
  b.Drain();
  EXPECT_EQ(g_log.To(all[1]).size(), 10u);
  EXPECT_EQ(g_destroyed, 2);  // a still holds all ten
  a.reset();                  // ends with its ten undelivered: released, not delivered
  EXPECT_EQ(g_destroyed, 12);
  EXPECT_TRUE(g_log.To(all[0]).empty());
}

TEST_F(ThreadQueue, ImmediateDeliveryWakesTheOwnerForEveryItemInOrderAndIsOffByDefault) {
  CRecordingHandler handler;
  constexpr int kItems = 2000;
  std::thread([&] {
    // No drain timer: only the queue's own wake-ups can deliver here.
    CThreadQueue& queue = *CThreadQueue::CurrentQueue();
    const vok::ThreadId self[] = {vok::CurrentThreadId()};
    CThreadQueue::Distribute(new CTestItem(&handler, 0), self);
    vok::PumpMessages();
    EXPECT_TRUE(g_log.To(self[0]).empty());

    // The item already waiting, then items from another thread while this one pumps.
    queue.SetImmediateDelivery(true);
    std::thread producer([&] {
      for (int i = 1; i < kItems; ++i) CThreadQueue::Distribute(new CTestItem(&handler, i), self);
    });
    EXPECT_EQ(vok::RunMessageLoop([&] { return g_log.Total() == kItems; }, 10000), vok::LoopExit::Stopped);
    producer.join();
    std::vector<int> expected(kItems);
    for (int i = 0; i < kItems; ++i) expected[i] = i;
    EXPECT_EQ(g_log.To(self[0]), expected);

    // Wake-ups posted while a drain already ran find nothing; once they are gone, off means off.
    vok::PumpMessages();
    queue.SetImmediateDelivery(false);
    CThreadQueue::Distribute(new CTestItem(&handler, kItems), self);
    vok::PumpMessages();
    EXPECT_EQ(g_log.Total(), static_cast<std::size_t>(kItems));
  }).join();
}

TEST_F(ThreadQueue, TimerRunsWhileAnySubscriptionCountsAndNeverGoesBelowZero) {
  std::thread([] {
    CThreadQueue& queue = *CThreadQueue::CurrentQueue();
    EXPECT_EQ(&queue, CThreadQueue::CurrentQueue());
    // A start (+1) or a stop (-1), the count it returns, and whether the timer runs then.
    const std::tuple<int, int, bool> steps[] = {{-1, 0, false}, {+1, 1, true}, {+1, 2, true},  {+1, 3, true},
                                                {-1, 2, true},  {-1, 1, true}, {-1, 0, false}, {-1, 0, false}};
    for (auto [step, count, running] : steps) {
      EXPECT_EQ(step > 0 ? queue.StartTimer() : queue.StopTimer(), count);
      EXPECT_EQ(queue.TimerRunning(), running) << count;
    }
  }).join();
}

}  // namespace

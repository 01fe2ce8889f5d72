#include "handlers/thread_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "handlers/handler.h"
#include "handlers/thread_item.h"
#include "platform/event.h"

namespace {

std::atomic<int> g_destroyed{0};

// An item that records its sequence number and counts its destruction.
class CTestItem final : public CThreadItem {
 public:
  CTestItem(CHandler* handler, int seq) : CThreadItem(handler, kQuote), m_seq(seq) {}
  const int m_seq;

 private:
  ~CTestItem() override { ++g_destroyed; }
};

// Records, per receiving thread, the sequence numbers delivered to it.
class CRecordingHandler final : public CHandler {
 public:
  CRecordingHandler() : CHandler(nullptr, Config{0, "CRecordingHandler", {}, 'S', 0, 1}) {}
  void OnMessage(char, const VOKMessage&) override {}
  CNotifyList* CreateNotifyList() override { return new CQNotifyList(); }
  CMasterRecord* CreateMasterRecord() override { return new CMasterRecord(); }
  void OnThreadItem(CThreadItem* item) override {
    const int seq = static_cast<CTestItem*>(item)->m_seq;
    {
      std::lock_guard lock(m_mutex);
      m_delivered[vok::CurrentThreadId()].push_back(seq);
    }
    if (m_onItem) m_onItem(seq);
  }
  std::vector<int> DeliveredTo(vok::ThreadId thread) {
    std::lock_guard lock(m_mutex);
    return m_delivered[thread];
  }
  // Called on the receiving thread after each item is recorded, with no lock held.
  std::function<void(int seq)> m_onItem;

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

// A subscriber thread: creates its queue, starts the drain timer, and pumps until told to stop.
// While `paused` it does not pump at all.
class CSubscriber {
 public:
  CSubscriber() {
    m_thread = std::thread([this] {
      CThreadQueue::CurrentQueue()->StartTimer();
      m_id = vok::CurrentThreadId();
      m_ready = true;
      while (!m_stop) {
        if (m_paused) {
          m_pauseSeen = true;
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
          continue;
        }
        m_pauseSeen = false;
        vok::RunMessageLoop([this] { return m_stop.load() || m_paused.load(); }, 20);
      }
    });
    while (!m_ready) std::this_thread::yield();
  }
  ~CSubscriber() { Stop(); }
  void Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  vok::ThreadId Id() const { return m_id; }
  // Stops pumping and returns once the thread has seen it: nothing is delivered until Resume.
  void Pause() {
    m_paused = true;
    while (!m_pauseSeen) std::this_thread::yield();
  }
  void Resume() { m_paused = false; }

 private:
  std::atomic<bool> m_paused{false};
  std::atomic<bool> m_pauseSeen{false};
  std::thread m_thread;
  std::atomic<vok::ThreadId> m_id{0};
  std::atomic<bool> m_ready{false};
  std::atomic<bool> m_stop{false};
};

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  for (int waited = 0; waited < timeoutMs; waited += 5) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

TEST(ThreadQueue, DeliversEachItemOnceOnEveryThreadInOrderAndFreesItOnce) {
  g_destroyed = 0;
  CRecordingHandler handler;
  CSubscriber a, b;
  const vok::ThreadId both[] = {a.Id(), b.Id()};
  constexpr int kItems = 500;
  for (int i = 0; i < kItems; ++i) {
    EXPECT_EQ(CThreadQueue::Distribute(new CTestItem(&handler, i), both), 2);
  }
  ASSERT_TRUE(WaitUntil([&] { return handler.Total() == 2 * kItems; }));
  std::vector<int> expected(kItems);
  for (int i = 0; i < kItems; ++i) expected[i] = i;
  EXPECT_EQ(handler.DeliveredTo(a.Id()), expected);
  EXPECT_EQ(handler.DeliveredTo(b.Id()), expected);
  EXPECT_TRUE(WaitUntil([] { return g_destroyed == kItems; }));
  EXPECT_EQ(g_destroyed, kItems);
}

TEST(ThreadQueue, ThreadThatStopsPumpingGetsEverythingInOrderOnItsNextTick) {
  g_destroyed = 0;
  CRecordingHandler handler;
  CSubscriber a;
  a.Pause();
  const vok::ThreadId one[] = {a.Id()};
  for (int i = 0; i < 100; ++i) CThreadQueue::Distribute(new CTestItem(&handler, i), one);
  EXPECT_EQ(handler.Total(), 0u);
  a.Resume();
  ASSERT_TRUE(WaitUntil([&] { return handler.Total() == 100; }));
  const auto got = handler.DeliveredTo(a.Id());
  for (int i = 0; i < 100; ++i) EXPECT_EQ(got[i], i);
}

TEST(ThreadQueue, ACallbackThatPumpsGoesOnWithTheNextItemsInOrderOnce) {
  g_destroyed = 0;
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
    EXPECT_EQ(handler.DeliveredTo(self[0]), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(g_destroyed, 7);
    queue.Drain();
    EXPECT_EQ(handler.Total(), 7u);
  }).join();
}

TEST(ThreadQueue, ItemsForThreadsWithoutQueueOrLeftAtThreadEndAreFreed) {
  g_destroyed = 0;
  CRecordingHandler handler;
  const vok::ThreadId nobody[] = {0x7fffffff};
  EXPECT_EQ(CThreadQueue::Distribute(new CTestItem(&handler, 1), nobody), 0);
  EXPECT_EQ(CThreadQueue::Distribute(new CTestItem(&handler, 2), {}), 0);
  EXPECT_EQ(g_destroyed, 2);

  CSubscriber a, b;
  a.Pause();
  const vok::ThreadId both[] = {a.Id(), b.Id(), nobody[0]};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(CThreadQueue::Distribute(new CTestItem(&handler, i), both), 2);
  ASSERT_TRUE(WaitUntil([&] { return handler.DeliveredTo(b.Id()).size() == 10; }));
  EXPECT_EQ(g_destroyed, 2);  // a still holds all ten
  a.Stop();                   // ends with its ten undelivered: released, not delivered
  EXPECT_EQ(g_destroyed, 12);
  EXPECT_TRUE(handler.DeliveredTo(a.Id()).empty());
}

TEST(ThreadQueue, TimerRunsWhileAnySubscriptionCountsAndNeverGoesBelowZero) {
  std::thread([] {
    CThreadQueue& queue = *CThreadQueue::CurrentQueue();
    EXPECT_EQ(&queue, CThreadQueue::CurrentQueue());
    EXPECT_EQ(queue.StopTimer(), 0);
    EXPECT_FALSE(queue.TimerRunning());
    EXPECT_EQ(queue.StartTimer(), 1);
    EXPECT_TRUE(queue.TimerRunning());
    EXPECT_EQ(queue.StartTimer(), 2);
    EXPECT_EQ(queue.StartTimer(), 3);
    EXPECT_EQ(queue.StopTimer(), 2);
    EXPECT_EQ(queue.StopTimer(), 1);
    EXPECT_TRUE(queue.TimerRunning());
    EXPECT_EQ(queue.StopTimer(), 0);
    EXPECT_FALSE(queue.TimerRunning());
    EXPECT_EQ(queue.StopTimer(), 0);
  }).join();
}

}  // namespace

// The application object's pump: batching, ordering, the current-object rule, the bound on its
// queue and the pump that stops itself from inside a dispatch; the timers run in every connection
// test. A fake consumer stands in for the service object.
#include "service/vok_quote_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "message/vok_message.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "service/vok_quotes_test_util.h"

namespace {

using vok::test::CTraceRecorder;
using vok::test::Eventually;

class CFakeConsumer final : public IQueueConsumer, public IDataDispatch {
 public:
  struct Seen {
    int sequence;
    std::uint64_t wakeup;
    vok::ThreadId thread;
  };
  bool TryAddRef() override { return true; }
  void ReleaseRef() override {}
  void OnConnectionMessage(const VOKMessage& message) override { Dispatch(message); }
  IDataDispatch& DataDispatch() override { return *this; }
  void Dispatch(const VOKMessage& message) override {
    int sequence = -1;
    message.GetInt(1, sequence);
    {
      std::lock_guard lock(m_mutex);
      m_seen.push_back({sequence, vok::App().DispatchWakeups(), vok::CurrentThreadId()});
    }
    if (sequence >= 0 && sequence / 1000000 < kSources) ++m_perSource[sequence / 1000000];
    if (m_onMessage) m_onMessage();
  }
  void OnHeartbeatTimer() override {}
  void OnReconnectTimer() override {
    if (m_onReconnect) m_onReconnect();
  }

  std::vector<Seen> SeenMessages() {
    std::lock_guard lock(m_mutex);
    return m_seen;
  }
  std::vector<int> Sequences() {
    std::vector<int> sequences;
    for (const Seen& seen : SeenMessages()) sequences.push_back(seen.sequence);
    return sequences;
  }
  std::size_t SeenCount() { return SeenMessages().size(); }

  // Messages seen per source: a sequence number s counts for source s / 1 000 000.
  static constexpr int kSources = 4;
  std::atomic<int> m_perSource[kSources] = {};
  std::function<void()> m_onMessage;
  std::function<void()> m_onReconnect;

 private:
  std::mutex m_mutex;
  std::vector<Seen> m_seen;
};

std::unique_ptr<VOKMessage> Numbered(int sequence) {
  auto message = std::make_unique<VOKMessage>();
  message->SetType('1');
  message->SetInt(1, sequence);
  return message;
}

// Every test leaves the process-wide application object as it found it: no pump, no current.
class QuoteApp : public ::testing::Test {
 protected:
  void TearDown() override {
    vok::App().EndProcessMessages();
    vok::App().ClearCurrent(&m_consumer);
    vok::App().ReconnectTimer().Cancel();
  }
  CFakeConsumer m_consumer;
};

TEST_F(QuoteApp, AThousandQueuedMessagesAreHandledInOrderIn501And499) {
  vok::App().SetCurrent(&m_consumer);
  for (int i = 0; i < 1000; ++i) vok::App().QueueMessage(Numbered(i));
  ASSERT_EQ(vok::App().QueuedCount(), 1000u);
  const std::uint64_t before = vok::App().DispatchWakeups();
  vok::App().BeginProcessMessages();
  ASSERT_TRUE(Eventually([&] { return m_consumer.SeenCount() == 1000; }));

  const auto seen = m_consumer.SeenMessages();
  const vok::ThreadId pump = vok::App().PumpThreadId();
  EXPECT_NE(pump, vok::CurrentThreadId());
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(seen[i].sequence, i);
    EXPECT_EQ(seen[i].thread, pump);
    // The first 501 in the first wake-up, the other 499 in the next one.
    EXPECT_EQ(seen[i].wakeup, before + (i < CVokQuoteApp::kBatchLimit ? 0 : 1)) << i;
  }
  EXPECT_TRUE(Eventually([&] { return vok::App().DispatchWakeups() == before + 2; }));
}

TEST_F(QuoteApp, EachMessageGoesToTheObjectCurrentWhenItIsHandledAndWithoutOneIsDroppedOrWaits) {
  CFakeConsumer next;
  // The first message makes another object current; the two behind it, taken in the same batch,
  // must reach the new one.
  m_consumer.m_onMessage = [&] {
    m_consumer.m_onMessage = nullptr;
    vok::App().SetCurrent(&next);
  };
  vok::App().SetCurrent(&m_consumer);
  for (int i = 1; i <= 3; ++i) vok::App().QueueMessage(Numbered(i));
  vok::App().BeginProcessMessages();
  ASSERT_TRUE(Eventually([&] { return next.SeenCount() == 2; }));
  vok::App().ClearCurrent(&next);
  EXPECT_EQ(m_consumer.Sequences(), std::vector<int>{1});
  EXPECT_EQ(next.Sequences(), (std::vector<int>{2, 3}));

  // Queued with no current object: destroyed at once.
  vok::App().QueueMessage(Numbered(4));
  EXPECT_EQ(vok::App().QueuedCount(), 0u);

  // Queued while the pump is busy elsewhere, then the object goes: the message stays queued.
  vok::CEvent release(vok::EventReset::Manual);
  vok::CEvent inside(vok::EventReset::Manual);
  m_consumer.m_onReconnect = [&] {
    inside.Set();
    release.Wait();
  };
  vok::App().SetCurrent(&m_consumer);
  vok::App().ReconnectTimer().SetOnceOffRelative(1);
  ASSERT_TRUE(inside.Wait(10000));
  vok::App().QueueMessage(Numbered(5));
  vok::App().ClearCurrent(&m_consumer);
  release.Set();
  // Without an object nothing can take it, however long the pump runs.
  EXPECT_EQ(vok::App().QueuedCount(), 1u);
  EXPECT_EQ(m_consumer.SeenCount(), 1u);

  // The next object and the next message release it, in order.
  vok::App().SetCurrent(&m_consumer);
  vok::App().QueueMessage(Numbered(6));
  ASSERT_TRUE(Eventually([&] { return m_consumer.SeenCount() == 3; }));
  EXPECT_EQ(m_consumer.Sequences(), (std::vector<int>{1, 5, 6}));
}

TEST_F(QuoteApp, AMessageQueuedAsThePumpGoesIdleIsStillHandled) {
  // Short bursts, each awaited: the pump goes idle again and again just as messages arrive. A message
  // left behind a waiting pump stays there, and the wait for its burst runs out.
  constexpr int kBursts = 20000;
  vok::App().SetCurrent(&m_consumer);
  vok::App().BeginProcessMessages();
  int queued = 0;
  for (int burst = 0; burst < kBursts; ++burst) {
    for (int i = 0; i <= burst % 3; ++i) vok::App().QueueMessage(Numbered(queued++));
    // Spun, not slept: the next burst then comes while the pump is on its way to waiting.
    const std::uint64_t end = vok::MonotonicMs() + 5000;
    while (m_consumer.m_perSource[0].load() != queued && vok::MonotonicMs() < end) std::this_thread::yield();
    ASSERT_EQ(m_consumer.m_perSource[0].load(), queued) << "burst " << burst;
  }
  const auto seen = m_consumer.Sequences();
  for (int i = 0; i < queued; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
}

// A stop from inside a dispatch ends the pump after it. Unload may stop the pump while a dispatch
// holds the last reference of a service object, whose release stops the pump too: both must return.
TEST_F(QuoteApp, StopsFromInsideADispatchAloneOrWhileAnotherThreadStopsThePump) {
  CTraceRecorder trace;
  vok::CEvent release;
  std::atomic<bool> wait{false};
  m_consumer.m_onMessage = [&] {
    if (wait) release.Wait(10000);
    vok::App().EndProcessMessages();
  };
  vok::App().SetCurrent(&m_consumer);
  vok::App().QueueMessage(Numbered(1));
  vok::App().QueueMessage(Numbered(2));
  vok::App().BeginProcessMessages();
  ASSERT_TRUE(trace.WaitFor("-Q- Queue thread returning."));
  EXPECT_FALSE(vok::App().HasPumpThread());
  // The stop took effect before the second message: it was discarded with the queue.
  EXPECT_EQ(m_consumer.SeenCount(), 1u);
  EXPECT_EQ(vok::App().QueuedCount(), 0u);
  EXPECT_EQ(trace.Count("-Q- Waiting for queue thread end..."), 0);

  wait = true;
  vok::App().BeginProcessMessages();
  vok::App().QueueMessage(Numbered(3));
  ASSERT_TRUE(Eventually([&] { return m_consumer.SeenCount() == 2; }));
  std::thread unload([] { vok::App().EndProcessMessages(); });
  ASSERT_TRUE(trace.WaitFor("-Q- Waiting for queue thread end..."));
  release.Set();
  unload.join();
  EXPECT_FALSE(vok::App().HasPumpThread());
}

TEST_F(QuoteApp, AFullQueueHoldsReceivedMessagesBackUntilThereIsRoomOrTheWaitMustEnd) {
  constexpr int kMax = static_cast<int>(CVokQuoteApp::kMaxQueuedMessages);
  vok::CEvent release(vok::EventReset::Manual);
  m_consumer.m_onMessage = [&] { release.Wait(); };
  vok::App().SetCurrent(&m_consumer);
  vok::App().BeginProcessMessages();
  // A reader thread queuing `count` messages from `first` on, one by one or `perRead` at a time as
  // the lines of one read; counts in `taken` how many were taken.
  std::atomic<int> taken{0};
  auto reader = [&](int first, int count, const std::atomic<bool>& abandon, int perRead = 1) {
    return std::thread([&, first, count, perRead] {
      std::vector<IQuoteMessageSink::SReceived> read;
      for (int i = first; i < first + count; i += perRead) {
        const int end = std::min(i + perRead, first + count);
        if (perRead == 1) {
          taken += vok::App().QueueReceived(Numbered(i), 100, abandon) ? 1 : 0;
          continue;
        }
        for (int j = i; j < end; ++j) read.push_back({Numbered(j), 100});
        taken += vok::App().QueueReceivedBatch(read, abandon) ? end - i : 0;
      }
    });
  };
  auto waitsAtTheBound = [&] {
    return Eventually([&] { return vok::App().WaitingProducers() == 1; }) && vok::App().QueuedCount() == kMax;
  };

  // The pump is stuck in its first message: the reader fills the queue to the bound and waits,
  // in the middle of a read's lines.
  std::atomic<bool> open{false};
  std::thread first = reader(0, kMax + 600, open, 700);
  ASSERT_TRUE(waitsAtTheBound());
  // Room lets it go on: nothing is dropped, and the order holds.
  release.Set();
  first.join();
  ASSERT_TRUE(Eventually([&] { return m_consumer.SeenCount() == static_cast<std::size_t>(kMax + 600); }));
  const auto seen = m_consumer.SeenMessages();
  for (int i = 0; i < kMax + 600; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)].sequence, i);
  EXPECT_EQ(taken.load(), kMax + 600);

  // A closing connection ends its reader's wait; the message is given up.
  release.Reset();
  std::atomic<bool> closing{false};
  std::thread second = reader(1000000, kMax + 600, closing);
  ASSERT_TRUE(waitsAtTheBound());
  closing = true;
  vok::App().ReleaseWaiters();
  second.join();
  EXPECT_LT(taken.load(), 2 * (kMax + 600));

  // So does the end of the pump, before it empties the queue.
  std::atomic<bool> never{false};
  std::thread third = reader(2000000, 1, never);
  ASSERT_TRUE(waitsAtTheBound());
  std::thread stopper([] { vok::App().EndProcessMessages(); });
  ASSERT_TRUE(Eventually([&] { return vok::App().WaitingProducers() == 0; }));
  release.Set();
  stopper.join();
  third.join();
  EXPECT_EQ(m_consumer.m_perSource[2].load(), 0);
}

}  // namespace

// Dispatch queue benchmarks: how many work items per second one producer moves through Distribute
// to 1 and 4 subscriber threads that pump their own message loops (drained by their 60 ms timers),
// and the delay from Distribute to delivery at a steady 10 000 items per second.
// Run: build/linux/bench/dispatch_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "handlers/handler.h"
#include "handlers/notify_list.h"
#include "handlers/thread_item.h"
#include "handlers/thread_queue.h"
#include "platform/message_loop.h"

namespace {

using Clock = std::chrono::steady_clock;

class CStampedItem final : public CThreadItem {
 public:
  CStampedItem(CHandler* handler, Clock::time_point stamp) : CThreadItem(handler, kQuote), m_stamp(stamp) {}
  const Clock::time_point m_stamp;

 private:
  ~CStampedItem() override = default;
};

class CCountingHandler final : public CHandler {
 public:
  CCountingHandler() : CHandler(nullptr, Config{0, "CCountingHandler", {}, 'S', 0, 1}) {}
  void OnMessage(char, const VOKMessage&) override {}
  CNotifyList* CreateNotifyList() override { return new CQNotifyList(); }
  CMasterRecord* CreateMasterRecord() override { return new CMasterRecord(); }
  void OnThreadItem(CThreadItem* item) override {
    if (m_recordDelay) {
      const auto delay = Clock::now() - static_cast<CStampedItem*>(item)->m_stamp;
      std::lock_guard lock(m_mutex);
      m_delaysUs.push_back(std::chrono::duration<double, std::micro>(delay).count());
    }
    m_delivered.fetch_add(1, std::memory_order_relaxed);
  }
  std::atomic<long> m_delivered{0};
  bool m_recordDelay = false;
  std::mutex m_mutex;
  std::vector<double> m_delaysUs;
};

// Subscriber threads that pump until stopped.
class CSubscribers {
 public:
  explicit CSubscribers(int count) {
    for (int i = 0; i < count; ++i) {
      m_threads.emplace_back([this] {
        CThreadQueue::CurrentQueue()->StartTimer();
        {
          std::lock_guard lock(m_mutex);
          m_ids.push_back(vok::CurrentThreadId());
        }
        vok::RunMessageLoop([this] { return m_stop.load(); });
      });
    }
    while (Ids().size() < static_cast<std::size_t>(count)) std::this_thread::yield();
  }
  ~CSubscribers() {
    m_stop = true;
    for (auto& thread : m_threads) thread.join();
  }
  std::vector<vok::ThreadId> Ids() {
    std::lock_guard lock(m_mutex);
    return m_ids;
  }

 private:
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::vector<vok::ThreadId> m_ids;
  std::vector<std::thread> m_threads;
};

void BM_DistributeThroughput(benchmark::State& state) {
  const int subscribers = static_cast<int>(state.range(0));
  constexpr long kBatch = 200000;
  CCountingHandler handler;
  CSubscribers threads(subscribers);
  const std::vector<vok::ThreadId> ids = threads.Ids();
  long expected = 0;
  for (auto _ : state) {
    for (long i = 0; i < kBatch; ++i) CThreadQueue::Distribute(new CStampedItem(&handler, {}), ids);
    expected += kBatch * subscribers;
    while (handler.m_delivered.load(std::memory_order_relaxed) < expected) std::this_thread::yield();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.counters["deliveries_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kBatch * subscribers), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DistributeThroughput)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_DeliveryDelayAt10kPerSecond(benchmark::State& state) {
  constexpr int kItems = 10000;
  constexpr auto kSpacing = std::chrono::microseconds(100);
  CCountingHandler handler;
  handler.m_recordDelay = true;
  CSubscribers threads(1);
  const std::vector<vok::ThreadId> ids = threads.Ids();
  long expected = 0;
  for (auto _ : state) {
    auto next = Clock::now();
    for (int i = 0; i < kItems; ++i) {
      while (Clock::now() < next) {
      }
      CThreadQueue::Distribute(new CStampedItem(&handler, Clock::now()), ids);
      next += kSpacing;
    }
    expected += kItems;
    while (handler.m_delivered.load() < expected) std::this_thread::yield();
  }
  std::vector<double> delays;
  {
    std::lock_guard lock(handler.m_mutex);
    delays = handler.m_delaysUs;
  }
  std::sort(delays.begin(), delays.end());
  state.counters["p50_ms"] = delays[delays.size() / 2] / 1000.0;
  state.counters["p99_ms"] = delays[delays.size() * 99 / 100] / 1000.0;
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_DeliveryDelayAt10kPerSecond)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

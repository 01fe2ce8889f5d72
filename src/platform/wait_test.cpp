// Events and multi-handle waits across real threads, with their time-outs. The waitable timers are
// the connection's reconnect and heartbeat timers, run by the service's tests.
#include "platform/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "platform/thread.h"

namespace vok {
namespace {

TEST(WaitTest, AutoResetEventWakesExactlyOneOfSeveralThreads) {
  CEvent event(EventReset::Auto);
  CEvent done(EventReset::Manual);
  std::atomic<int> woken{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      if (WaitForAny({event.Handle(), done.Handle()}, 5000) == 0) ++woken;
    });
  }
  event.Set();
  SleepMs(200);
  EXPECT_EQ(woken.load(), 1);
  done.Set();
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(woken.load(), 1);
}

// Auto-reset events release one wait however often they were set; manual ones stay set until reset.
TEST(WaitTest, WaitForAnyReportsFirstSignalledHandleOrTimeout) {
  CEvent first(EventReset::Auto), second(EventReset::Auto), third(EventReset::Manual);
  const WaitHandle handles[] = {first.Handle(), second.Handle(), third.Handle()};
  EXPECT_TRUE(CEvent(EventReset::Manual, true).Wait(0));

  std::uint64_t start = MonotonicMs();
  EXPECT_EQ(WaitForAny(handles, 100), kWaitTimeout);
  std::uint64_t elapsed = MonotonicMs() - start;
  EXPECT_GE(elapsed, 95u);
  EXPECT_LT(elapsed, 2000u);

  second.Set();
  second.Set();
  third.Set();
  EXPECT_EQ(WaitForAny(handles, 0), 1u);  // lowest signalled index wins
  EXPECT_EQ(WaitForAny(handles, 0), 2u);  // second was consumed, third is manual
  EXPECT_EQ(WaitForAny(handles, 0), 2u);

  std::thread setter([&] {
    SleepMs(50);
    first.Set();
  });
  third.Reset();
  start = MonotonicMs();
  EXPECT_EQ(WaitForAny(handles, 5000), 0u);
  EXPECT_LT(MonotonicMs() - start, 2000u);
  setter.join();

  EXPECT_EQ(WaitForAny(std::span<const WaitHandle>(), 0), kWaitFailed);
  EXPECT_EQ(WaitForOne(WaitHandle{}, 0), kWaitFailed);
}

}  // namespace
}  // namespace vok

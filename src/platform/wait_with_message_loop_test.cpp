#include "platform/wait_with_message_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/event.h"
#include "platform/message_loop.h"
#include "platform/thread.h"

namespace {

TEST(WaitWithMessageLoop, KeepsDispatchingWhileWaitingAndReturnsOnTheHandle) {
  vok::CEvent done(vok::EventReset::Manual);
  int ticks = 0;
  std::atomic<int> posted{0};
  const vok::ThreadId self = vok::CurrentThreadId();
  const vok::ThreadTimerId timer = vok::SetThreadTimer(10, [&] {
    EXPECT_EQ(vok::CurrentThreadId(), self);
    ++ticks;
  });
  const vok::CMessageTarget target = vok::CurrentMessageTarget();
  std::thread other([&] {
    // Each call must be delivered by the waiting thread before the next is posted.
    for (int i = 0; i < 5; ++i) {
      target.PostCall([&] { ++posted; });
      for (int waited = 0; posted <= i && waited < 5000; waited += 5) vok::SleepMs(5);
    }
    vok::SleepMs(40);
    done.Set();
  });
  EXPECT_EQ(vok::WaitWithMessageLoop(done.Handle(), 10000), vok::kWaitObject0);
  other.join();
  vok::KillThreadTimer(timer);
  // Calls posted before the signal were all delivered by the wait; the timer ran meanwhile.
  EXPECT_EQ(posted, 5);
  EXPECT_GE(ticks, 3);
}

TEST(WaitWithMessageLoop, TimesOutWhenNothingSignals) {
  vok::CEvent never;
  const auto start = vok::MonotonicMs();
  EXPECT_EQ(vok::WaitWithMessageLoop(never.Handle(), 50), vok::kWaitTimeout);
  EXPECT_GE(vok::MonotonicMs() - start, 45u);
  vok::CEvent already(vok::EventReset::Manual, true);
  EXPECT_EQ(vok::WaitWithMessageLoop(already.Handle(), 0), vok::kWaitObject0);
}

}  // namespace

// Waiting for a handle while the thread's posted calls, timers and quit requests keep flowing.
#include "platform/wait_with_message_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "platform/message_loop.h"
#include "platform/thread.h"

#ifdef _WIN32
#include <windows.h>
#endif

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

// A quit that arrives during the wait ends it, and stays for the thread's own loop
// (RunMessageLoop here) to take.
TEST(WaitWithMessageLoop, AQuitEndsTheWaitAndIsLeftForTheThreadsOwnLoop) {
  vok::CEvent never;
  const vok::CMessageTarget self = vok::CurrentMessageTarget();
  std::vector<int> order;
  self.PostCall([&] {
    order.push_back(1);
    vok::QuitMessageLoop();
  });
  self.PostCall([&] { order.push_back(2); });
  EXPECT_EQ(vok::WaitWithMessageLoop(never.Handle(), 10000), vok::kWaitQuit);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_TRUE(vok::QuitPending());
  // A later wait meets the same request at once; the thread's loop takes it.
  EXPECT_EQ(vok::WaitWithMessageLoop(never.Handle(), 10000), vok::kWaitQuit);
  EXPECT_EQ(vok::RunMessageLoop(vok::WaitHandle{}, 5000), vok::LoopExit::Quit);
  EXPECT_FALSE(vok::QuitPending());
  EXPECT_EQ(vok::WaitWithMessageLoop(never.Handle(), 20), vok::kWaitTimeout);
  vok::CEvent already(vok::EventReset::Manual, true);
  EXPECT_EQ(vok::WaitWithMessageLoop(already.Handle(), 0), vok::kWaitObject0);
}

#ifdef _WIN32
TEST(WaitWithMessageLoop, WmQuitReachesTheHostsGetMessageLoopWithItsExitCode) {
  vok::CEvent never;
  ::PostQuitMessage(42);
  EXPECT_EQ(vok::WaitWithMessageLoop(never.Handle(), 10000), vok::kWaitQuit);
  MSG msg{};
  // Checked first without removing it, so that a lost quit fails here instead of blocking below.
  ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
  EXPECT_EQ(::GetMessageW(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 42u);
}
#endif

}  // namespace

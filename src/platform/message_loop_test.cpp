// The thread message loop: posted calls and thread timers run on their own thread only, from
// PumpMessages or RunMessageLoop, or from the client's own loop.
#include "platform/message_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/event.h"
#include "platform/thread.h"
#include "platform/thread_handle.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vok {
namespace {

// A thread that runs its message loop until told to stop, exposing its target.
class CLoopThread {
 public:
  CLoopThread() {
    m_thread.Start([this] {
      m_target = CurrentMessageTarget();
      m_id = CurrentThreadId();
      m_ready.Set();
      RunMessageLoop(m_stop.Handle());
    });
    m_ready.Wait();
  }
  ~CLoopThread() {
    m_stop.Set();
    m_thread.Join();
  }
  CMessageTarget m_target;
  ThreadId m_id = 0;
  CEvent m_ready{EventReset::Manual}, m_stop{EventReset::Manual};
  CThreadHandle m_thread;
};

TEST(MessageLoopTest, PostedCallsRunInOrderOnTheTargetThreadOnly) {
  CLoopThread loop;
  std::mutex lock;
  std::vector<std::pair<int, ThreadId>> calls, expected;
  CEvent done;
  for (int i = 0; i < 20; ++i) {
    expected.emplace_back(i, loop.m_id);
    ASSERT_TRUE(loop.m_target.PostCall([&, i] {
      std::lock_guard<std::mutex> guard(lock);
      calls.emplace_back(i, CurrentThreadId());
      if (i == 19) done.Set();
    }));
  }
  ASSERT_TRUE(done.Wait(5000));
  std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(calls, expected);
  // Once the thread has ended, or without a thread, posting fails.
  CMessageTarget ended;
  CThreadHandle thread;
  thread.Start([&] { ended = CurrentMessageTarget(); });
  thread.Join();
  EXPECT_FALSE(ended.PostCall([] {}));
  EXPECT_FALSE(CMessageTarget().PostCall([] {}));
}

TEST(MessageLoopTest, ThreadTimersFireOnlyWhereSetAndStopWhenKilled) {
  std::atomic<int> mine{0};
  std::atomic<int> other{0};
  std::atomic<ThreadId> firedOn{0};
  CEvent otherStarted(EventReset::Manual), stopOther(EventReset::Manual);
  CThreadHandle otherThread;
  // The other thread pumps all the time but has no timer: it must never run ours.
  otherThread.Start([&] {
    otherStarted.Set();
    while (!stopOther.Wait(0)) {
      other += static_cast<int>(PumpMessages());
      SleepMs(5);
    }
  });
  otherStarted.Wait();

  const ThreadTimerId id = SetThreadTimer(20, [&] {
    ++mine;
    firedOn = CurrentThreadId();
  });
  ASSERT_NE(id, 0u);
  SleepMs(100);
  EXPECT_EQ(mine.load(), 0);  // nothing runs until this thread pumps
  EXPECT_EQ(RunMessageLoop([&] { return mine >= 3; }, 5000), LoopExit::Stopped);
  EXPECT_EQ(firedOn.load(), CurrentThreadId());
  EXPECT_TRUE(KillThreadTimer(id));
  EXPECT_FALSE(KillThreadTimer(id));
  const int count = mine;
  EXPECT_EQ(RunMessageLoop(WaitHandle{}, 100), LoopExit::Timeout);
  EXPECT_EQ(mine.load(), count);

  stopOther.Set();
  otherThread.Join();
  EXPECT_EQ(other.load(), 0);

  // A callback may kill its own timer.
  int fired = 0;
  ThreadTimerId self = 0;
  self = SetThreadTimer(10, [&] {
    ++fired;
    KillThreadTimer(self);
  });
  EXPECT_EQ(RunMessageLoop(WaitHandle{}, 150), LoopExit::Timeout);
  EXPECT_EQ(fired, 1);
}

#ifdef _WIN32
TEST(MessageLoopTest, ClientsOwnWindowsMessageLoopDrivesTimersAndPostedCalls) {
  int ticks = 0;
  bool posted = false;
  const ThreadTimerId id = SetThreadTimer(15, [&] { ++ticks; });
  CurrentMessageTarget().PostCall([&] { posted = true; });
  MSG msg;
  const std::uint64_t deadline = MonotonicMs() + 5000;
  while ((ticks < 2 || !posted) && MonotonicMs() < deadline && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  EXPECT_GE(ticks, 2);
  EXPECT_TRUE(posted);
  EXPECT_TRUE(KillThreadTimer(id));
}
#else
TEST(MessageLoopTest, MessageLoopFdIsReadableWhileInputIsPending) {
  PumpMessages();
  const WaitHandle loopFd{MessageLoopFd(), false};
  EXPECT_EQ(WaitForOne(loopFd, 0), kWaitTimeout);
  CurrentMessageTarget().PostCall([] {});
  EXPECT_EQ(WaitForOne(loopFd, 0), kWaitObject0);  // and stays readable until pumped
  EXPECT_EQ(PumpMessages(), 1u);
  EXPECT_EQ(WaitForOne(loopFd, 0), kWaitTimeout);
}
#endif

}  // namespace
}  // namespace vok

// CTimerQueue: timers named by user info 1, deletion, and absolute due times out of range.
#include "connection/timer_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "connection/timer_test_util.h"
#include "platform/thread.h"

namespace {

using namespace vok::test;

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// A number names one timer of a queue; deleting twice, by number or by event, is traced and
// refused; a call for a deleted event never reaches the listener; the listener is held while its
// timer lives.
TEST(TimerQueue, TimersAreNamedByUserInfo1AndDeletedOnce) {
  CTraceLines trace;
  CCountingListener listener;
  {
    CTimerQueue queue;
    CTimerQueueEvent* first = nullptr;
    ASSERT_TRUE(queue.CreateTimer(&first, &listener, 7, 70, 10, 10, 0));
    EXPECT_EQ(first->GetUserInfo2(), 70u);
    CTimerQueueEvent* second = reinterpret_cast<CTimerQueueEvent*>(1);
    EXPECT_FALSE(queue.CreateTimer(&second, &listener, 7, 71, 10, 10, 0));
    EXPECT_EQ(second, nullptr);
    const std::string mapped = "already mapped to event " + Hex(first) + "," + Hex(first->GetTimerHandle());
    EXPECT_EQ(trace.Lines(4, "CTimerQueue::CreateTimer, dwUserInfo1=7 " + mapped).size(), 1u);
    EXPECT_TRUE(listener.WaitForCalls(3));  // the first timer keeps running
    first->Release();

    CTimerQueueEvent* event = nullptr;
    ASSERT_TRUE(queue.CreateTimer(&event, &listener, 3, 0, 3600000, 0, 0));
    const std::string handle = Hex(event->GetTimerHandle());
    EXPECT_TRUE(queue.DeleteTimer(event, true));
    EXPECT_FALSE(queue.DeleteTimer(event, true));
    EXPECT_EQ(trace.Lines(1, "CTimerQueue::DeleteTimer: failed to resolve hTimer=" + handle + "!").size(), 1u);
    EXPECT_FALSE(queue.DeleteTimerByUserInfo1(3, false));
    EXPECT_EQ(trace.Lines(1, "CTimerQueue::DeleteTimerByUserInfo1: failed to find event id 3").size(), 1u);
    // A call the system started just before the deletion arrives after it.
    const int calls = listener.Calls();
    CTimerQueue::TimerProc(event, 1);
    EXPECT_EQ(listener.Calls(), calls);
    EXPECT_EQ(trace.Lines(4, "CTimerQueue::TimerProc, unable to resolve event " + Hex(event)).size(), 1u);
    EXPECT_EQ(queue.Count(), 1u);
    event->Release();
    // The number can be used again.
    ASSERT_TRUE(queue.CreateTimer(&event, &listener, 3, 0, 3600000, 0, 0));
    event->Release();
    EXPECT_TRUE(queue.DeleteTimerByUserInfo1(3, true));
  }
  // The queue is gone: its events dropped the listener once no call was in flight.
  EXPECT_TRUE(WaitUntil([&] { return listener.Refs() == 0; }));
}

TEST(TimerQueue, WaitingDeletionDoesNotHoldTheLockWhileACallbackRuns) {
  CCountingListener listener;
  CGate entered, release;
  listener.onEvent = [&](CTimerQueueEvent*) {
    entered.Open();
    release.Wait();
  };
  CTimerQueue queue;
  CTimerQueueEvent* event = nullptr;
  ASSERT_TRUE(queue.CreateTimer(&event, &listener, 9, 0, 0, 0, 0));
  ASSERT_TRUE(entered.Wait());
  std::atomic<bool> deleted{false};
  std::thread deleter([&] {
    EXPECT_TRUE(queue.DeleteTimerByUserInfo1(9, true));
    deleted = true;
  });
  // The deleter is on its way or already waiting for the callback; the queue lock stays free.
  while (queue.Count() != 0) std::this_thread::yield();
  CTimerQueueEvent* other = nullptr;
  EXPECT_TRUE(queue.CreateTimer(&other, &listener, 10, 0, 3600000, 0, 0));
  EXPECT_FALSE(deleted.load()) << "a waiting deletion returned while its callback still ran";
  release.Open();
  deleter.join();
  EXPECT_TRUE(deleted.load());
  EXPECT_EQ(listener.Calls(), 1);
  event->Release();
  other->Release();
}

TEST(TimerQueue, AbsoluteDueTimesOutOfRangeFail) {
  CTraceLines trace;
  CCountingListener listener;
  CTimerQueue queue;
  // The cases at the limit count whole seconds from now: start early in a second, so that the
  // queue reads the same second as this test (a slow build would otherwise cross into the next).
  while (NowMs() % 1000 > 200) vok::SleepMs(5);
  const std::int64_t now = NowMs() / 1000;
  const std::int64_t pastAt010203 = (now / 86400 - 1) * 86400 + 3723;
  const struct {
    const char* name;
    std::int64_t due;
    bool created;
  } cases[] = {{"an hour ahead", now + 3600, true},
               {"in the past", pastAt010203, false},
               {"at the limit", now + 4294967, false},
               {"just under the limit", now + 4294960, true}};
  std::uint32_t userInfo = 100;
  for (const auto& c : cases) {
    CTimerQueueEvent* event = nullptr;
    EXPECT_EQ(queue.CreateTimer(&event, &listener, ++userInfo, 0, CTimerQueue::AbsoluteSeconds{c.due}, 0, 0), c.created)
        << c.name;
    EXPECT_EQ(event != nullptr, c.created) << c.name;
    if (event) {
      const std::uint64_t expectedMs = static_cast<std::uint64_t>(c.due - now) * 1000;
      // Now's milliseconds (and a second tick between the two clock reads) come off the due time.
      EXPECT_LE(event->GetDueTime(), expectedMs) << c.name;
      EXPECT_GT(event->GetDueTime() + 2000, expectedMs) << c.name;
      event->Release();
    }
  }
  const std::string overflow = ") failed due to timeDue overflow, due=01:02:03, period=0, userinfo=102 tid=";
  EXPECT_EQ(trace.Lines(4, "CTimerQueue::CreateTimer (" + Hex(&queue) + overflow + Hex(vok::CurrentThreadId())).size(),
            1u);
  EXPECT_EQ(trace.Lines(4, "failed due to timeDue overflow").size(), 2u);  // in the past, and at the limit

  const double nowDays = 25569.0 + static_cast<double>(now) / 86400.0;
  CTimerQueueEvent* byDate = nullptr;
  EXPECT_TRUE(queue.CreateTimer(&byDate, &listener, 200, 0, CTimerQueue::AbsoluteDate{nowDays + 1.0 / 24}, 0, 0));
  ASSERT_NE(byDate, nullptr);
  EXPECT_GT(byDate->GetDueTime(), 3590000u);
  EXPECT_LE(byDate->GetDueTime(), 3601000u);
  byDate->Release();
}

}  // namespace

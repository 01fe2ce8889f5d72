// Thread handles: start, id, end handle, join with time-out; recursive critical sections.
#include "platform/thread_handle.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/critical_section.h"
#include "platform/event.h"

namespace vok {
namespace {

TEST(ThreadHandleTest, RunsBodyOnNewThreadAndSignalsItsEnd) {
  CEvent release(EventReset::Manual);
  std::atomic<ThreadId> ranOn{0};
  CThreadHandle thread;
  ASSERT_TRUE(thread.Start([&] {
    ranOn = CurrentThreadId();
    release.Wait();
  }));
  EXPECT_FALSE(thread.Start([] {}));  // one thread per handle
  EXPECT_EQ(WaitForOne(thread.EndHandle(), 50), kWaitTimeout);
  EXPECT_FALSE(thread.Join(50));
  release.Set();
  EXPECT_EQ(WaitForOne(thread.EndHandle(), 5000), kWaitObject0);
  const ThreadId id = thread.Id();
  EXPECT_TRUE(thread.Join(5000));
  EXPECT_EQ(ranOn.load(), id);
  EXPECT_NE(id, CurrentThreadId());
  EXPECT_FALSE(thread.Joinable());
}

TEST(CriticalSectionTest, IsRecursiveAndExcludesOtherThreads) {
  CCriticalSection lock;
  CCriticalSectionLock outer(lock);
  CCriticalSectionLock inner(lock);  // re-entry on the same thread
  std::atomic<bool> got{true};
  CThreadHandle other;
  other.Start([&] { got = lock.TryLock(); });
  other.Join();
  EXPECT_FALSE(got.load());
}

}  // namespace
}  // namespace vok

// Per-thread objects: one per thread, created on first use, destroyed when their thread ends.
#include "platform/thread_local_slot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "platform/event.h"
#include "platform/thread.h"
#include "platform/thread_handle.h"

namespace vok {
namespace {

std::atomic<int> g_destroyed{0};

struct CPerThread {
  ~CPerThread() { ++g_destroyed; }
  ThreadId owner = CurrentThreadId();
  std::map<std::string, std::string> entries;  // heap memory, freed at thread end
};

CThreadLocal<CPerThread> g_perThread;

TEST(ThreadLocalSlotTest, EachThreadGetsItsOwnObjectDestroyedAtThreadEnd) {
  CPerThread* mine = g_perThread.Get();
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(g_perThread.Get(), mine);
  mine->entries["main"] = "kept";

  const int destroyedBefore = g_destroyed;
  for (int round = 0; round < 3; ++round) {
    CThreadHandle thread;
    std::atomic<bool> distinct{false};
    thread.Start([&] {
      EXPECT_EQ(g_perThread.Peek(), nullptr);
      CPerThread* theirs = g_perThread.Get();
      distinct = theirs != mine && theirs->owner == CurrentThreadId();
      for (int i = 0; i < 50; ++i) theirs->entries[std::to_string(i)] = std::string(40, 'x');
    });
    ASSERT_TRUE(thread.Join(5000));
    EXPECT_TRUE(distinct.load());
    EXPECT_EQ(g_destroyed.load(), destroyedBefore + round + 1);
  }
  EXPECT_EQ(g_perThread.Get(), mine);
  EXPECT_EQ(mine->entries["main"], "kept");
}

// A slot that goes while other threads still live (a handler released while its subscriber threads
// run on) destroys their objects then, and those threads end later without touching them again.
TEST(ThreadLocalSlotTest, ASlotDestroyedBeforeItsThreadsEndDestroysTheirObjectsOnce) {
  const int destroyedBefore = g_destroyed;
  auto slot = std::make_unique<CThreadLocal<CPerThread>>();
  slot->Get();
  CEvent holding;
  CEvent release;
  CThreadHandle thread;
  ASSERT_TRUE(thread.Start([&] {
    slot->Get()->entries["held"] = std::string(100, 'x');
    holding.Set();
    release.Wait(5000);
  }));
  ASSERT_TRUE(holding.Wait(5000));
  slot.reset();
  EXPECT_EQ(g_destroyed.load(), destroyedBefore + 2);
  release.Set();
  ASSERT_TRUE(thread.Join(5000));
  EXPECT_EQ(g_destroyed.load(), destroyedBefore + 2);
}

}  // namespace
}  // namespace vok

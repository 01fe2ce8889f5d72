// A per-thread slot that goes before its threads end. One object per thread, destroyed at thread
// end, is what the thread queues and the block pool's caches show in their own tests.
#include "platform/thread_local_slot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "platform/event.h"
#include "platform/thread_handle.h"

namespace vok {
namespace {

std::atomic<int> g_destroyed{0};

struct CPerThread {
  ~CPerThread() { ++g_destroyed; }
  std::map<std::string, std::string> entries;  // heap memory, freed once
};

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

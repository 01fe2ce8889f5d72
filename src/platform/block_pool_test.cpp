// The block pool: aligned usable blocks of every size, blocks freed by one thread reused by
// another, and the bound on what the shared lists keep.
#include "platform/block_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "platform/thread_handle.h"

namespace vok {
namespace {

// Frees `blocks` on a thread of their own, which then ends and hands its cache to the shared lists.
void FreeOnAnotherThread(const std::vector<void*>& blocks) {
  CThreadHandle freer;
  freer.Start([&blocks] {
    for (void* block : blocks) PoolFree(block);
  });
  freer.Join();
}

TEST(BlockPoolTest, BlocksFreedOnOneThreadServeTheNextAllocationsOfAnother) {
  for (std::size_t bytes :
       {std::size_t{1}, std::size_t{48}, std::size_t{200}, std::size_t{1008}, std::size_t{1009}, std::size_t{5000}}) {
    void* block = PoolAllocate(bytes);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u) << bytes;
    std::memset(block, 0xA5, bytes);
    PoolFree(block);
  }
  PoolFree(nullptr);

  // The dispatcher's pattern: one thread allocates, another frees them all and ends.
  std::vector<void*> blocks;
  for (int i = 0; i < 1000; ++i) blocks.push_back(PoolAllocate(200));
  const std::set<void*> given(blocks.begin(), blocks.end());
  const std::size_t sharedBefore = PoolCountsForTest().shared;
  FreeOnAnotherThread(blocks);

  const PoolCounts after = PoolCountsForTest();
  if (!after.pooling) {
    EXPECT_EQ(after.shared, 0u);
    return;
  }
  EXPECT_EQ(after.shared - sharedBefore, 1000u);
  int reused = 0;
  std::vector<void*> again;
  for (int i = 0; i < 1000; ++i) {
    again.push_back(PoolAllocate(190));
    reused += given.count(again.back()) != 0 ? 1 : 0;
  }
  EXPECT_EQ(reused, 1000);
  for (void* block : again) PoolFree(block);
}

TEST(BlockPoolTest, SharedListsKeepABoundedAmountAndGiveBackWhatStaysUnused) {
  PoolReleaseUnused();
  PoolReleaseUnused();  // everything from earlier tests has now sat unused for a period
  const PoolCounts empty = PoolCountsForTest();
  if (!empty.pooling) return;
  EXPECT_EQ(empty.shared, 0u);

  // 32 MiB of 1 KiB blocks at most; the rest went back to the system.
  std::vector<void*> blocks;
  for (int i = 0; i < 40000; ++i) blocks.push_back(PoolAllocate(1000));
  FreeOnAnotherThread(blocks);
  const std::size_t kept = PoolCountsForTest().shared;
  EXPECT_LE(kept, 32768u);
  EXPECT_GE(kept, 32768u - 128u);

  // Blocks given back since the last release are kept; those nobody took for a period go.
  PoolReleaseUnused();
  EXPECT_EQ(PoolCountsForTest().shared, kept);
  std::vector<void*> taken;
  for (int i = 0; i < 1000; ++i) taken.push_back(PoolAllocate(1000));
  const std::size_t afterTaking = PoolCountsForTest().shared;
  EXPECT_LT(afterTaking, kept);
  for (void* block : taken) PoolFree(block);  // into this thread's cache, most back to the lists
  const std::size_t beforeRelease = PoolCountsForTest().shared;
  ASSERT_GT(beforeRelease, afterTaking);
  PoolReleaseUnused();
  // Only the blocks given back after the taking stay.
  EXPECT_EQ(PoolCountsForTest().shared, beforeRelease - afterTaking);
}

}  // namespace
}  // namespace vok

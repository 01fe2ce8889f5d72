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

TEST(BlockPoolTest, BlocksFreedOnOneThreadServeTheNextAllocationsOfAnother) {
  for (std::size_t bytes : {std::size_t{1}, std::size_t{48}, std::size_t{200}, std::size_t{1008}, std::size_t{1009},
                            std::size_t{5000}}) {
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
  CThreadHandle freer;
  freer.Start([&blocks] {
    for (void* block : blocks) PoolFree(block);
  });
  freer.Join();

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

TEST(BlockPoolTest, SharedListsKeepABoundedAmount) {
  std::vector<void*> blocks;
  for (int i = 0; i < 100000; ++i) blocks.push_back(PoolAllocate(40));
  const std::size_t sharedBefore = PoolCountsForTest().shared;
  CThreadHandle freer;
  freer.Start([&blocks] {
    for (void* block : blocks) PoolFree(block);
  });
  freer.Join();
  const PoolCounts after = PoolCountsForTest();
  if (!after.pooling) return;
  // 4 MiB of 64-byte blocks at most; the rest went back to the system.
  EXPECT_LE(after.shared - sharedBefore, 65536u);
  EXPECT_GE(after.shared - sharedBefore, 65536u - 128u);
}

}  // namespace
}  // namespace vok

// vok::PoolAllocate / vok::PoolFree: small heap blocks recycled between threads. The dispatcher
// allocates a block per update and the subscribing threads free them in bursts of thousands; with
// the system allocator every such free contends for the allocating thread's heap lock. Here each
// thread keeps a few free blocks per size and trades them with a shared list in batches of 64, so
// the lock is taken once per batch and freed blocks go straight back to the next update.
//
// Blocks that no thread took from the shared lists for a second go back to the system.
//
// Threads: any. Blocks are 16-byte aligned, like operator new's. Blocks above 1 KiB, and every
// block in AddressSanitizer builds (which must see each allocation), come from operator new
// directly; ThreadSanitizer builds keep the pool, so the hand-over of blocks between threads is
// checked too.
#pragma once

#include <cstddef>

namespace vok {

// A block of at least `bytes`; throws std::bad_alloc as operator new does.
void* PoolAllocate(std::size_t bytes);
// Frees a block from PoolAllocate (null is ignored), on any thread.
void PoolFree(void* block) noexcept;

// Returns to the system the shared blocks that no thread took since the last release. The pool
// does this by itself about once a second while blocks move; a host may call it after a burst.
void PoolReleaseUnused();

// What the pool holds now, for tests: the blocks in the shared lists.
struct PoolCounts {
  bool pooling = false;  // false in AddressSanitizer builds: every block comes from operator new
  std::size_t shared = 0;
};
PoolCounts PoolCountsForTest();

}  // namespace vok

// The block pool: per-thread caches of free blocks by size class, over shared lists bounded in size.
#include "platform/block_pool.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/critical_section.h"
#include "platform/thread.h"
#include "platform/thread_local_slot.h"

namespace vok {
namespace {

// AddressSanitizer tracks each block from allocation to free; recycling would hide a use after
// free from it. (ThreadSanitizer sees the pool's own locks order every reuse after the last use.)
#if defined(__SANITIZE_ADDRESS__)
#define VOK_POOL_BYPASSED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define VOK_POOL_BYPASSED 1
#endif
#endif
#ifdef VOK_POOL_BYPASSED
constexpr bool kPoolEnabled = false;
#else
constexpr bool kPoolEnabled = true;
#endif

// Every block starts with a header holding its size class; 16 bytes keep the caller's part aligned.
constexpr std::size_t kHeader = 16;
constexpr std::size_t kStep = 64;
constexpr std::size_t kClasses = 16;  // blocks of 64, 128, ... 1 024 bytes, header included
constexpr std::uint32_t kUnpooled = 0xFFFFFFFFu;
// Blocks moved between a thread's cache and the shared list at once; a cache holds at most twice
// as many per class.
constexpr std::size_t kBatch = 64;
// The shared lists keep at most this many bytes per class; blocks beyond go back to the system. A
// subscriber drains every 60 ms, so at a million updates a second some 60 000 items are out at
// once and come back together: the bound holds that many of the common sizes.
constexpr std::size_t kSharedBytesPerClass = std::size_t{32} << 20;
// Blocks that sat in a shared list for a whole period, untaken, go back to the system: after a
// burst the pool shrinks to what the steady flow uses.
constexpr std::uint64_t kReleasePeriodMs = 1000;

using FreeLists = std::array<std::vector<void*>, kClasses>;

// One size class's shared blocks: the newest at the back (taken first, still warm in a cache), the
// oldest at the front (released first).
struct SSharedList {
  std::vector<void*> blocks;
  std::size_t lowWater = 0;  // the fewest blocks held since the last release
};

// Set while the pool below exists: blocks freed during static destruction (items left in the
// queues of threads that outlive the pool) go straight back to the system. Constant-initialised
// and trivially destructible, so it can be read at any time.
constinit std::atomic<bool> g_poolLive{false};

void ReleaseToSystem(std::vector<void*>& blocks) {
  for (void* raw : blocks) ::operator delete(raw);
  blocks.clear();
}

// One thread's free blocks. When the thread ends they go to the shared lists.
struct CThreadCache {
  CThreadCache();
  ~CThreadCache();
  CThreadCache(const CThreadCache&) = delete;
  CThreadCache& operator=(const CThreadCache&) = delete;
  FreeLists lists;
};

// The shared lists. Never destroyed: a thread that outlives the module's static objects may still
// free blocks; once closed, the lists hold nothing and pass every block back to the system.
class CSharedLists {
 public:
  // Closes the lists and frees what they hold.
  void Close() {
    CCriticalSectionLock lock(m_lock);
    m_closed = true;
    for (SSharedList& shared : m_shared) {
      ReleaseToSystem(shared.blocks);
      shared.blocks.shrink_to_fit();
      shared.lowWater = 0;
    }
  }

  // Moves up to kBatch shared blocks of the class into `into`.
  void Take(std::size_t sizeClass, std::vector<void*>& into) {
    std::vector<void*> unused;
    {
      CCriticalSectionLock lock(m_lock);
      if (m_closed) return;
      SSharedList& shared = m_shared[sizeClass];
      const std::size_t count = shared.blocks.size() < kBatch ? shared.blocks.size() : kBatch;
      into.insert(into.end(), shared.blocks.end() - static_cast<std::ptrdiff_t>(count), shared.blocks.end());
      shared.blocks.resize(shared.blocks.size() - count);
      if (shared.blocks.size() < shared.lowWater) shared.lowWater = shared.blocks.size();
      CollectUnusedIfDue(unused);
    }
    ReleaseToSystem(unused);
  }

  // Moves the last `count` blocks of `from` to the shared list, or to the system beyond its bound.
  void Give(std::size_t sizeClass, std::vector<void*>& from, std::size_t count) {
    const std::size_t limit = kSharedBytesPerClass / ((sizeClass + 1) * kStep);
    const auto first = from.end() - static_cast<std::ptrdiff_t>(count);
    std::size_t kept = 0;
    std::vector<void*> unused;
    {
      CCriticalSectionLock lock(m_lock);
      std::vector<void*>& shared = m_shared[sizeClass].blocks;
      const std::size_t room = !m_closed && shared.size() < limit ? limit - shared.size() : 0;
      kept = count < room ? count : room;
      try {
        shared.insert(shared.end(), first, first + static_cast<std::ptrdiff_t>(kept));
      } catch (const std::bad_alloc&) {
        kept = 0;  // no room to list them: they go back to the system
      }
      CollectUnusedIfDue(unused);
    }
    for (auto it = first + static_cast<std::ptrdiff_t>(kept); it != from.end(); ++it) ::operator delete(*it);
    from.erase(first, from.end());
    ReleaseToSystem(unused);
  }

  void ReleaseUnused() {
    std::vector<void*> unused;
    {
      CCriticalSectionLock lock(m_lock);
      CollectUnused(unused);
    }
    ReleaseToSystem(unused);
  }

  std::size_t SharedCount() {
    CCriticalSectionLock lock(m_lock);
    std::size_t count = 0;
    for (auto& list : m_shared) count += list.blocks.size();
    return count;
  }

 private:
  void CollectUnusedIfDue(std::vector<void*>& out) {
    if (MonotonicMs() - m_lastRelease >= kReleasePeriodMs) CollectUnused(out);
  }

  // With m_lock held: moves to `out` the blocks of every class that no thread took since the last
  // release, and starts the next period. Nothing is collected when `out` cannot grow.
  void CollectUnused(std::vector<void*>& out) {
    m_lastRelease = MonotonicMs();
    for (SSharedList& shared : m_shared) {
      const auto unusedEnd = shared.blocks.begin() + static_cast<std::ptrdiff_t>(shared.lowWater);
      try {
        out.insert(out.end(), shared.blocks.begin(), unusedEnd);
      } catch (const std::bad_alloc&) {
        shared.lowWater = shared.blocks.size();
        continue;
      }
      shared.blocks.erase(shared.blocks.begin(), unusedEnd);
      shared.lowWater = shared.blocks.size();
    }
  }

  CCriticalSection m_lock;
  std::array<SSharedList, kClasses> m_shared;  // guarded by m_lock
  std::uint64_t m_lastRelease = 0;             // guarded by m_lock
  bool m_closed = false;                       // guarded by m_lock
};

#ifndef _WIN32
// The calling thread's cache once looked up: a plain pointer, so that a block costs one
// thread-relative load instead of a trip through the thread slot (which was some 15 % of a small
// message's parse). It has no destructor, so it is safe at thread end; the cache clears it when
// it is destroyed on its own thread. (Windows keeps the slot alone: mingw-w64's emulated
// thread_local storage may already be gone when the slot's destructors run.)
thread_local CThreadCache* t_cache = nullptr;
#endif

CSharedLists& Shared() {
  static CSharedLists* lists = new CSharedLists;  // intentionally leaked, see above
  return *lists;
}

// The pool while the module's static objects live: the per-thread caches.
class CPool {
 public:
  CPool() {
    Shared();
    g_poolLive.store(true, std::memory_order_release);
  }
  ~CPool() {
    g_poolLive.store(false, std::memory_order_release);
    Shared().Close();
    // m_caches goes after this body: the caches it destroys see the pool gone and free their
    // blocks directly.
  }
  CPool(const CPool&) = delete;
  CPool& operator=(const CPool&) = delete;

  CThreadCache* Cache() {
#ifndef _WIN32
    if (t_cache == nullptr) t_cache = m_caches.Get();
    return t_cache;
#else
    return m_caches.Get();
#endif
  }

 private:
  CThreadLocal<CThreadCache> m_caches;
};

CPool g_poolObject;

CThreadCache::CThreadCache() {
  for (auto& list : lists) list.reserve(2 * kBatch);
}

CThreadCache::~CThreadCache() {
#ifndef _WIN32
  // A block freed later in this thread's end (another slot's destructor) makes a new cache.
  if (t_cache == this) t_cache = nullptr;
#endif
  // Once the pool is closed the shared lists pass everything on to the system.
  for (std::size_t c = 0; c < kClasses; ++c) {
    if (!lists[c].empty()) Shared().Give(c, lists[c], lists[c].size());
  }
}

void* Stamp(void* raw, std::uint32_t sizeClass) {
  *static_cast<std::uint32_t*>(raw) = sizeClass;
  return static_cast<unsigned char*>(raw) + kHeader;
}

}  // namespace

void* PoolAllocate(std::size_t bytes) {
  if (bytes > kStep * kClasses - kHeader || !kPoolEnabled || !g_poolLive.load(std::memory_order_acquire)) {
    return Stamp(::operator new(bytes + kHeader), kUnpooled);
  }
  const std::size_t sizeClass = (bytes + kHeader - 1) / kStep;
  CThreadCache* cache = g_poolObject.Cache();
  if (cache == nullptr) return Stamp(::operator new((sizeClass + 1) * kStep), static_cast<std::uint32_t>(sizeClass));
  std::vector<void*>& list = cache->lists[sizeClass];
  if (list.empty()) Shared().Take(sizeClass, list);
  void* raw = nullptr;
  if (list.empty()) {
    raw = ::operator new((sizeClass + 1) * kStep);
  } else {
    raw = list.back();
    list.pop_back();
  }
  return Stamp(raw, static_cast<std::uint32_t>(sizeClass));
}

void PoolFree(void* block) noexcept {
  if (block == nullptr) return;
  void* raw = static_cast<unsigned char*>(block) - kHeader;
  const std::uint32_t sizeClass = *static_cast<std::uint32_t*>(raw);
  CThreadCache* cache = nullptr;
  if (sizeClass != kUnpooled && kPoolEnabled && g_poolLive.load(std::memory_order_acquire)) {
    // A thread without a cache yet gets one: subscriber threads only ever free.
    try {
      cache = g_poolObject.Cache();
    } catch (const std::bad_alloc&) {
      cache = nullptr;
    }
  }
  if (cache == nullptr) {
    ::operator delete(raw);
    return;
  }
  std::vector<void*>& list = cache->lists[sizeClass];
  list.push_back(raw);  // within the capacity reserved for it
  if (list.size() >= 2 * kBatch) Shared().Give(sizeClass, list, kBatch);
}

void PoolReleaseUnused() {
  if (kPoolEnabled && g_poolLive.load(std::memory_order_acquire)) Shared().ReleaseUnused();
}

PoolCounts PoolCountsForTest() {
  PoolCounts counts;
  counts.pooling = kPoolEnabled;
  if (!g_poolLive.load(std::memory_order_acquire)) return counts;
  counts.shared = Shared().SharedCount();
  return counts;
}

}  // namespace vok

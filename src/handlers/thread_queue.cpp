// The per-thread dispatch queues, the process-wide list of live queues, and the bounds of a queue
// whose thread falls behind.
#include "handlers/thread_queue.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "handlers/delivery_gate.h"
#include "handlers/handler.h"
#include "handlers/thread_item.h"
#include "platform/thread_local_slot.h"
#include "vkdll/vkdll.h"

namespace {

// The live queues, one per thread that ever subscribed. Never destroyed: threads may end (and
// unregister their queues) while the module's static objects are being torn down.
struct CQueueList {
  vok::CCriticalSection lock;
  std::vector<CThreadQueue*> queues;  // guarded by lock
};

CQueueList& Queues() {
  static CQueueList* list = new CQueueList;  // intentionally leaked, see above
  return *list;
}

// Each thread's queue goes with its thread, and the items left in it are released then.
vok::CThreadLocal<std::unique_ptr<CThreadQueue>> g_currentQueue;

// Items distributed so far, for picking the ones whose drain latency is measured. Written by
// whichever thread distributes (a relaxed load and store, not an atomic add: two distributing
// threads may now and then pick the same phase, which only shifts the sample).
std::atomic<std::uint32_t> g_distributed{0};

}  // namespace

CThreadQueue* CThreadQueue::CurrentQueue() {
  std::unique_ptr<CThreadQueue>* queue = g_currentQueue.Get();
  if (queue == nullptr) {
    VOKTRACE_Write(VOKTRACE_FAILURE, "CThreadQueue: no thread slot for the dispatch queue");
    return nullptr;
  }
  if (!*queue) queue->reset(new CThreadQueue);
  return queue->get();
}

CThreadQueue::CThreadQueue() : m_owner(vok::CurrentThreadId()) {
  CQueueList& list = Queues();
  vok::CCriticalSectionLock lock(list.lock);
  list.queues.push_back(this);
}

CThreadQueue::~CThreadQueue() {
  {
    CQueueList& list = Queues();
    vok::CCriticalSectionLock lock(list.lock);
    list.queues.erase(std::remove(list.queues.begin(), list.queues.end(), this), list.queues.end());
  }
  // The drain timer needs no killing: the thread is ending and its timers end with it.
  std::vector<CThreadItem*> left(m_taken.begin() + static_cast<std::ptrdiff_t>(m_takenNext), m_taken.end());
  {
    vok::CCriticalSectionLock lock(m_lock);
    left.insert(left.end(), m_items.begin(), m_items.end());
    m_items.clear();
  }
  left.erase(std::remove(left.begin(), left.end(), nullptr), left.end());
  if (!left.empty()) {
    VOKTRACE_Printf(VOKTRACE_DETAIL, "CThreadQueue: thread %x ended with %u items undelivered", m_owner,
                    static_cast<unsigned>(left.size()));
  }
  for (CThreadItem* item : left) item->Release();
}

void CThreadQueue::AddItem(CThreadItem* item) { AddItems({&item, 1}); }

void CThreadQueue::AddItems(std::span<CThreadItem* const> items) {
  bool wake = false;
  {
    vok::CCriticalSectionLock lock(m_lock);
    // Only the first item into an empty queue posts: the drain it wakes takes all that follow.
    wake = m_immediate && m_items.empty();
    for (CThreadItem* item : items) {
      // A thread that keeps up never gets here with kConflateAt items waiting: it pays nothing more.
      if (!m_behind && m_items.size() < kConflateAt) {
        m_items.push_back(item);
        m_highWater = std::max(m_highWater, m_items.size());
      } else {
        AddBehind(item);
      }
    }
  }
  // Posted outside the lock so the owner's drain never waits on the loop's own lock.
  if (wake) WakeOwner();
}

void CThreadQueue::WakeOwner() {
  // The call finds the queue again: the queue may have gone with its thread by the time it runs.
  m_wakeTarget.PostCall([] {
    std::unique_ptr<CThreadQueue>* queue = g_currentQueue.Peek();
    if (queue != nullptr && *queue) (*queue)->Drain();
  });
}

void CThreadQueue::SetImmediateDelivery(bool on) {
  VOK_DCHECK_THREAD(m_threadChecker);
  vok::CMessageTarget target;
  if (on && !m_hasWakeTarget) target = vok::CurrentMessageTarget();
  bool wake = false;
  {
    vok::CCriticalSectionLock lock(m_lock);
    if (on && !m_hasWakeTarget) {
      m_wakeTarget = std::move(target);
      m_hasWakeTarget = true;
    }
    // Items already waiting get their drain now rather than at the next tick.
    wake = on && !m_immediate && !m_items.empty();
    m_immediate = on;
  }
  if (wake) WakeOwner();
}

void CThreadQueue::AddBehind(CThreadItem* item) {
  if (!m_behind) {
    IndexWaiting();
    m_behind = true;
  }
  const std::size_t position = m_items.size();
  if (item->GetKind() == CThreadItem::kTimeAndSales) {
    m_items.push_back(item);
    m_prints.push_back(position);
    while (m_prints.size() - m_printsHead > kMaxPrints) {
      CThreadItem*& oldest = m_items[m_prints[m_printsHead++]];
      if (oldest == nullptr) continue;
      oldest->Release();
      oldest = nullptr;
      ++m_removed;
      ++m_printsDropped;
      if (!m_dropTraced) {
        m_dropTraced = true;
        VOKTRACE_Printf(
            VOKTRACE_WARNING,
            "CThreadQueue: thread %x does not drain its queue; its oldest time and sales prints are dropped", m_owner);
      }
    }
  } else if (item->Conflatable()) {
    auto [it, added] = m_snapshots.try_emplace(item->SnapshotHash(), position);
    if (!added) {
      CThreadItem*& waiting = m_items[it->second];
      if (waiting != nullptr && waiting->SameSnapshot(*item)) {
        // The newer snapshot takes the older one's place: what the thread sees stays in order.
        std::swap(waiting, item);
        ++m_conflated;
        item->Release();
        return;
      }
      it->second = position;
    }
    m_items.push_back(item);
  } else {
    m_items.push_back(item);
  }
  // Dropped prints leave holes; closing them now and then keeps the list at its bound.
  if (m_removed >= kConflateAt) Compact();
  m_highWater = std::max(m_highWater, m_items.size() - m_removed);
}

void CThreadQueue::IndexWaiting() {
  m_snapshots.clear();
  m_snapshots.reserve(kConflateAt);
  m_prints.clear();
  m_printsHead = 0;
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    const CThreadItem* item = m_items[i];
    if (item == nullptr) continue;
    if (item->GetKind() == CThreadItem::kTimeAndSales) {
      m_prints.push_back(i);
    } else if (item->Conflatable()) {
      m_snapshots[item->SnapshotHash()] = i;
    }
  }
}

void CThreadQueue::Compact() {
  m_items.erase(std::remove(m_items.begin(), m_items.end(), nullptr), m_items.end());
  m_removed = 0;
  if (m_behind) IndexWaiting();
}

void CThreadQueue::ResetBehind() {
  m_behind = false;
  m_dropTraced = false;
  m_prints.clear();
  m_printsHead = 0;
}

CThreadItem* CThreadQueue::PopItem() {
  VOK_DCHECK_THREAD(m_threadChecker);
  if (m_takenNext == m_taken.size()) {
    m_taken.clear();
    m_takenNext = 0;
    // The index of a queue that was behind is freed after the lock is let go.
    std::unordered_map<std::uint64_t, std::size_t> index;
    {
      vok::CCriticalSectionLock lock(m_lock);
      // The emptied list goes back as the next queue, so neither side allocates once warmed up.
      m_taken.swap(m_items);
      m_removed = 0;
      if (m_behind) ResetBehind();
      if (!m_snapshots.empty()) index.swap(m_snapshots);
    }
  }
  // Null entries were taken out while they waited.
  while (m_takenNext < m_taken.size()) {
    if (CThreadItem* item = m_taken[m_takenNext++]) return item;
  }
  return nullptr;
}

CQueueStats CThreadQueue::Statistics() {
  CQueueStats stats;
  {
    vok::CCriticalSectionLock lock(m_lock);
    stats = CQueueStats{m_conflated, m_printsDropped, m_items.size() - m_removed, m_highWater, 0, {}};
  }
  stats.delivered = m_delivered.load(std::memory_order_relaxed);
  stats.drainLatency = m_drainLatency.Summary();
  return stats;
}

bool CThreadQueue::StatisticsOf(vok::ThreadId thread, CQueueStats& out) {
  CQueueList& list = Queues();
  vok::CCriticalSectionLock listLock(list.lock);
  for (CThreadQueue* queue : list.queues) {
    if (queue->m_owner != thread) continue;
    out = queue->Statistics();
    return true;
  }
  return false;
}

std::vector<std::pair<vok::ThreadId, CQueueStats>> CThreadQueue::AllStatistics() {
  CQueueList& list = Queues();
  vok::CCriticalSectionLock listLock(list.lock);
  std::vector<std::pair<vok::ThreadId, CQueueStats>> all;
  all.reserve(list.queues.size());
  for (CThreadQueue* queue : list.queues) all.emplace_back(queue->m_owner, queue->Statistics());
  return all;
}

int CThreadQueue::StartTimer() {
  VOK_DCHECK_THREAD(m_threadChecker);
  if (++m_timerCount == 1) {
    m_timerId = vok::SetThreadTimer(kDrainPeriodMs, [this] { Drain(); });
    if (m_timerId == 0) VOKTRACE_Printf(VOKTRACE_FAILURE, "CThreadQueue: no drain timer for thread %x", m_owner);
  }
  return m_timerCount;
}

int CThreadQueue::StopTimer() {
  VOK_DCHECK_THREAD(m_threadChecker);
  if (--m_timerCount < 1) {
    if (m_timerId != 0) vok::KillThreadTimer(m_timerId);
    m_timerId = 0;
    m_timerCount = 0;
    SetImmediateDelivery(false);
  }
  return m_timerCount;
}

void CThreadQueue::Drain() {
  VOK_DCHECK_THREAD(m_threadChecker);
  // Items added during the drain (by the dispatcher, or by a callback that advises) are delivered
  // in this same tick. A callback that pumps its messages (a modal wait) drains again from inside
  // and goes on with the next item, in order: PopItem keeps its place in members, not here.
  // The drain stays inside a handler's gate from one item of that handler to the next, so the
  // subscriber threads do not all write the gate for every item.
  CEntered entered{nullptr, m_innermost};
  m_innermost = &entered;
  CHandler* handler = nullptr;
  auto leave = [&] {
    if (entered.gate != nullptr) entered.gate->Leave();
    entered.gate = nullptr;
    handler = nullptr;
  };
  while (CThreadItem* item = PopItem()) {
    CDeliveryGate* gate = item->Gate();
    if (gate != entered.gate) {
      leave();
      // An item whose handler is gone (or going) is dropped: the gate refuses it.
      handler = gate == nullptr ? nullptr : gate->Enter();
      if (handler != nullptr) entered.gate = gate;
    }
    if (handler != nullptr) {
      m_delivered.store(m_delivered.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
      if (const std::int64_t queuedAt = item->QueuedAt(); queuedAt != 0) {
        m_drainLatency.Record(static_cast<std::uint64_t>(std::max<std::int64_t>(0, CThreadItem::ClockNs() - queuedAt)));
      }
      handler->OnThreadItem(item);
      // A callback may have released the handler: let its release go on, and deliver no more of
      // it. The item's reference keeps the gate readable here.
      if (!gate->IsOpen()) leave();
    }
    item->Release();
  }
  leave();
  m_innermost = entered.outer;
}

std::uint32_t CThreadQueue::EntriesOnCurrentThread(const CDeliveryGate* gate) {
  std::unique_ptr<CThreadQueue>* queue = g_currentQueue.Peek();
  if (queue == nullptr || !*queue) return 0;
  std::uint32_t count = 0;
  for (const CEntered* entered = (*queue)->m_innermost; entered != nullptr; entered = entered->outer) {
    count += entered->gate == gate ? 1 : 0;
  }
  return count;
}

void CThreadQueue::Purge(const CDeliveryGate* gate) {
  std::vector<CThreadItem*> purged;
  {
    CQueueList& list = Queues();
    vok::CCriticalSectionLock listLock(list.lock);
    for (CThreadQueue* queue : list.queues) {
      vok::CCriticalSectionLock queueLock(queue->m_lock);
      const std::size_t before = purged.size();
      for (CThreadItem*& item : queue->m_items) {
        if (item == nullptr || item->Gate() != gate) continue;
        purged.push_back(item);
        item = nullptr;
        ++queue->m_removed;
      }
      if (purged.size() == before) continue;
      queue->ResetBehind();
      queue->Compact();
    }
  }
  // Released outside the locks; the gate's owner still holds it, so none of these frees it.
  for (CThreadItem* item : purged) item->Release();
}

namespace {

// The batch open on this thread. A plain pointer, set and cleared inside the batch's scope.
thread_local CDistributionBatch* t_batch = nullptr;

// With the list lock held: how many live queues `threads` name, with the item's references set to
// that; an item that reached none is released.
std::int32_t CountReached(const CQueueList& list, CThreadItem* item, std::span<const vok::ThreadId> threads) {
  // Count first: once the first queue holds the item its thread may release it, so the count
  // must be final before any AddItem. Queues cannot go away while the list lock is held.
  std::int32_t reached = 0;
  for (vok::ThreadId thread : threads) {
    for (CThreadQueue* queue : list.queues) reached += queue->Owner() == thread ? 1 : 0;
  }
  if (reached == 0) {
    item->SetReferences(1);
    item->Release();
    return 0;
  }
  item->SetReferences(reached);
  const std::uint32_t distributed = g_distributed.load(std::memory_order_relaxed);
  g_distributed.store(distributed + 1, std::memory_order_relaxed);
  if (distributed % CThreadQueue::kLatencySampleEvery == 0) item->SetQueuedAt(CThreadItem::ClockNs());
  return reached;
}

}  // namespace

std::int32_t CThreadQueue::Distribute(CThreadItem* item, std::span<const vok::ThreadId> threads) {
  CQueueList& list = Queues();
  vok::CCriticalSectionLock listLock(list.lock);
  const std::int32_t reached = CountReached(list, item, threads);
  if (reached == 0) return 0;
  for (vok::ThreadId thread : threads) {
    for (CThreadQueue* queue : list.queues) {
      if (queue->m_owner == thread) queue->AddItem(item);
    }
  }
  return reached;
}

void CThreadQueue::Post(CThreadItem* item, std::span<const vok::ThreadId> threads) {
  if (t_batch == nullptr || !t_batch->Add(item, threads)) Distribute(item, threads);
}

CDistributionBatch::CDistributionBatch() {
  assert(t_batch == nullptr);  // batches do not nest
  t_batch = this;
}

CDistributionBatch::~CDistributionBatch() {
  try {
    Flush();
  } catch (const std::bad_alloc&) {
    // As when Distribute runs out of memory: the queue that could not grow misses the item.
  }
  t_batch = nullptr;
}

bool CDistributionBatch::Add(CThreadItem* item, std::span<const vok::ThreadId> threads) {
  if (m_pending.size() >= kMaxPending) Flush();
  const std::size_t first = m_threads.size();
  try {
    m_pending.reserve(kMaxPending);
    m_run.reserve(kMaxPending);
    m_threads.insert(m_threads.end(), threads.begin(), threads.end());
    m_pending.push_back(SPending{item, static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(threads.size())});
  } catch (const std::bad_alloc&) {
    m_threads.resize(first);
    return false;
  }
  return true;
}

void CDistributionBatch::Flush() {
  if (m_pending.empty()) return;
  CQueueList& list = Queues();
  vok::CCriticalSectionLock listLock(list.lock);
  // Runs of items to the same queue go in under one hold of its lock; across queues the order
  // does not matter, within one it is the order of Post.
  std::vector<CThreadItem*>& run = m_run;  // reserved in Add, and never grown here
  CThreadQueue* runQueue = nullptr;
  run.clear();
  for (const SPending& pending : m_pending) {
    const std::span<const vok::ThreadId> threads(m_threads.data() + pending.firstThread, pending.threadCount);
    if (CountReached(list, pending.item, threads) == 0) continue;
    for (vok::ThreadId thread : threads) {
      for (CThreadQueue* queue : list.queues) {
        if (queue->Owner() != thread) continue;
        if ((queue != runQueue || run.size() == run.capacity()) && !run.empty()) {
          runQueue->AddItems(run);
          run.clear();
        }
        runQueue = queue;
        run.push_back(pending.item);
      }
    }
  }
  if (!run.empty()) runQueue->AddItems(run);
  run.clear();
  m_pending.clear();
  m_threads.clear();
}

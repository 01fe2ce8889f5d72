// The per-thread dispatch queues and the process-wide list of live queues.
#include "handlers/thread_queue.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

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

}  // namespace

CThreadQueue& CThreadQueue::CurrentQueue() {
  std::unique_ptr<CThreadQueue>* queue = g_currentQueue.Get();
  if (queue == nullptr) {
    // Without a thread slot nothing can work; there is no sensible way to go on.
    VOKTRACE_Write(VOKTRACE_FAILURE, "CThreadQueue: no thread slot for the dispatch queue");
    std::abort();
  }
  if (!*queue) queue->reset(new CThreadQueue);
  return **queue;
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
  if (!left.empty()) {
    VOKTRACE_Printf(VOKTRACE_DETAIL, "CThreadQueue: thread %x ended with %u items undelivered", m_owner,
                    static_cast<unsigned>(left.size()));
  }
  for (CThreadItem* item : left) item->Release();
}

void CThreadQueue::AddItem(CThreadItem* item) {
  vok::CCriticalSectionLock lock(m_lock);
  m_items.push_back(item);
}

CThreadItem* CThreadQueue::PopItem() {
  VOK_DCHECK_THREAD(m_threadChecker);
  if (m_takenNext == m_taken.size()) {
    m_taken.clear();
    m_takenNext = 0;
    vok::CCriticalSectionLock lock(m_lock);
    // The emptied list goes back as the next queue, so neither side allocates once warmed up.
    m_taken.swap(m_items);
  }
  if (m_takenNext == m_taken.size()) return nullptr;
  return m_taken[m_takenNext++];
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
  }
  return m_timerCount;
}

void CThreadQueue::Drain() {
  VOK_DCHECK_THREAD(m_threadChecker);
  // Items added during the drain (by the dispatcher, or by a callback that advises) are delivered
  // in this same tick. A callback that pumps its messages (a modal wait) drains again from inside
  // and goes on with the next item, in order: PopItem keeps its place in members, not here.
  while (CThreadItem* item = PopItem()) {
    item->Handler()->OnThreadItem(item);
    item->Release();
  }
}

std::int32_t CThreadQueue::Distribute(CThreadItem* item, std::span<const vok::ThreadId> threads) {
  CQueueList& list = Queues();
  vok::CCriticalSectionLock listLock(list.lock);
  // Count first: once the first queue holds the item its thread may release it, so the count
  // must be final before any AddItem. Queues cannot go away while the list lock is held.
  std::int32_t reached = 0;
  for (vok::ThreadId thread : threads) {
    for (CThreadQueue* queue : list.queues) reached += queue->m_owner == thread ? 1 : 0;
  }
  if (reached == 0) {
    item->SetReferences(1);
    item->Release();
    return 0;
  }
  item->SetReferences(reached);
  for (vok::ThreadId thread : threads) {
    for (CThreadQueue* queue : list.queues) {
      if (queue->m_owner == thread) queue->AddItem(item);
    }
  }
  return reached;
}

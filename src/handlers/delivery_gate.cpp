// CDeliveryGate: the entry count that lets a handler be destroyed while its items are queued or
// being delivered on other threads.
#include "handlers/delivery_gate.h"

#include "handlers/thread_queue.h"

CHandler* CDeliveryGate::Enter() {
  // Counting before looking at the flag: a Close that comes after the increment waits for us, one
  // that came before it is seen here.
  if (m_state.fetch_add(1, std::memory_order_acq_rel) & kClosed) {
    Leave();
    return nullptr;
  }
  return m_handler;
}

void CDeliveryGate::Leave() {
  if ((m_state.fetch_sub(1, std::memory_order_acq_rel) & kClosed) == 0) return;
  // Closing: the waiter checks the count under m_mutex, so notifying under it loses no wake-up.
  std::lock_guard<std::mutex> lock(m_mutex);
  m_allLeft.notify_all();
}

void CDeliveryGate::Close() {
  m_state.fetch_or(kClosed, std::memory_order_acq_rel);
  CThreadQueue::Purge(this);
  // Entries of this thread are the deliveries it is nested in; they end only after we return.
  const std::uint32_t own = CThreadQueue::EntriesOnCurrentThread(this);
  std::unique_lock<std::mutex> lock(m_mutex);
  m_allLeft.wait(lock, [&] { return (m_state.load(std::memory_order_acquire) & ~kClosed) <= own; });
}

// CDeliveryGate: what a queued work item holds instead of a pointer to its handler. The handler
// owns one gate; every item holds a reference on it, so an item may outlive its handler safely.
// A drain enters the gate before it hands an item to the handler and leaves it after the last of
// a run of that handler's items; the handler closes the gate first thing in its destruction, after
// which no item of it is delivered and no entry is in progress on another thread.
//
// Threads: Enter and Leave run on any subscribing thread, Close on the thread that destroys the
// handler. Close waits for entries of other threads; entries of its own thread (the handler being
// released from inside one of its own callbacks) are allowed for, and the delivery they belong to
// must not touch the handler once its callbacks return. m_mutex only pairs the last Leave after a
// Close with the waiting Close; it is never held while anything else is called.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class CHandler;

class CDeliveryGate {
 public:
  explicit CDeliveryGate(CHandler* handler) : m_handler(handler) {}
  CDeliveryGate(const CDeliveryGate&) = delete;
  CDeliveryGate& operator=(const CDeliveryGate&) = delete;

  void AddRef() { m_refs.fetch_add(1, std::memory_order_relaxed); }
  void Release() {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  // A work item's reference, released with Release. Items take theirs from a stock kept on the
  // creating side's own cache line and refilled kStock at a time, so the dispatcher does not write
  // the line the receivers release on for every item. While a refill is under way the stock is
  // below zero, but the items being made then hold more than it lacks, so the count stays above 0.
  void AddItemRef() {
    if (m_stock.fetch_sub(1, std::memory_order_relaxed) > 0) return;
    m_refs.fetch_add(kStock, std::memory_order_relaxed);
    m_stock.fetch_add(kStock, std::memory_order_relaxed);
  }
  // The owner, once no more items will be made: gives back the unused stock (its own reference
  // stays until it releases it).
  void ReturnStock() {
    const std::int32_t unused = m_stock.exchange(0, std::memory_order_relaxed);
    if (unused > 0) m_refs.fetch_sub(unused, std::memory_order_acq_rel);
  }

  // The handler while the gate is open, entered: the caller must Leave. Null once closed.
  CHandler* Enter();
  void Leave();

  // Refuses every later Enter, drops the gate's items still waiting in any queue and returns once
  // no other thread is inside the handler through this gate. Idempotent.
  void Close();
  bool IsOpen() const { return (m_state.load(std::memory_order_acquire) & kClosed) == 0; }

 private:
  ~CDeliveryGate() = default;

  static constexpr std::uint32_t kClosed = 0x80000000u;
  static constexpr std::int32_t kStock = 64;

  CHandler* const m_handler;
  // Apart: items are counted by the dispatcher and the last receiver, entries by the subscribers.
  alignas(64) std::atomic<std::int32_t> m_refs{0};
  alignas(64) std::atomic<std::uint32_t> m_state{0};  // kClosed, and the number of entries in progress
  alignas(64) std::atomic<std::int32_t> m_stock{0};   // item references taken into m_refs, not handed out
  std::mutex m_mutex;
  std::condition_variable m_allLeft;
};

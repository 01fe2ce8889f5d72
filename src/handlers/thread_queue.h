// CThreadQueue: the dispatch queue of one subscribing thread. Handlers Distribute a work item to
// the queues of every thread that subscribed to its symbol; each thread drains its own queue from
// a 60 ms thread timer on its message loop and hands the items to their handlers, in order. A
// queue set to deliver immediately also posts one drain to its thread's loop when an item lands
// in it empty: the thread runs it as soon as it pumps, with whatever else arrived by then.
// A queue whose thread falls behind is bounded: past kConflateAt waiting items a newer snapshot
// replaces the waiting one of the same key in place, and prints beyond kMaxPrints drop the oldest.
//
// Threads: a queue is created on first use by its own thread (CurrentQueue) and destroyed when that
// thread ends. AddItem, Purge and Statistics run on any thread; PopItem, Drain, StartTimer,
// StopTimer and SetImmediateDelivery on the owner only. The owner takes everything queued in one
// step into a list only it reads, so the dispatcher and the owner meet on the queue lock once per
// drain, not once per item.
// Locks: the process-wide queue-list lock guards the list of live queues; m_lock guards m_items and
// the members declared with it. Order: a handler's lock, then the queue-list lock, then one queue
// lock at a time. A delivery gate's Close, and a distribution batch's flush, take the queue-list
// lock with no handler lock held.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "handlers/latency_histogram.h"
#include "platform/critical_section.h"
#include "platform/message_loop.h"
#include "platform/thread.h"
#include "platform/thread_checker.h"

class CDeliveryGate;
class CThreadItem;

// What a queue has done to keep up with its thread; Statistics reads it.
struct CQueueStats {
  std::uint64_t conflated = 0;      // waiting snapshots replaced in place by a newer one
  std::uint64_t printsDropped = 0;  // time and sales prints dropped, oldest first
  std::size_t depth = 0;            // items waiting to be taken by the owner now
  std::size_t highWater = 0;        // the most items ever waiting at once
  std::uint64_t delivered = 0;      // items handed to their handlers on the owner thread
  // From entering the queue to delivery on the owner thread, over a sample: one item in
  // CThreadQueue::kLatencySampleEvery of those distributed carries a stamp (so the maximum is that
  // of the sample). Reading the clock twice for every item cost the dispatcher more than a tenth.
  CLatencySummary drainLatency;
};

// A dispatcher's batch of distributions: while one is open on a thread, CThreadQueue::Post on that
// thread collects the items, and the batch hands them to their queues in order when it flushes
// (at kMaxPending items, on Flush, and when it closes). A flush takes the queue-list lock once and
// each queue's lock once per run of items to that queue, where Distribute takes both per item.
// The dispatcher flushes before anything that must see the queues as they are (another service
// object, a connection event), so the items' order and the queues' rules are as without a batch.
// Threads: the opening thread only; batches do not nest.
class CDistributionBatch {
 public:
  // Items collected at most before a flush: this bounds how much later than without a batch an
  // item reaches its queue (a queue set to deliver immediately wakes its thread then).
  static constexpr std::size_t kMaxPending = 64;

  CDistributionBatch();
  // Flushes.
  ~CDistributionBatch();
  CDistributionBatch(const CDistributionBatch&) = delete;
  CDistributionBatch& operator=(const CDistributionBatch&) = delete;

  void Flush();

 private:
  friend class CThreadQueue;
  struct SPending {
    CThreadItem* item;
    std::uint32_t firstThread;
    std::uint32_t threadCount;
  };
  // Takes the item (true), or leaves it to the caller when there is no memory to hold it.
  bool Add(CThreadItem* item, std::span<const vok::ThreadId> threads);

  std::vector<SPending> m_pending;
  std::vector<vok::ThreadId> m_threads;
  std::vector<CThreadItem*> m_run;  // Flush's run of items to one queue, kept for its capacity
};

class alignas(64) CThreadQueue {
 public:
  static constexpr std::uint32_t kDrainPeriodMs = 60;
  static constexpr std::size_t kCacheLine = 64;
  // Waiting items from which on the queue conflates snapshots, and prints kept at most.
  static constexpr std::size_t kConflateAt = 65536;
  static constexpr std::size_t kMaxPrints = 65536;
  // One distributed item in this many is stamped for the drain latency statistics.
  static constexpr std::uint32_t kLatencySampleEvery = 8;

  // The calling thread's queue, created and registered on first use; null when the system has no
  // thread slot for it (nothing can be delivered to this thread then).
  static CThreadQueue* CurrentQueue();

  // Queues `item` to the live queue of each thread in `threads` (in that order). The item's
  // references become the number of queues it reached; an item that reached none is destroyed.
  // Returns that number.
  static std::int32_t Distribute(CThreadItem* item, std::span<const vok::ThreadId> threads);
  // As Distribute, but while a CDistributionBatch is open on the calling thread the item joins it
  // and reaches its queues when the batch flushes. The handlers queue their items this way.
  static void Post(CThreadItem* item, std::span<const vok::ThreadId> threads);

  // Takes the items of `gate` out of every queue's waiting list and releases them.
  static void Purge(const CDeliveryGate* gate);
  // How many deliveries through `gate` the calling thread is nested in.
  static std::uint32_t EntriesOnCurrentThread(const CDeliveryGate* gate);
  // The counts of the queue of `thread`; false when that thread has no queue.
  static bool StatisticsOf(vok::ThreadId thread, CQueueStats& out);
  // The counts of every live queue with its thread, in the order the queues were made.
  static std::vector<std::pair<vok::ThreadId, CQueueStats>> AllStatistics();

  CThreadQueue(const CThreadQueue&) = delete;
  CThreadQueue& operator=(const CThreadQueue&) = delete;
  ~CThreadQueue();

  void AddItem(CThreadItem* item);
  // As AddItem for each of `items` in order, under one hold of the queue lock.
  void AddItems(std::span<CThreadItem* const> items);
  CThreadItem* PopItem();
  CQueueStats Statistics();

  // One count per live subscription of this thread (per handler and symbol). The first starts
  // the drain timer, the last stops it. Both return the new count, never below 0.
  int StartTimer();
  int StopTimer();

  // Wake the thread's loop for the first item into an empty queue instead of waiting for the
  // timer. Stays on until set off or until the last subscription stops the timer.
  void SetImmediateDelivery(bool on);

  int TimerCount() const { return m_timerCount; }
  bool TimerRunning() const { return m_timerId != 0; }
  vok::ThreadId Owner() const { return m_owner; }

  // Delivers everything queued now, as a timer tick would. Exposed for the drain timer and for
  // waits that must deliver before they return.
  void Drain();

 private:
  // The gate a drain on the owner thread is inside (null between handlers); nested drains (a
  // callback that pumps) chain to the outer one on the stack.
  struct CEntered {
    CDeliveryGate* gate;
    const CEntered* outer;
  };

  CThreadQueue();

  // With m_lock held, once the queue is past kConflateAt.
  void AddBehind(CThreadItem* item);
  void IndexWaiting();
  void Compact();
  void ResetBehind();
  // Posts one Drain to the owner's loop.
  void WakeOwner();

  // What the dispatcher touches, together: it writes this line for every item it queues.
  const vok::ThreadId m_owner;
  vok::CCriticalSection m_lock;
  // Guarded by m_lock; the queue holds one reference to each item. A null entry is an item taken
  // out while waiting (replaced, dropped or purged).
  std::vector<CThreadItem*> m_items;
  std::size_t m_removed = 0;  // guarded by m_lock: null entries in m_items
  // Guarded by m_lock, used only while the queue is behind: position of the newest waiting
  // snapshot by key hash, and positions of the waiting prints, oldest first.
  bool m_behind = false;
  std::unordered_map<std::uint64_t, std::size_t> m_snapshots;
  std::vector<std::size_t> m_prints;
  std::size_t m_printsHead = 0;
  bool m_dropTraced = false;
  std::uint64_t m_conflated = 0;      // guarded by m_lock
  std::uint64_t m_printsDropped = 0;  // guarded by m_lock
  std::size_t m_highWater = 0;        // guarded by m_lock
  bool m_immediate = false;           // guarded by m_lock
  // Set once by the owner, under m_lock, before m_immediate is first set; never changed after, so
  // a dispatcher that saw m_immediate under the lock may post to it without the lock.
  vok::CMessageTarget m_wakeTarget;
  bool m_hasWakeTarget = false;  // owner thread only
  // Owner thread only, from the next cache line on: the owner steps through a batch item by item,
  // and those writes must not take the dispatcher's line away from it.
  // Items taken from m_items, delivered from m_takenNext on, in order. A callback that pumps its
  // messages drains again from inside and goes on here, with the next item.
  alignas(kCacheLine) std::vector<CThreadItem*> m_taken;
  std::size_t m_takenNext = 0;
  const CEntered* m_innermost = nullptr;
  vok::ThreadTimerId m_timerId = 0;
  int m_timerCount = 0;
  // Written by the owner at each delivery, read by Statistics on any thread without m_lock.
  std::atomic<std::uint64_t> m_delivered{0};
  CLatencyHistogram m_drainLatency;
  vok::CThreadChecker m_threadChecker;
};

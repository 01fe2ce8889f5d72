// CThreadQueue: the dispatch queue of one subscribing thread. Handlers Distribute a work item to
// the queues of every thread that subscribed to its symbol; each thread drains its own queue from
// a 60 ms thread timer on its message loop and hands the items to their handlers, in order.
//
// Threads: a queue is created on first use by its own thread (CurrentQueue) and destroyed when that
// thread ends. AddItem runs on any thread; PopItem, Drain, StartTimer and StopTimer on the owner
// only. The owner takes everything queued in one step into a list only it reads, so the dispatcher
// and the owner meet on the queue lock once per drain, not once per item.
// Locks: the process-wide queue-list lock guards the list of live queues; m_lock guards m_items.
// Order: a handler's lock, then the queue-list lock, then one queue lock at a time.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/critical_section.h"
#include "platform/message_loop.h"
#include "platform/thread.h"
#include "platform/thread_checker.h"

class CThreadItem;

class alignas(64) CThreadQueue {
 public:
  static constexpr std::uint32_t kDrainPeriodMs = 60;
  static constexpr std::size_t kCacheLine = 64;

  // The calling thread's queue, created and registered on first use.
  static CThreadQueue& CurrentQueue();

  // Queues `item` to the live queue of each thread in `threads` (in that order). The item's
  // references become the number of queues it reached; an item that reached none is destroyed.
  // Returns that number.
  static std::int32_t Distribute(CThreadItem* item, std::span<const vok::ThreadId> threads);

  CThreadQueue(const CThreadQueue&) = delete;
  CThreadQueue& operator=(const CThreadQueue&) = delete;
  ~CThreadQueue();

  void AddItem(CThreadItem* item);
  CThreadItem* PopItem();

  // One count per live subscription of this thread (per handler and symbol). The first starts
  // the drain timer, the last stops it. Both return the new count, never below 0.
  int StartTimer();
  int StopTimer();

  int TimerCount() const { return m_timerCount; }
  bool TimerRunning() const { return m_timerId != 0; }
  vok::ThreadId Owner() const { return m_owner; }

  // Delivers everything queued now, as a timer tick would. Exposed for the drain timer and for
  // waits that must deliver before they return.
  void Drain();

 private:
  CThreadQueue();

  // What the dispatcher touches, together: it writes this line for every item it queues.
  const vok::ThreadId m_owner;
  vok::CCriticalSection m_lock;
  std::vector<CThreadItem*> m_items;  // guarded by m_lock; the queue holds one reference to each
  // Owner thread only, from the next cache line on: the owner steps through a batch item by item,
  // and those writes must not take the dispatcher's line away from it.
  // Items taken from m_items, delivered from m_takenNext on, in order. A callback that pumps its
  // messages drains again from inside and goes on here, with the next item.
  alignas(kCacheLine) std::vector<CThreadItem*> m_taken;
  std::size_t m_takenNext = 0;
  vok::ThreadTimerId m_timerId = 0;
  int m_timerCount = 0;
  vok::CThreadChecker m_threadChecker;
};

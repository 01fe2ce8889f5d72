// CThreadQueue: the dispatch queue of one subscribing thread. Handlers Distribute a work item to
// the queues of every thread that subscribed to its symbol; each thread drains its own queue from
// a 60 ms thread timer on its message loop and hands the items to their handlers, in order.
//
// Threads: a queue is created on first use by its own thread (CurrentQueue) and destroyed when that
// thread ends. AddItem runs on any thread; PopItem, StartTimer and StopTimer on the owner only.
// Locks: the process-wide queue-list lock guards the list of live queues; m_lock guards m_items.
// Order: a handler's lock, then the queue-list lock, then one queue lock at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <span>

#include "platform/critical_section.h"
#include "platform/message_loop.h"
#include "platform/thread.h"
#include "platform/thread_checker.h"

class CThreadItem;

class CThreadQueue {
 public:
  static constexpr std::uint32_t kDrainPeriodMs = 60;

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

  vok::CCriticalSection m_lock;
  std::deque<CThreadItem*> m_items;  // guarded by m_lock; the queue holds one reference to each
  vok::ThreadTimerId m_timerId = 0;  // owner thread only
  int m_timerCount = 0;              // owner thread only
  const vok::ThreadId m_owner;
  vok::CThreadChecker m_threadChecker;
};

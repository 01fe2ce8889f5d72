// CTimerQueue: periodic or one-shot timers on the system timer facility, named by a number unique
// within the queue (user info 1), that call an ITimedEventListener. A process-wide map from each
// live CTimerQueueEvent to its system timer lets the timer callback check that the event is still
// registered before it calls the listener, so a timer deleted concurrently is never delivered.
//
// Locking: one process-wide critical section guards the event map and the map of every queue. The
// listener is called outside it, and a deletion that waits for a running callback never waits
// while holding it (the callback needs it first). The listener's AddRef/Release run under it.
#pragma once

#include <atomic>
#include <cstdint>
#include <unordered_map>

#include "connection/timed_event_listener.h"
#include "platform/system_timer.h"

class CTimerQueue;

// One timer. Reference-counted: the registration holds one reference and the creator receives
// one; a callback in progress holds one more. Destroyed when the count reaches 0.
class CTimerQueueEvent {
 public:
  CTimerQueueEvent(CTimerQueue* queue, std::uint32_t userInfo1, std::uint32_t userInfo2, ITimedEventListener* listener,
                   std::uint32_t due, std::uint32_t period);
  CTimerQueueEvent(const CTimerQueueEvent&) = delete;
  CTimerQueueEvent& operator=(const CTimerQueueEvent&) = delete;

  long AddRef();
  long Release();

  CTimerQueue* GetQueue() const { return m_queue; }
  std::uint32_t GetUserInfo1() const { return m_userInfo1; }
  std::uint32_t GetUserInfo2() const { return m_userInfo2; }
  ITimedEventListener* GetListener() const { return m_listener; }
  std::uint32_t GetDueTime() const { return m_due; }
  std::uint32_t GetPeriod() const { return m_period; }
  vok::SystemTimerHandle GetTimerHandle() const { return m_timer; }

 private:
  friend class CTimerQueue;
  ~CTimerQueueEvent();

  CTimerQueue* const m_queue;
  const std::uint32_t m_userInfo1;
  const std::uint32_t m_userInfo2;
  ITimedEventListener* const m_listener;
  const std::uint32_t m_due;
  const std::uint32_t m_period;
  vok::SystemTimerHandle m_timer = nullptr;  // set once, under the process-wide lock
  std::atomic<long> m_refs{1};
};

class CTimerQueue {
 public:
  // An absolute due time in seconds since 1970 (UTC), compared with the system clock.
  struct AbsoluteSeconds {
    std::int64_t seconds;
  };
  // An absolute due time as a date (days since 30 December 1899, UTC), compared with UTC now.
  struct AbsoluteDate {
    double days;
  };

  CTimerQueue();
  CTimerQueue(const CTimerQueue&) = delete;
  CTimerQueue& operator=(const CTimerQueue&) = delete;
  // Deletes every timer of the queue without waiting for running callbacks (safe from inside one).
  ~CTimerQueue();

  // Starts a timer firing after due ms, then every period ms (0: once). *out receives the event
  // with one reference for the caller (to Release), or null when user info 1 is taken or the
  // system refused. Returns whether it succeeded.
  bool CreateTimer(CTimerQueueEvent** out, ITimedEventListener* listener, std::uint32_t userInfo1,
                   std::uint32_t userInfo2, std::uint32_t due, std::uint32_t period, std::uint32_t flags);
  // The same with an absolute due time; fails when it is in the past or 4294967 s or more ahead.
  bool CreateTimer(CTimerQueueEvent** out, ITimedEventListener* listener, std::uint32_t userInfo1,
                   std::uint32_t userInfo2, AbsoluteSeconds due, std::uint32_t period, std::uint32_t flags);
  bool CreateTimer(CTimerQueueEvent** out, ITimedEventListener* listener, std::uint32_t userInfo1,
                   std::uint32_t userInfo2, AbsoluteDate due, std::uint32_t period, std::uint32_t flags);

  // Stops a timer. With wait set, returns after a running callback has finished: never wait from
  // that timer's own callback. False when the event was not registered or the system failed;
  // without wait, also when the system reports a callback still pending (the timer is deleted
  // all the same: no call for it reaches the listener afterwards).
  bool DeleteTimer(CTimerQueueEvent* event, bool wait);
  bool DeleteTimerByUserInfo1(std::uint32_t userInfo1, bool wait);

  // The system timer callback; parameter is the event.
  static void VOK_TIMER_CALLBACK TimerProc(void* parameter, unsigned char fired);

  // Timers of this queue (for tests and traces).
  std::size_t Count() const;

 private:
  bool CreateTimerIn(CTimerQueueEvent** out, ITimedEventListener* listener, std::uint32_t userInfo1,
                     std::uint32_t userInfo2, std::int64_t seconds, std::uint32_t nowMs, std::uint32_t dueOfDaySeconds,
                     std::uint32_t period, std::uint32_t flags);

  std::unordered_map<std::uint32_t, CTimerQueueEvent*> m_events;  // guarded by the process-wide lock
};

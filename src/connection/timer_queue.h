// CTimerQueue: periodic or one-shot timers on the system timer facility that call an
// ITimedEventListener. Placeholder declaration; the queue follows.
#pragma once

#include <cstdint>

#include "connection/timed_event_listener.h"

class CTimerQueue;

class CTimerQueueEvent {
 public:
  std::uint32_t GetUserInfo1() const { return m_userInfo1; }
  std::uint32_t GetUserInfo2() const { return m_userInfo2; }

 private:
  std::uint32_t m_userInfo1 = 0;
  std::uint32_t m_userInfo2 = 0;
};

class CTimerQueue {};

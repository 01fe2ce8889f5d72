// vok::CEvent: a kernel event, auto-reset (one waiter is released and the event clears) or
// manual-reset (stays signalled until Reset). Waited on alone with Wait or with others through
// platform/wait.h. Windows: CreateEvent; Linux: an eventfd. Safe to use from any thread.
#pragma once

#include <cstdint>

#include "platform/wait.h"

namespace vok {

enum class EventReset { Auto, Manual };

class CEvent {
 public:
  explicit CEvent(EventReset reset = EventReset::Auto, bool initiallySignalled = false);
  ~CEvent();
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  // False only when the system could not create the object.
  bool IsValid() const { return m_handle.IsValid(); }

  void Set();
  void Reset();
  // True when the event was signalled within timeoutMs (an auto-reset event is then cleared).
  bool Wait(std::uint32_t timeoutMs = kInfinite) { return WaitForOne(m_handle, timeoutMs) == kWaitObject0; }

  WaitHandle Handle() const { return m_handle; }

 private:
  WaitHandle m_handle;
};

}  // namespace vok

// vok::CWaitTimer: a kernel waitable timer (auto-reset: the wait that sees an expiry consumes it),
// armed once after a delay or periodically, waited on with the other handles of platform/wait.h.
// Windows: CreateWaitableTimer; Linux: a timerfd on the monotonic clock. Any thread may arm,
// cancel or wait.
#pragma once

#include <cstdint>

#include "platform/wait.h"

namespace vok {

class CWaitTimer {
 public:
  CWaitTimer();
  ~CWaitTimer();
  CWaitTimer(const CWaitTimer&) = delete;
  CWaitTimer& operator=(const CWaitTimer&) = delete;

  bool IsValid() const { return m_handle.IsValid(); }

  // Expires once, dueMs from now. Re-arming replaces the previous setting.
  bool SetOnceOffRelative(std::uint32_t dueMs);
  // Expires dueMs from now, then every periodMs.
  bool SetPeriodicRelative(std::uint32_t dueMs, std::uint32_t periodMs);
  // Stops the timer; an expiry that no wait has consumed yet is dropped as well.
  bool Cancel();

  WaitHandle Handle() const { return m_handle; }

 private:
  WaitHandle m_handle;
};

}  // namespace vok

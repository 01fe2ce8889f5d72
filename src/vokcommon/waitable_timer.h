// CWaitableTimer: the common library's waitable timer, used for the heartbeat and reconnect
// timers of the pump thread. Create makes the kernel timer; when due it signals Handle(), which
// the pump thread waits on with its other handles.
#pragma once

#include <memory>

#include "platform/com.h"
#include "platform/wait_timer.h"

class CWaitableTimer {
 public:
  CWaitableTimer() = default;
  CWaitableTimer(const CWaitableTimer&) = delete;
  CWaitableTimer& operator=(const CWaitableTimer&) = delete;

  // The arguments are kept for the callers' sake: always (0, null, null), an auto-reset timer.
  BOOL Create(BOOL manualReset = 0, const void* security = nullptr, const char* name = nullptr);
  BOOL SetOnceOffRelative(DWORD ms);
  BOOL SetPeriodicRelative(DWORD dueMs, DWORD periodMs);
  BOOL Cancel();

  // Invalid until Create succeeded.
  vok::WaitHandle Handle() const;

 private:
  std::unique_ptr<vok::CWaitTimer> m_timer;
};

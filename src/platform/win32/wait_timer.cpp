// Windows backend of platform/wait_timer.h: an unnamed synchronization (auto-reset) waitable timer.
#include "platform/wait_timer.h"

#include <windows.h>

namespace vok {
namespace {

bool Arm(HANDLE timer, std::uint32_t dueMs, std::uint32_t periodMs) {
  if (timer == nullptr) return false;
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(dueMs) * 10000;  // relative, in 100 ns units
  return ::SetWaitableTimer(timer, &due, static_cast<LONG>(periodMs), nullptr, nullptr, FALSE) != FALSE;
}

}  // namespace

CWaitTimer::CWaitTimer() { m_handle.handle = ::CreateWaitableTimerW(nullptr, FALSE, nullptr); }

CWaitTimer::~CWaitTimer() {
  if (m_handle.handle != nullptr) ::CloseHandle(m_handle.handle);
}

bool CWaitTimer::SetOnceOffRelative(std::uint32_t dueMs) { return Arm(m_handle.handle, dueMs, 0); }

bool CWaitTimer::SetPeriodicRelative(std::uint32_t dueMs, std::uint32_t periodMs) {
  return Arm(m_handle.handle, dueMs, periodMs);
}

bool CWaitTimer::Cancel() {
  if (m_handle.handle == nullptr) return false;
  const bool cancelled = ::CancelWaitableTimer(m_handle.handle) != FALSE;
  // CancelWaitableTimer keeps an unconsumed expiry signalled; consuming it here makes both
  // backends agree that a cancelled timer is quiet.
  ::WaitForSingleObject(m_handle.handle, 0);
  return cancelled;
}

}  // namespace vok

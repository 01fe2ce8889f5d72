// Linux backend of platform/wait_timer.h: a timerfd on CLOCK_MONOTONIC. Arming it again (or
// disarming it) clears expiries nobody has consumed, so Cancel leaves it unsignalled.
#include "platform/wait_timer.h"

#include <sys/timerfd.h>

#include "platform/linux/fd_util.h"

namespace vok {
namespace {

timespec ToTimespec(std::uint32_t ms) {
  return timespec{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
}

bool Arm(int fd, std::uint32_t dueMs, std::uint32_t periodMs) {
  if (fd < 0) return false;
  itimerspec spec{};
  spec.it_value = ToTimespec(dueMs);
  // A zero it_value would disarm the timer; "due now" is one nanosecond away.
  if (dueMs == 0) spec.it_value.tv_nsec = 1;
  spec.it_interval = ToTimespec(periodMs);
  return ::timerfd_settime(fd, 0, &spec, nullptr) == 0;
}

}  // namespace

CWaitTimer::CWaitTimer() {
  m_handle.fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  m_handle.autoReset = true;
}

CWaitTimer::~CWaitTimer() { linux_fd::Close(m_handle.fd); }

bool CWaitTimer::SetOnceOffRelative(std::uint32_t dueMs) { return Arm(m_handle.fd, dueMs, 0); }

bool CWaitTimer::SetPeriodicRelative(std::uint32_t dueMs, std::uint32_t periodMs) {
  return Arm(m_handle.fd, dueMs, periodMs);
}

bool CWaitTimer::Cancel() {
  if (m_handle.fd < 0) return false;
  itimerspec spec{};
  return ::timerfd_settime(m_handle.fd, 0, &spec, nullptr) == 0;
}

}  // namespace vok

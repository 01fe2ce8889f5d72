// Windows backend of the system timer: timers of the default timer queue.
#include "platform/system_timer.h"

#include <windows.h>

namespace vok {

SystemTimerHandle CreateSystemTimer(SystemTimerCallback callback, void* parameter, std::uint32_t dueMs,
                                    std::uint32_t periodMs, std::uint32_t flags, std::uint32_t* error) {
  HANDLE timer = nullptr;
  if (!::CreateTimerQueueTimer(&timer, nullptr, reinterpret_cast<WAITORTIMERCALLBACK>(callback), parameter, dueMs,
                               periodMs, flags)) {
    if (error) *error = ::GetLastError();
    return nullptr;
  }
  return timer;
}

bool DeleteSystemTimer(SystemTimerHandle timer, bool wait, std::uint32_t* error) {
  if (::DeleteTimerQueueTimer(nullptr, static_cast<HANDLE>(timer), wait ? INVALID_HANDLE_VALUE : nullptr)) {
    return true;
  }
  if (error) *error = ::GetLastError();
  return false;
}

}  // namespace vok

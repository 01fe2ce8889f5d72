// Windows backend of platform/wait.h: WaitForMultipleObjects, wait-any.
#include "platform/wait.h"

#include <windows.h>

namespace vok {

std::uint32_t WaitForAny(std::span<const WaitHandle> handles, std::uint32_t timeoutMs) {
  if (handles.empty() || handles.size() > kMaximumWaitObjects) return kWaitFailed;
  HANDLE raw[kMaximumWaitObjects];
  for (std::size_t i = 0; i < handles.size(); ++i) {
    if (!handles[i].IsValid()) return kWaitFailed;
    raw[i] = handles[i].handle;
  }
  const DWORD result = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), raw, FALSE, timeoutMs);
  if (result < WAIT_OBJECT_0 + handles.size()) return result - WAIT_OBJECT_0;
  if (result == WAIT_TIMEOUT) return kWaitTimeout;
  if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + handles.size()) return result - WAIT_ABANDONED_0;
  return kWaitFailed;
}

}  // namespace vok

// The trace of an exception stopped at the COM boundary.
#include "service/com_guard.h"

#include "vkdll/vkdll.h"

namespace vok {

void TraceUnexpectedException(const char* method) noexcept {
  try {
    VOKTRACE_Printf(VOKTRACE_FAILURE, "%s: unexpected exception, returning E_UNEXPECTED", method);
  } catch (...) {
    // Tracing that fails must not undo the barrier.
  }
}

}  // namespace vok

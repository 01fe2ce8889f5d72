// Windows backend of platform/thread.h.
#include "platform/thread.h"

#include <windows.h>

namespace vok {

ThreadId CurrentThreadId() { return ::GetCurrentThreadId(); }

std::uint64_t MonotonicMs() { return ::GetTickCount64(); }

void SleepMs(std::uint32_t ms) { ::Sleep(ms); }

}  // namespace vok

// Windows backend of platform/thread.h.
#include "platform/thread.h"

#include <windows.h>

#include "platform/text.h"

namespace vok {

ThreadId CurrentThreadId() { return ::GetCurrentThreadId(); }

void SetCurrentThreadName(const char* name) {
  // SetThreadDescription exists from Windows 10 1607 on; older systems simply keep no names.
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  auto setDescription = reinterpret_cast<SetDescription>(
      reinterpret_cast<void*>(kernel != nullptr ? ::GetProcAddress(kernel, "SetThreadDescription") : nullptr));
  if (setDescription == nullptr) return;
  setDescription(::GetCurrentThread(), WideFromNarrow(name).c_str());
}

std::uint64_t MonotonicMs() { return ::GetTickCount64(); }

std::int64_t CoarseWallClockNs() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  // 100 ns units since 1601 to ns since 1970.
  const std::int64_t ticks = (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000LL) * 100;
}

void SleepMs(std::uint32_t ms) { ::Sleep(ms); }

}  // namespace vok

// Waiting on kernel objects: a WaitHandle names one waitable object (an event, a waitable timer,
// a thread's end) without owning it, and WaitForAny waits for the first of several to be
// signalled, like WaitForMultipleObjects with wait-any. Windows: the object's HANDLE; Linux: a
// file descriptor (eventfd, timerfd) that poll reports readable while the object is signalled.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

namespace vok {

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;
inline constexpr std::size_t kMaximumWaitObjects = 64;

struct WaitHandle {
#ifdef _WIN32
  void* handle = nullptr;
  bool IsValid() const { return handle != nullptr; }
#else
  int fd = -1;
  // Auto-reset objects are consumed by the wait that reports them, so exactly one waiter wakes.
  bool autoReset = false;
  bool IsValid() const { return fd >= 0; }
#endif
};

// Waits until one of the handles is signalled or timeoutMs passes (kInfinite: no limit).
// Returns the index of the first signalled handle (an auto-reset one is reset by this), or
// kWaitTimeout, or kWaitFailed for an empty list, more than kMaximumWaitObjects or a bad handle.
std::uint32_t WaitForAny(std::span<const WaitHandle> handles, std::uint32_t timeoutMs);

inline std::uint32_t WaitForAny(std::initializer_list<WaitHandle> handles, std::uint32_t timeoutMs) {
  return WaitForAny(std::span<const WaitHandle>(handles.begin(), handles.size()), timeoutMs);
}

// kWaitObject0, kWaitTimeout or kWaitFailed.
inline std::uint32_t WaitForOne(WaitHandle handle, std::uint32_t timeoutMs) {
  return WaitForAny(std::span<const WaitHandle>(&handle, 1), timeoutMs);
}

}  // namespace vok

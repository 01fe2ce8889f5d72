// Small helpers shared by the Linux backends for the file descriptors behind waitable objects.
#pragma once

#include <unistd.h>

#include <cstdint>

#if defined(__SANITIZE_THREAD__)
#define VOK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VOK_TSAN 1
#endif
#endif

#ifdef VOK_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace vok::linux_fd {

// ThreadSanitizer cannot see that signalling a descriptor in one thread and seeing it readable in
// another orders the two threads, so signal and wait tell it through a sync address per descriptor.
inline void* SyncAddress(int fd) {
  static char s_sync[4096];
  return &s_sync[static_cast<unsigned>(fd) % sizeof s_sync];
}
inline void AnnotateSignal([[maybe_unused]] int fd) {
#ifdef VOK_TSAN
  __tsan_release(SyncAddress(fd));
#endif
}
inline void AnnotateWoken([[maybe_unused]] int fd) {
#ifdef VOK_TSAN
  __tsan_acquire(SyncAddress(fd));
#endif
}

// Reads the 8-byte counter of an eventfd or timerfd without blocking; false when it was zero.
inline bool Drain(int fd) {
  std::uint64_t value = 0;
  const bool drained = ::read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
  if (drained) AnnotateWoken(fd);
  return drained;
}

inline void Signal(int fd) {
  AnnotateSignal(fd);
  const std::uint64_t one = 1;
  // Only fails when the counter would overflow, and then the fd is signalled anyway.
  [[maybe_unused]] ssize_t written = ::write(fd, &one, sizeof one);
}

inline void Close(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace vok::linux_fd

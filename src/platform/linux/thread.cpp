// Linux backend of platform/thread.h.
#include "platform/thread.h"

#include <cstddef>

#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace vok {

ThreadId CurrentThreadId() {
  thread_local const ThreadId id = static_cast<ThreadId>(::syscall(SYS_gettid));
  return id;
}

void SetCurrentThreadName(const char* name) {
  char shortName[16] = {};
  for (std::size_t i = 0; i + 1 < sizeof shortName && name[i] != '\0'; ++i) shortName[i] = name[i];
  ::pthread_setname_np(::pthread_self(), shortName);
}

std::uint64_t MonotonicMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

std::int64_t CoarseWallClockNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void SleepMs(std::uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace vok

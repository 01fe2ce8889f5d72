// Small helpers shared by the Linux backends for the file descriptors behind waitable objects.
#pragma once

#include <unistd.h>

#include <cstdint>

namespace vok::linux_fd {

// Reads the 8-byte counter of an eventfd or timerfd without blocking; false when it was zero.
inline bool Drain(int fd) {
  std::uint64_t value = 0;
  return ::read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

inline void Signal(int fd) {
  const std::uint64_t one = 1;
  // Only fails when the counter would overflow, and then the fd is signalled anyway.
  [[maybe_unused]] ssize_t written = ::write(fd, &one, sizeof one);
}

inline void Close(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace vok::linux_fd

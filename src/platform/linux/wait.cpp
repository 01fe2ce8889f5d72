// Linux backend of platform/wait.h: poll over the handles' descriptors. A readable auto-reset
// descriptor is claimed by reading it; when another waiter got there first the read finds
// nothing and the wait goes on, so an auto-reset object releases exactly one waiter.
#include "platform/wait.h"

#include <poll.h>

#include <cerrno>
#include <climits>

#include "platform/linux/fd_util.h"
#include "platform/linux/wait_internal.h"
#include "platform/thread.h"

namespace vok {
namespace linux_wait {

std::uint32_t WaitForAnyOrFd(std::span<const WaitHandle> handles, int extraFd, std::uint32_t timeoutMs) {
  if (handles.size() > kMaximumWaitObjects || (handles.empty() && extraFd < 0)) return kWaitFailed;
  pollfd fds[kMaximumWaitObjects + 1];
  std::size_t count = 0;
  for (const WaitHandle& handle : handles) {
    if (!handle.IsValid()) return kWaitFailed;
    fds[count++] = pollfd{handle.fd, POLLIN, 0};
  }
  if (extraFd >= 0) fds[count++] = pollfd{extraFd, POLLIN, 0};

  const std::uint64_t deadline = timeoutMs == kInfinite ? 0 : MonotonicMs() + timeoutMs;
  for (;;) {
    int pollTimeout = -1;
    if (timeoutMs != kInfinite) {
      const std::uint64_t now = MonotonicMs();
      const std::uint64_t remaining = deadline > now ? deadline - now : 0;
      pollTimeout = remaining > INT_MAX ? INT_MAX : static_cast<int>(remaining);
    }
    const int ready = ::poll(fds, count, pollTimeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return kWaitFailed;
    }
    for (std::size_t i = 0; i < count; ++i) {
      if ((fds[i].revents & POLLNVAL) != 0) return kWaitFailed;
      if ((fds[i].revents & (POLLIN | POLLERR | POLLHUP)) == 0) continue;
      if (i == handles.size()) return static_cast<std::uint32_t>(i);
      if (!handles[i].autoReset) {
        linux_fd::AnnotateWoken(fds[i].fd);
        return static_cast<std::uint32_t>(i);
      }
      if (linux_fd::Drain(fds[i].fd)) return static_cast<std::uint32_t>(i);
    }
    if (ready == 0 && pollTimeout == 0) return kWaitTimeout;
    if (timeoutMs != kInfinite && MonotonicMs() >= deadline) return kWaitTimeout;
  }
}

}  // namespace linux_wait

std::uint32_t WaitForAny(std::span<const WaitHandle> handles, std::uint32_t timeoutMs) {
  if (handles.empty()) return kWaitFailed;
  return linux_wait::WaitForAnyOrFd(handles, -1, timeoutMs);
}

}  // namespace vok

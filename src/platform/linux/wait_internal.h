// Linux-only: the wait loop behind WaitForAny, with one extra descriptor that the message loop
// adds for "input pending" (reported as index handles.size(), never consumed).
#pragma once

#include <cstdint>
#include <span>

#include "platform/wait.h"

namespace vok::linux_wait {

std::uint32_t WaitForAnyOrFd(std::span<const WaitHandle> handles, int extraFd, std::uint32_t timeoutMs);

}  // namespace vok::linux_wait

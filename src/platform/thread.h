// Threads and clocks: the id of the calling thread (as printed in traces and kept in master
// records), a monotonic millisecond clock for time-outs, and a plain sleep.
#pragma once

#include <cstdint>

namespace vok {

using ThreadId = std::uint32_t;

ThreadId CurrentThreadId();

// Milliseconds since an arbitrary start; never goes backwards, does not wrap in practice.
std::uint64_t MonotonicMs();

void SleepMs(std::uint32_t ms);

}  // namespace vok

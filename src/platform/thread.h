// Threads and clocks: the id of the calling thread (as printed in traces and kept in master
// records), the name the calling thread shows in debuggers and process monitors, a monotonic
// millisecond clock for time-outs, a coarse wall clock, and a plain sleep.
#pragma once

#include <cstdint>

namespace vok {

using ThreadId = std::uint32_t;

ThreadId CurrentThreadId();

// Names the calling thread for debuggers and monitors (at most 15 characters show on Linux);
// nothing happens where the system cannot name threads.
void SetCurrentThreadName(const char* name);

// Milliseconds since an arbitrary start; never goes backwards, does not wrap in practice.
std::uint64_t MonotonicMs();

// Wall-clock nanoseconds since 1970 UTC at the system's tick resolution (a few milliseconds):
// cheaper than a precise reading, for times kept per update and only compared in seconds.
std::int64_t CoarseWallClockNs();

void SleepMs(std::uint32_t ms);

}  // namespace vok

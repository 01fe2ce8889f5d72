// vok::CreateSystemTimer / DeleteSystemTimer: one-shot or periodic timers that call a function on
// a system timer thread. Windows: timers of the process's default timer queue
// (CreateTimerQueueTimer), callbacks on the system's pool threads. Linux: one timer thread for
// the process that runs every callback in turn.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VOK_TIMER_CALLBACK __attribute__((stdcall))
#else
#define VOK_TIMER_CALLBACK
#endif

namespace vok {

// The callback's shape is the system's own (parameter, "timer fired" flag), so the function is
// handed to the system as it is and no wrapper has to outlive a deleted timer.
using SystemTimerCallback = void(VOK_TIMER_CALLBACK*)(void* parameter, unsigned char fired);
using SystemTimerHandle = void*;

// What DeleteSystemTimer reports when it did not wait and a callback is still running.
inline constexpr std::uint32_t kSystemTimerCallbackRunning = 997;

// Calls callback(parameter, 1) after dueMs and then every periodMs (0: once). flags go to the
// system unchanged (Windows WT_* flags; ignored on Linux). Null, with the system error in *error,
// on failure.
SystemTimerHandle CreateSystemTimer(SystemTimerCallback callback, void* parameter, std::uint32_t dueMs,
                                    std::uint32_t periodMs, std::uint32_t flags, std::uint32_t* error);

// Deletes a timer: no callback starts afterwards. With wait set it returns after a running
// callback has finished (never wait from that callback itself); without it, a running callback
// makes it return false with kSystemTimerCallbackRunning, the timer being deleted all the same.
bool DeleteSystemTimer(SystemTimerHandle timer, bool wait, std::uint32_t* error);

}  // namespace vok

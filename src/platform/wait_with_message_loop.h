// WaitWithMessageLoop: waits for one handle while the calling thread keeps dispatching its own
// messages, so a client thread that waits (for the pump thread to end, for a single quote) still
// receives its callbacks and COM calls into its apartment.
#pragma once

#include <cstdint>

#include "platform/wait.h"

namespace vok {

// What WaitWithMessageLoop returns when the thread was asked to quit while it waited.
inline constexpr std::uint32_t kWaitQuit = 0x400;

// 0 when the handle was signalled, kWaitTimeout when timeoutMs passed with no signal (each batch
// of input restarts the full time-out), kWaitQuit when its pump met a quit request (WM_QUIT on
// Windows, QuitMessageLoop): the wait ends at once without waiting for the handle, and the
// request stays pending for the thread's own loop (Windows posts the WM_QUIT again with its exit
// code), so a host's main loop still ends. Any other wait result comes back as it came.
std::uint32_t WaitWithMessageLoop(WaitHandle handle, std::uint32_t timeoutMs);

}  // namespace vok

// WaitWithMessageLoop: waits for one handle while the calling thread keeps dispatching its own
// messages, so a client thread that waits (for the pump thread to end, for a single quote) still
// receives its callbacks and COM calls into its apartment.
#pragma once

#include <cstdint>

#include "platform/wait.h"

namespace vok {

// 0 when the handle was signalled, kWaitTimeout when timeoutMs passed with no signal (each batch
// of input restarts the full time-out), any other wait result as it came.
std::uint32_t WaitWithMessageLoop(WaitHandle handle, std::uint32_t timeoutMs);

}  // namespace vok

// WaitWithMessageLoop on top of the message loop's wait and pump, the same on both systems.
#include "platform/wait_with_message_loop.h"

#include "platform/message_loop.h"

namespace vok {

std::uint32_t WaitWithMessageLoop(WaitHandle handle, std::uint32_t timeoutMs) {
  const WaitHandle handles[] = {handle};
  for (;;) {
    const std::uint32_t result = MsgWaitForAny(handles, timeoutMs);
    if (result == kWaitTimeout || result == kWaitObject0) return result;
    if (result != 1) return result;  // failed
    // Input: deliver everything pending, then look at the handle once without waiting. A quit
    // ends the wait like a modal loop: swallowing it would leave the host's loop running.
    PumpMessages();
    if (QuitPending()) return kWaitQuit;
    const std::uint32_t now = WaitForOne(handle, 0);
    if (now != kWaitTimeout) return now;
  }
}

}  // namespace vok

// RunMessageLoop for both platforms, on top of each backend's PumpMessages and MsgWaitForAny.
#include "platform/message_loop.h"

#include "platform/message_loop_backend.h"
#include "platform/thread.h"

namespace vok {
namespace {

LoopExit Run(WaitHandle stop, const std::function<bool()>* done, std::uint32_t timeoutMs) {
  const std::uint64_t deadline = timeoutMs == kInfinite ? 0 : MonotonicMs() + timeoutMs;
  const std::span<const WaitHandle> handles(&stop, stop.IsValid() ? 1 : 0);
  for (;;) {
    PumpMessages();
    if (QuitPending()) {
      message_loop_backend::TakeQuitRequest();
      return LoopExit::Quit;
    }
    if (done != nullptr && (*done)()) return LoopExit::Stopped;
    std::uint32_t wait = kInfinite;
    if (timeoutMs != kInfinite) {
      const std::uint64_t now = MonotonicMs();
      if (now >= deadline) return LoopExit::Timeout;
      wait = static_cast<std::uint32_t>(deadline - now);
    }
    const std::uint32_t result = MsgWaitForAny(handles, wait);
    if (result == 0 && !handles.empty()) return LoopExit::Stopped;
    if (result == kWaitFailed) return LoopExit::Failed;
  }
}

}  // namespace

LoopExit RunMessageLoop(WaitHandle stop, std::uint32_t timeoutMs) { return Run(stop, nullptr, timeoutMs); }

LoopExit RunMessageLoop(const std::function<bool()>& done, std::uint32_t timeoutMs) {
  return Run(WaitHandle{}, &done, timeoutMs);
}

}  // namespace vok

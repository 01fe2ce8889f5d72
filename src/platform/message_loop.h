// The calling thread's message loop: thread timers (a periodic callback on the thread that set
// it), calls posted to a thread, pumping what is pending, and waits that wake on input. The
// component delivers every subscription callback through this loop, so a thread that subscribes
// must keep it running. On Windows it is the thread's ordinary user32 message queue (a client's
// own GetMessage/DispatchMessage loop drives the callbacks); on Linux it is a per-thread queue
// created on first use, driven by these calls or by the client's own poll loop:
//
//   // Let the thread run its callbacks until `done` is set, or plug MessageLoopFd() into poll:
//   vok::RunMessageLoop(done.Handle());
//   ...
//   pollfd fds[] = {{vok::MessageLoopFd(), POLLIN, 0}, {mySocket, POLLIN, 0}};
//   while (::poll(fds, 2, -1) >= 0) {
//     if (fds[0].revents & POLLIN) {
//       vok::PumpMessages();
//       if (vok::QuitPending()) break;  // QuitMessageLoop was called on this thread
//     }
//     ...
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "platform/wait.h"

namespace vok {

using ThreadTimerId = std::uintptr_t;

// Starts a periodic timer of periodMs on the calling thread: `callback` runs on this thread from
// its message loop, once per period at most (missed ticks are not caught up). Returns the timer's
// id, never 0; 0 when the system refused. Call KillThreadTimer on the same thread to stop it; the
// thread's end stops the timers it still has.
ThreadTimerId SetThreadTimer(std::uint32_t periodMs, std::function<void()> callback);
// Stops a timer of the calling thread; false when it has no such timer. Safe inside the callback.
bool KillThreadTimer(ThreadTimerId id);

// Where calls can be posted to one thread's message loop. Copyable; posting after the thread has
// ended fails and destroys the call.
class CMessageTarget {
 public:
  struct State;
  CMessageTarget() = default;
  explicit CMessageTarget(std::weak_ptr<State> state) : m_state(std::move(state)) {}

  // Queues `call` to run on the target thread from its message loop, in posting order.
  bool PostCall(std::function<void()> call) const;

 private:
  std::weak_ptr<State> m_state;
};

// The calling thread's target (creates its queue on first use).
CMessageTarget CurrentMessageTarget();

// Runs everything pending for the calling thread now (posted calls, due timers, and on Windows
// any window message) and returns how many were dispatched. A quit request (WM_QUIT on Windows,
// QuitMessageLoop on Linux) stops it, and is left for the thread's own loop: Windows takes the
// WM_QUIT out of the queue and posts it again with its exit code, Linux keeps the request. A wait
// that pumps must therefore look at QuitPending() after each PumpMessages and end when it is
// set, or it would only find the same quit again.
std::size_t PumpMessages();

// True when a quit request waits for the calling thread's own loop (RunMessageLoop, or a host's
// GetMessage loop) to take it. On Windows this is known once a PumpMessages has met the WM_QUIT.
bool QuitPending();

// Waits for one of `handles` or for input to the calling thread's message loop. Returns the index
// of the signalled handle, handles.size() when input is pending (call PumpMessages), kWaitTimeout
// or kWaitFailed. Input already pending when it is called counts.
std::uint32_t MsgWaitForAny(std::span<const WaitHandle> handles, std::uint32_t timeoutMs);

enum class LoopExit { Stopped, Quit, Timeout, Failed };

// Pumps the calling thread's messages until `stop` is signalled (Stopped), QuitMessageLoop is
// called on this thread or a WM_QUIT arrives (Quit; the loop takes the request, as the thread's
// own loop) or timeoutMs passes (Timeout). An invalid `stop` waits only for quit or time-out.
LoopExit RunMessageLoop(WaitHandle stop, std::uint32_t timeoutMs = kInfinite);
// As above, but stops once `done()` is true; it is checked after each batch of messages.
LoopExit RunMessageLoop(const std::function<bool()>& done, std::uint32_t timeoutMs = kInfinite);

// Makes the calling thread's current or next RunMessageLoop return Quit, and ends a
// WaitWithMessageLoop in progress on it (PostQuitMessage(0) on Windows).
void QuitMessageLoop();

#ifndef _WIN32
// A descriptor that poll reports readable while the calling thread has input pending (a posted
// call, a due timer or a quit request). Owned by the thread's queue; do not close or read it.
int MessageLoopFd();
#endif

}  // namespace vok

// vok::CThreadHandle: starts a thread running a function and owns it until it is joined or
// detached; the destructor joins. EndHandle() is signalled once the thread has finished
// (thread-local objects included), so it can be waited on with other handles or inside a
// message-loop wait. Use from one owning thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/thread.h"
#include "platform/wait.h"

namespace vok {

// Runs a thread's body so that no exception leaves the thread: one that would end the whole host
// process ends only this thread instead (and stops a debug build, since it is a bug).
void RunThreadBody(const std::function<void()>& body) noexcept;

class CThreadHandle {
 public:
  CThreadHandle();
  ~CThreadHandle();
  CThreadHandle(CThreadHandle&& other) noexcept;
  CThreadHandle& operator=(CThreadHandle&& other) noexcept;
  CThreadHandle(const CThreadHandle&) = delete;
  CThreadHandle& operator=(const CThreadHandle&) = delete;

  // Starts `body` on a new thread; false when a thread is already held or the system refused.
  bool Start(std::function<void()> body);
  // Waits up to timeoutMs for the thread to end; true (and the handle released) when it has.
  bool Join(std::uint32_t timeoutMs = kInfinite);
  // Lets the thread run on unowned; it cleans up after itself.
  void Detach();

  bool Joinable() const;
  ThreadId Id() const;
  WaitHandle EndHandle() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace vok

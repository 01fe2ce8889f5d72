// CMailbox: how work reaches vokquote's main thread from the library's threads (connection events,
// server notices). Post from any thread; the main thread polls Fd() and runs what arrived with
// RunPending, in the order it was posted. Calls posted after the mailbox is gone cannot happen:
// posters hold it through a shared pointer.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "system.h"

namespace vok::cli {

class CMailbox {
 public:
  void Post(std::function<void()> call);
  int Fd() const { return m_wake.Fd(); }
  // Main thread: runs every call posted so far.
  void RunPending();

 private:
  std::mutex m_lock;
  std::deque<std::function<void()>> m_calls;  // guarded by m_lock
  CWakeFd m_wake;
};

}  // namespace vok::cli

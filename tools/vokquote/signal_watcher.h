// CSignalWatcher: turns SIGINT, SIGTERM and SIGWINCH into a descriptor that the live loop polls,
// so a signal ends the loop normally and every destructor (terminal, session, simulator) runs.
// Construct it on the main thread before any other thread starts: threads inherit the blocked
// set, so no thread is picked to run a default action. SIGPIPE is ignored: a closed pipe shows up
// as a failed write.
#pragma once

namespace vok::cli {

class CSignalWatcher {
 public:
  CSignalWatcher();
  CSignalWatcher(const CSignalWatcher&) = delete;
  CSignalWatcher& operator=(const CSignalWatcher&) = delete;
  ~CSignalWatcher();

  int Fd() const { return m_fd; }
  // The next pending signal number, or 0 when none is pending.
  int Take();

 private:
  int m_fd = -1;
};

}  // namespace vok::cli

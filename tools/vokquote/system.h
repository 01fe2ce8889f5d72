// The one module of vokquote that calls the operating system: the standard descriptors, terminal
// queries and key modes, whole writes, waiting for several descriptors at once, the signals the
// live loop watches, a wake-up descriptor, the file checks of the password file and the monotonic
// clock. Everything else of the tool is portable C++ over the public API.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vok::cli {

inline constexpr int kStdIn = 0;
inline constexpr int kStdOut = 1;
inline constexpr int kStdErr = 2;

// Milliseconds of a clock that never goes back.
std::uint64_t MonotonicMs();

bool IsTerminal(int fd);
// The size of the terminal on fd; 80 x 24 when it does not say.
void TerminalSize(int fd, int& width, int& height);
// Writes all of text to fd, retrying short writes and interrupted calls. False on any error.
bool WriteAll(int fd, std::string_view text);
// Reads what is there (at most size bytes); 0 at the end, -1 on an error.
long ReadSome(int fd, char* buffer, std::size_t size);
// Waits up to timeoutMs for one of fds[0..count) (at most 4; negative ones are skipped) to be
// readable or hung up; returns a bit per descriptor that is (bit i for fds[i]), 0 on time-out.
unsigned WaitReadable(const int* fds, int count, int timeoutMs);
bool IsDirectory(const std::string& path);

// Keys one by one and unechoed on a terminal (Ctrl-C still raises SIGINT), until it goes; nothing
// when fd is not a terminal.
class CKeyMode {
 public:
  explicit CKeyMode(int fd);
  CKeyMode(const CKeyMode&) = delete;
  CKeyMode& operator=(const CKeyMode&) = delete;
  ~CKeyMode();

 private:
  struct SSaved;
  int m_fd;
  std::unique_ptr<SSaved> m_saved;  // null when nothing was changed
};

// Turns SIGINT, SIGTERM and SIGWINCH into a descriptor that the live loop polls, so a signal ends
// the loop normally and every destructor (terminal, session, simulator) runs. Construct it on the
// main thread before any other thread starts: threads inherit the blocked set, so no thread is
// picked to run a default action. SIGPIPE is ignored: a closed pipe shows up as a failed write.
class CSignalWatcher {
 public:
  CSignalWatcher();
  CSignalWatcher(const CSignalWatcher&) = delete;
  CSignalWatcher& operator=(const CSignalWatcher&) = delete;
  ~CSignalWatcher();

  int Fd() const;
  // The next pending signal number, or 0 when none is pending.
  int Take();

 private:
  struct SFd;
  std::unique_ptr<SFd> m_fd;
};

// A descriptor that polls readable from Signal (any thread) until Clear.
class CWakeFd {
 public:
  CWakeFd();
  CWakeFd(const CWakeFd&) = delete;
  CWakeFd& operator=(const CWakeFd&) = delete;
  ~CWakeFd();

  int Fd() const;
  void Signal();
  void Clear();

 private:
  struct SFd;
  std::unique_ptr<SFd> m_fd;
};

}  // namespace vok::cli

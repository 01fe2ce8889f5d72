// vokquote's calls to the operating system (Linux). Descriptors are held by the tree's one fd owner.
#include "system.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>

#include "platform/linux/unique_fd.h"

namespace vok::cli {

std::uint64_t MonotonicMs() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

void TerminalSize(int fd, int& width, int& height) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
    width = size.ws_col;
    height = size.ws_row;
  } else {
    width = 80;
    height = 24;
  }
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

long ReadSome(int fd, char* buffer, std::size_t size) { return static_cast<long>(::read(fd, buffer, size)); }

unsigned WaitReadable(const int* fds, int count, int timeoutMs) {
  pollfd polled[4] = {};
  const int n = count < 4 ? count : 4;
  for (int i = 0; i < n; ++i) polled[i] = pollfd{fds[i], POLLIN, 0};
  if (::poll(polled, static_cast<nfds_t>(n), timeoutMs) <= 0) return 0;
  unsigned ready = 0;
  for (int i = 0; i < n; ++i)
    if (polled[i].revents != 0) ready |= 1u << i;
  return ready;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

struct CKeyMode::SSaved {
  termios modes{};
};

CKeyMode::CKeyMode(int fd) : m_fd(fd) {
  auto saved = std::make_unique<SSaved>();
  if (!IsTerminal(fd) || ::tcgetattr(fd, &saved->modes) != 0) return;
  termios modes = saved->modes;
  modes.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  modes.c_cc[VMIN] = 0;
  modes.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &modes) == 0) m_saved = std::move(saved);
}

CKeyMode::~CKeyMode() {
  if (m_saved) ::tcsetattr(m_fd, TCSANOW, &m_saved->modes);
}

struct CSignalWatcher::SFd {
  CUniqueFd fd;
};

CSignalWatcher::CSignalWatcher() : m_fd(std::make_unique<SFd>()) {
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGWINCH);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  m_fd->fd.Reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
}

// The signals stay blocked: one that arrives now is left pending until the process ends.
CSignalWatcher::~CSignalWatcher() = default;

int CSignalWatcher::Fd() const { return m_fd->fd.Get(); }

int CSignalWatcher::Take() {
  signalfd_siginfo info{};
  if (!m_fd->fd.Valid() || ::read(m_fd->fd.Get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
  return static_cast<int>(info.ssi_signo);
}

struct CWakeFd::SFd {
  CUniqueFd fd;
};

CWakeFd::CWakeFd() : m_fd(std::make_unique<SFd>()) { m_fd->fd.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)); }

CWakeFd::~CWakeFd() = default;

int CWakeFd::Fd() const { return m_fd->fd.Get(); }

void CWakeFd::Signal() {
  const std::uint64_t one = 1;
  // Fails only when the counter would overflow, and then it is readable anyway.
  [[maybe_unused]] const ssize_t written = ::write(m_fd->fd.Get(), &one, sizeof one);
}

void CWakeFd::Clear() {
  std::uint64_t value = 0;
  [[maybe_unused]] const ssize_t got = ::read(m_fd->fd.Get(), &value, sizeof value);
}

}  // namespace vok::cli

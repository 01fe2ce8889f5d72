// Signals delivered through a signalfd.
#include "signal_watcher.h"

#include <csignal>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace vok::cli {

CSignalWatcher::CSignalWatcher() {
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGWINCH);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  m_fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

CSignalWatcher::~CSignalWatcher() {
  // The signals stay blocked: one that arrives now is left pending until the process ends.
  if (m_fd >= 0) ::close(m_fd);
}

int CSignalWatcher::Take() {
  signalfd_siginfo info{};
  if (m_fd < 0 || ::read(m_fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
  return static_cast<int>(info.ssi_signo);
}

}  // namespace vok::cli

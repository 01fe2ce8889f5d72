// Child processes for the end-to-end tests of the tools.
#include "child_process_test_util.h"

#include <chrono>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace vok::test {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

int StatusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

// argv and envp built before fork: the child calls only exec and async-signal-safe calls.
struct SExecArgs {
  std::vector<std::string> strings;
  std::vector<char*> argv;
  std::vector<std::string> envStrings;
  std::vector<char*> envp;

  SExecArgs(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& environment) {
    strings.push_back(program);
    strings.insert(strings.end(), args.begin(), args.end());
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    for (char** e = environ; *e != nullptr; ++e) {
      // The tests decide the password source; an inherited one would change what they see.
      if (std::strncmp(*e, "VOKQUOTE_PASSWORD=", 18) != 0) envStrings.emplace_back(*e);
    }
    envStrings.insert(envStrings.end(), environment.begin(), environment.end());
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
  }
};

}  // namespace

SChildResult RunChild(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                      int timeoutMs, const std::vector<std::string>& environment) {
  SChildResult result;
  SExecArgs exec(program, args, environment);
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  std::size_t written = 0;
  int inFd = in[1];
  if (input.empty()) {
    ::close(inFd);
    inFd = -1;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int outFd = out[0], errFd = err[0];
  while ((outFd >= 0 || errFd >= 0) && MsLeft(deadline) > 0) {
    pollfd fds[3] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {inFd, POLLOUT, 0}};
    if (::poll(fds, 3, MsLeft(deadline)) <= 0) continue;
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
      } else {
        ::close(fds[i].fd);
        (i == 0 ? outFd : errFd) = -1;
      }
    }
    if (inFd >= 0 && fds[2].revents != 0) {
      const ssize_t put = ::write(inFd, input.data() + written, input.size() - written);
      if (put > 0) written += static_cast<std::size_t>(put);
      if (put <= 0 || written == input.size()) {
        ::close(inFd);
        inFd = -1;
      }
    }
  }
  for (int fd : {inFd, outFd, errFd})
    if (fd >= 0) ::close(fd);
  int raw = 0;
  pid_t reaped = ::waitpid(pid, &raw, WNOHANG);
  while (reaped == 0 && MsLeft(deadline) > 0) {
    ::usleep(10000);
    reaped = ::waitpid(pid, &raw, WNOHANG);
  }
  if (reaped == pid) {
    result.status = StatusOf(raw);
  } else {
    result.timedOut = true;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &raw, 0);
  }
  return result;
}

CPtyChild::~CPtyChild() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGKILL);
    int raw = 0;
    ::waitpid(m_pid, &raw, 0);
  }
  if (m_master >= 0) ::close(m_master);
}

bool CPtyChild::Start(const std::string& program, const std::vector<std::string>& args, int columns, int rows) {
  SExecArgs exec(program, args, {"TERM=xterm"});
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  const pid_t pid = ::forkpty(&m_master, nullptr, nullptr, &size);
  if (pid < 0) return false;
  if (pid == 0) {
    ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    ::_exit(127);
  }
  m_pid = pid;
  return true;
}

bool CPtyChild::ReadSome(int timeoutMs) {
  pollfd fd{m_master, POLLIN, 0};
  if (::poll(&fd, 1, timeoutMs) <= 0) return timeoutMs > 0 ? true : false;
  char buffer[65536];
  const ssize_t got = ::read(m_master, buffer, sizeof buffer);
  if (got <= 0) return false;  // EIO once the child has closed the terminal
  m_output.append(buffer, static_cast<std::size_t>(got));
  return true;
}

bool CPtyChild::ReadUntil(const std::string& needle, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (m_output.find(needle) == std::string::npos) {
    if (MsLeft(deadline) == 0 || !ReadSome(MsLeft(deadline))) return m_output.find(needle) != std::string::npos;
  }
  return true;
}

void CPtyChild::ReadToEnd(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (MsLeft(deadline) > 0 && ReadSome(MsLeft(deadline))) {
  }
}

bool CPtyChild::Send(const std::string& text) {
  return ::write(m_master, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void CPtyChild::Signal(int signal) {
  if (m_pid > 0) ::kill(m_pid, signal);
}

int CPtyChild::Wait(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int raw = 0;
  while (m_pid > 0) {
    if (::waitpid(m_pid, &raw, WNOHANG) == m_pid) {
      m_pid = -1;
      return StatusOf(raw);
    }
    if (MsLeft(deadline) == 0) return -1;
    ::usleep(10000);
  }
  return -1;
}

unsigned CPtyChild::LocalModes() const {
  termios modes{};
  if (::tcgetattr(m_master, &modes) != 0) return 0;
  return static_cast<unsigned>(modes.c_lflag);
}

}  // namespace vok::test

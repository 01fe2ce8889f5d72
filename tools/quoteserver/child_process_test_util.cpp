// Child processes for the end-to-end tests of the tools.
#include "child_process_test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>

extern char** environ;

namespace vok::test {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

Clock::time_point After(int timeoutMs) { return Clock::now() + std::chrono::milliseconds(timeoutMs); }

// The exit code or 128 + signal once pid has ended, -1 when it has not by the deadline.
int WaitFor(int pid, Clock::time_point deadline) {
  for (;;) {
    int raw = 0;
    if (::waitpid(pid, &raw, WNOHANG) == pid) return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    if (MsLeft(deadline) == 0) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void Kill(int pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

// argv and envp built before the child starts: after a fork it calls only exec.
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

std::string ReadFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

SChildResult RunChild(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                      int timeoutMs, const std::vector<std::string>& environment) {
  // Files rather than pipes: a child that writes much never blocks on a reader.
  static int serial = 0;
  const std::string base =
      ::testing::TempDir() + "child_" + std::to_string(::getpid()) + "_" + std::to_string(++serial);
  const std::string paths[3] = {base + ".in", base + ".out", base + ".err"};
  std::ofstream(paths[0], std::ios::binary) << input;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, paths[0].c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, paths[1].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, paths[2].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  SExecArgs exec(program, args, environment);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, exec.argv[0], &actions, nullptr, exec.argv.data(), exec.envp.data());
  posix_spawn_file_actions_destroy(&actions);
  SChildResult result;
  if (spawned == 0) {
    result.status = WaitFor(pid, After(timeoutMs));
    result.timedOut = result.status < 0;
    if (result.timedOut) Kill(pid);
    result.out = ReadFile(paths[1]);
    result.err = ReadFile(paths[2]);
  }
  for (const std::string& path : paths) std::remove(path.c_str());
  return result;
}

CPtyChild::~CPtyChild() {
  if (m_pid > 0) Kill(m_pid);
}

bool CPtyChild::Start(const std::string& program, const std::vector<std::string>& args, int columns, int rows) {
  SExecArgs exec(program, args, {"TERM=xterm"});
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) return false;
  if (pid == 0) {
    ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    ::_exit(127);
  }
  m_master.Reset(master);
  m_pid = pid;
  return true;
}

bool CPtyChild::ReadSome(int timeoutMs) {
  pollfd fd{m_master.Get(), POLLIN, 0};
  if (::poll(&fd, 1, timeoutMs) <= 0) return timeoutMs > 0;
  char buffer[65536];
  const ssize_t got = ::read(m_master.Get(), buffer, sizeof buffer);
  if (got <= 0) return false;  // EIO once the child has closed the terminal
  m_output.append(buffer, static_cast<std::size_t>(got));
  return true;
}

bool CPtyChild::ReadUntil(const std::string& needle, int timeoutMs) {
  const auto deadline = After(timeoutMs);
  while (m_output.find(needle) == std::string::npos) {
    if (MsLeft(deadline) == 0 || !ReadSome(MsLeft(deadline))) return m_output.find(needle) != std::string::npos;
  }
  return true;
}

void CPtyChild::ReadToEnd(int timeoutMs) {
  const auto deadline = After(timeoutMs);
  while (MsLeft(deadline) > 0 && ReadSome(MsLeft(deadline))) {
  }
}

bool CPtyChild::Send(const std::string& text) {
  return ::write(m_master.Get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void CPtyChild::Signal(int signal) {
  if (m_pid > 0) ::kill(m_pid, signal);
}

int CPtyChild::Wait(int timeoutMs) {
  if (m_pid <= 0) return -1;
  const int status = WaitFor(m_pid, After(timeoutMs));
  if (status >= 0) m_pid = -1;
  return status;
}

unsigned CPtyChild::LocalModes() const {
  termios modes{};
  if (::tcgetattr(m_master.Get(), &modes) != 0) return 0;
  return static_cast<unsigned>(modes.c_lflag);
}

}  // namespace vok::test

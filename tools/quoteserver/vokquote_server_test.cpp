// The vokquote-server program itself: prints its port, runs a script file, refuses bad flags and
// stops cleanly on SIGTERM.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "test_client.h"
#include "unique_fd.h"

extern char** environ;

namespace vok::sim {
namespace {

// A child process with its stdout on a pipe; killed and reaped if the test leaves early.
class CChild {
 public:
  bool Spawn(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return false;
    m_stdout.Reset(pipeFds[0]);
    CUniqueFd writeEnd(pipeFds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int result = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0;
  }

  // Everything the child writes on stdout until it closes it or the time is up.
  std::string ReadLine(int timeoutMs) {
    std::string text;
    char c;
    pollfd entry{m_stdout.Get(), POLLIN, 0};
    while (text.find('\n') == std::string::npos && ::poll(&entry, 1, timeoutMs) > 0 &&
           ::read(m_stdout.Get(), &c, 1) == 1) {
      text += c;
    }
    return text;
  }

  // The exit status, or -1 when the child has not ended in time.
  int Wait(int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  void Signal(int number) { ::kill(m_pid, number); }

  ~CChild() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }

 private:
  pid_t m_pid = -1;
  CUniqueFd m_stdout;
};

TEST(VokquoteServerTest, PrintsItsPortRunsTheScriptAndStopsOnSigterm) {
  const std::string script = ::testing::TempDir() + "quoteserver_script.txt";
  {
    std::ofstream file(script);
    file << "# tell the first client to go away\n[session 1]\nexpect L|\nnotice bye\\x3b now\ndrop\n";
  }
  CChild child;
  ASSERT_TRUE(
      child.Spawn({VOKQUOTE_SERVER_PATH, "--listen", "127.0.0.1:0", "--script", script, "--name", "Proc", "--quiet"}));
  const std::string portLine = child.ReadLine(5000);
  ASSERT_FALSE(portLine.empty());
  const int port = std::atoi(portLine.c_str());
  ASSERT_GT(port, 0);
  EXPECT_EQ(portLine, std::to_string(port) + "\n");

  CTestClient first;
  ASSERT_TRUE(first.Connect(port));
  first.Send("L|100=u;133=x\n");
  EXPECT_EQ(first.ReadLine(5000), "G|154=65535;8055=Proc");
  EXPECT_EQ(first.ReadLine(5000), "5|1011=bye; now");
  EXPECT_TRUE(first.WaitClosed(5000));

  CTestClient second;  // no section of its own: served normally
  ASSERT_TRUE(second.Connect(port));
  second.Send("L|100=u;133=x\n");
  EXPECT_EQ(second.ReadLine(5000), "G|154=65535;8055=Proc");

  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(5000), 0);
  EXPECT_TRUE(second.WaitClosed(5000));
  std::remove(script.c_str());
}

TEST(VokquoteServerTest, RefusesBadCommandLines) {
  const std::vector<std::vector<std::string>> cases = {
      {VOKQUOTE_SERVER_PATH, "--listen", "192.168.1.1:5020"},
      {VOKQUOTE_SERVER_PATH, "--script", "/nonexistent/script"},
      {VOKQUOTE_SERVER_PATH, "--what"},
  };
  for (const auto& args : cases) {
    CChild child;
    ASSERT_TRUE(child.Spawn(args));
    EXPECT_EQ(child.ReadLine(5000), "") << args[1] << ": no port printed";
    EXPECT_EQ(child.Wait(5000), 2) << args[1];
  }
  CChild help;
  ASSERT_TRUE(help.Spawn({VOKQUOTE_SERVER_PATH, "--help"}));
  EXPECT_EQ(help.ReadLine(5000), "Usage: vokquote-server [options]\n");
  EXPECT_EQ(help.Wait(5000), 0);
}

}  // namespace
}  // namespace vok::sim

// Script text form and command line: what parses into which steps and settings, and what is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "script.h"
#include "server_options.h"

namespace vok::sim {
namespace {

TEST(ScriptTest, TextFormMatchesTheBuilder) {
  const char* text =
      "# every connection\n"
      "expect L|\n"
      "send G|8055=X\\x3b154=1\n"
      "raw 1|1003=A\\r\\n\n"
      "split 3 1|1003=B\n"
      "bytewise 9|\n"
      "sleep 20\r\n"
      "  silent on\n"
      "heartbeats off\n"
      "data on\n"
      "logon delay 300\n"
      "notice logged in elsewhere\n"
      "flood 1000\n"
      "drop\n"
      "[session 2]\n"
      "logon refuse\n"
      "[every]\n"
      "send\n";
  CScript parsed;
  std::string error;
  ASSERT_TRUE(CScript::Parse(text, parsed, error)) << error;

  CScript built;
  built.Expect("L|")
      .Send("G|8055=X;154=1")
      .SendRaw("1|1003=A\r\n")
      .Split("1|1003=B", 3)
      .Bytewise("9|")
      .Sleep(20)
      .Silent(true)
      .Heartbeats(false)
      .Data(true)
      .Logon("delay", 300)
      .Notice("logged in elsewhere")
      .Flood(1000)
      .Drop();
  built.ForSession(2).Logon("refuse");
  built.ForSession(0).Send("");
  EXPECT_EQ(parsed.StepsFor(1), built.StepsFor(1));
  EXPECT_EQ(parsed.StepsFor(2), built.StepsFor(2));
  EXPECT_EQ(parsed.StepsFor(3), built.StepsFor(1)) << "connections without a section share [every]";
  EXPECT_EQ(parsed.StepsFor(2).size(), 1u);
}

TEST(ScriptTest, RefusesMalformedScriptsNamingTheLine) {
  struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"send a\nfly away\n", "line 2: unknown step"},
      {"split x 1|\n", "line 1: split N TEXT, N from 1 to 65536"},
      {"split 0 1|\n", "line 1: split N TEXT, N from 1 to 65536"},
      {"send a\\q\n", "line 1: bad escape"},
      {"send a\\x4\n", "line 1: bad escape"},
      {"[session 0]\n", "line 1: a section is [every] or [session N]"},
      {"silent maybe\n", "line 1: on or off expected"},
      {"logon later\n", "line 1: logon accept|refuse|ignore|delay MS"},
      {"expect\n", "line 1: text missing"},
      {"sleep -5\n", "line 1: sleep MS"},
  };
  for (const auto& c : cases) {
    CScript script;
    std::string error;
    EXPECT_FALSE(CScript::Parse(c.text, script, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

TEST(ServerOptionsTest, ReadsFlagsAndRefusesWhatItCannotUse) {
  SServerOptions o;
  bool help = false;
  std::string message;
  ASSERT_TRUE(ParseCommandLine({"--listen",      "localhost:0",   "--name",         "Sim2",
                                "--permissions", "0x1F",          "--seed",         "42",
                                "--rate",        "250",           "--heartbeat-ms", "150",
                                "--times",       "eastern",       "--start-time",   "20261205-15:00:00",
                                "--flood",       "--max-backlog", "65536",          "--max-line",
                                "1024",          "--tls-cert",    "c.pem",          "--tls-key",
                                "k.pem"},
                               o, help, message))
      << message;
  EXPECT_EQ(o.host + ":" + std::to_string(o.port) + " " + o.name + " " + std::to_string(o.permissions) + " " +
                std::to_string(o.seed) + " " + std::to_string(o.rate) + " " + std::to_string(o.heartbeatMs) + " " +
                std::to_string(o.startTimeMs) + " " + std::to_string(o.maxBacklog) + " " + std::to_string(o.maxLine),
            "127.0.0.1:0 Sim2 31 42 250 150 1796482800000 65536 1024");
  EXPECT_EQ(o.tlsCertificateFile + " " + o.tlsKeyFile, "c.pem k.pem");
  EXPECT_EQ(o.times, ETimeStyle::Eastern);
  EXPECT_TRUE(o.flood);

  const std::vector<std::string> bad[] = {{"--listen", "0.0.0.0:5020"},
                                          {"--listen", "10.1.2.3:1"},
                                          {"--listen", "127.0.0.1"},
                                          {"--listen", "127.0.0.1:70000"},
                                          {"--rate", "-1"},
                                          {"--times", "local"},
                                          {"--seed"},
                                          {"--bogus", "1"},
                                          {"--users", "/nonexistent/users"},
                                          {"--name", "a;b"},
                                          {"--tls-cert", "c.pem"},  // certificate and key only together
                                          {"--tls-key", "k.pem"}};
  for (const auto& args : bad) {
    EXPECT_FALSE(ParseCommandLine(args, o, help, message)) << args[0];
    EXPECT_FALSE(help);
  }
  EXPECT_FALSE(ParseCommandLine({"--help"}, o, help, message));
  EXPECT_TRUE(help);
}

TEST(ServerOptionsTest, UsersFileStoresTransformedPasswords) {
  const std::string path = ::testing::TempDir() + "quoteserver_users.txt";
  std::ofstream(path) << "# users\nalice:secret\r\nbob:\n"
                      << std::string(64, 'a') << ":x\nkim:" << std::string(64, 'f') << "\n";
  SServerOptions options;
  std::string error;
  ASSERT_TRUE(LoadUsers(path, options, error)) << error;
  ASSERT_EQ(options.users.size(), 4u);
  // SHA-256 of "secret" and of the empty text, in lowercase hex.
  EXPECT_EQ(options.users["alice"], "2bb80d537b1da3e38bd30361aa855686bde0eacd7162fef6a25fe97bf527a25b");
  EXPECT_EQ(options.users["bob"], "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(options.users["kim"], std::string(64, 'f')) << "a 64-character password is already transformed";

  std::ofstream(path) << "alice:secret\nnocolon\n";
  EXPECT_FALSE(LoadUsers(path, options, error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  std::remove(path.c_str());
}

}  // namespace
}  // namespace vok::sim

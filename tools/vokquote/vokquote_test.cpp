// End-to-end tests of the vokquote program: the built binary runs as a child process against the
// simulator (in this process, or its own built-in one), and its JSON lines, stderr, exit status and
// terminal output are checked against what the simulator sends a plain client.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <regex>
#include <set>

#include <termios.h>

#include "child_process_test_util.h"
#include "platform/tls_test_certificates_util.h"
#include "quote_server.h"
#include "vkdll/vkdll.h"

namespace vok::test {
namespace {

using vok::test::CTestCertificates;

const std::string kProgram = VOKQUOTE_PATH;
constexpr int kRunMs = 60000;

// The value of key in one of vokquote's flat JSON lines: a string without its quotes (escapes as
// written), anything else as written; "<absent>" when the key is not there.
std::string Field(const std::string& line, const std::string& key) {
  const std::regex pattern("\"" + key + R"re(":("((\\.|[^"\\])*)"|[^,}]*))re");
  std::smatch match;
  if (!std::regex_search(line, match, pattern)) return "<absent>";
  return match[2].matched ? match[2].str() : match[1].str();
}

double Number(const std::string& line, const std::string& key) { return std::stod(Field(line, key)); }

// The JSON lines of one kind ("quote", "level2", "event", ...) in the order written.
std::vector<std::string> Records(const std::string& out, const std::string& kind) {
  std::vector<std::string> records;
  for (const auto& line : Lines(out))
    if (Field(line, "kind") == kind) records.push_back(line);
  return records;
}

sim::SServerOptions Options(int rate) {
  sim::SServerOptions options;
  options.seed = 7;
  options.rate = rate;
  options.startTimeMs = 1796482800000LL;  // 2026-12-05 15:00:00 UTC
  return options;
}

// Runs vokquote with args against server.
SChildResult RunAgainst(const sim::CQuoteServer& server, std::vector<std::string> args,
                        const std::vector<std::string>& environment = {}) {
  args.insert(args.end(), {"--server", "127.0.0.1:" + std::to_string(server.Port())});
  return RunChild(kProgram, args, "", kRunMs, environment);
}

// What only the program shows: its exit statuses and the one-line errors it prints for the password
// file, which is read before anything starts (the parser and decoder have in-process tests).
TEST(VokquoteProgram, ReportsUsageAndPasswordFileErrorsWithStatus2) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"tape", "A", "--bogus", "1"}, "vokquote: unknown option --bogus; 'vokquote tape --help' lists them\n"},
      {{"watch", "A", "--password-file", "/nonexistent/vokquote-password"},
       "vokquote: cannot read the password file /nonexistent/vokquote-password\n"},
      {{"watch", "A", "--password-file", "/tmp"}, "vokquote: the password file /tmp is a directory\n"},
  };
  for (const auto& [args, expected] : cases) {
    const auto result = RunChild(kProgram, args, "", kRunMs);
    EXPECT_EQ(result.status, 2) << expected;
    EXPECT_EQ(result.err, expected);
    EXPECT_EQ(result.out, "");
  }
}

TEST(VokquoteProgram, WatchStreamsEventsThenQuotesAndQuoteWaitsForOneSnapshotPerSymbol) {
  sim::CQuoteServer server(Options(2));
  ASSERT_TRUE(server.Start());
  const auto result = RunAgainst(server, {"watch", "msft", "IBM", "--json", "--count", "6"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::vector<std::string> eventsBeforeData;
  bool data = false;
  for (const auto& line : Lines(result.out)) {
    const std::string kind = Field(line, "kind");
    EXPECT_TRUE(kind == "event" || kind == "quote") << line;
    EXPECT_NE(Field(line, "received"), "<absent>") << line;
    data = data || kind == "quote";
    if (!data) eventsBeforeData.push_back(Field(line, "event"));
  }
  EXPECT_EQ(eventsBeforeData, (std::vector<std::string>{"OnConnect", "OnLogonSucceed"}));
  const auto quotes = Records(result.out, "quote");
  ASSERT_EQ(quotes.size(), 6u);
  std::set<std::string> symbols;
  for (const auto& quote : quotes) symbols.insert(Field(quote, "bstrSymbol"));
  EXPECT_EQ(symbols, (std::set<std::string>{"MSFT", "IBM"}));

  // The first MSFT quote is the symbol's snapshot (the feed starts at the server's start time).
  const auto msft = *std::find_if(quotes.begin(), quotes.end(),
                                  [](const std::string& line) { return Field(line, "bstrSymbol") == "MSFT"; });
  EXPECT_EQ(Field(msft, "UTCDateTime"), "2026-12-05T15:00:00.000Z");
  EXPECT_GT(Number(msft, "dLast"), 0);
  EXPECT_EQ(server.Session(1).user, "demo");
  EXPECT_TRUE(server.WaitForLine(1, "H|1003=IBM", 0));

  const auto quote = RunAgainst(server, {"quote", "MSFT", "IBM", "--json"});
  ASSERT_EQ(quote.status, 0) << quote.err;
  const auto snapshots = Records(quote.out, "quote");
  ASSERT_EQ(snapshots.size(), 2u) << quote.out;
  EXPECT_EQ(Field(snapshots[0], "bstrSymbol"), "MSFT");
  // The same seed gives every session the same snapshot.
  EXPECT_EQ(Field(snapshots[0], "dLast"), Field(msft, "dLast"));
  EXPECT_EQ(Field(snapshots[0], "bstrCompany"), Field(msft, "bstrCompany"));
  EXPECT_EQ(Field(snapshots[1], "bstrSymbol"), "IBM");

  sim::SServerOptions quiet = Options(1);
  quiet.script.Data(false);
  sim::CQuoteServer silent(quiet);
  ASSERT_TRUE(silent.Start());
  const auto missing = RunAgainst(silent, {"quote", "MSFT", "--json", "--timeout", "300"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("vokquote: no quote for MSFT within 300 ms\n"), std::string::npos) << missing.err;
  EXPECT_EQ(Field(Lines(missing.out).empty() ? "" : Lines(missing.out).back(), "kind"), "event") << missing.out;
}

TEST(VokquoteProgram, BookTapeAndChainStreamTheirServiceForTheSymbol) {
  sim::CQuoteServer server(Options(20));
  ASSERT_TRUE(server.Start());
  const struct {
    const char* command;
    const char* kind;
    const char* subscribe;
    const char* symbolKey;
  } cases[] = {{"book", "level2", "S|1003=XYZ;2000=20001", "bstrSymbol"},
               {"tape", "ts", "S|1003=XYZ;2000=20003", "bstrSymbol"},
               {"chain", "options", "S|1003=XYZ;2000=20004", "bstrUnderlier"}};
  for (const auto& c : cases) {
    const auto result = RunAgainst(server, {c.command, "XYZ", "--json", "--count", "5"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(server.WaitForLine(server.ConnectionCount(), c.subscribe, 0)) << c.command;
    const auto records = Records(result.out, c.kind);
    ASSERT_EQ(records.size(), 5u) << result.out;
    for (const auto& line : records) {
      EXPECT_EQ(Field(line, c.symbolKey), "XYZ") << line;
      // The book asks the cache for each open level's aggregate, which holds at least the entry.
      if (std::string(c.kind) == "level2" && Field(line, "bClosed") == "false")
        EXPECT_GE(Number(line, "aggregate"), Number(line, "lSize")) << line;
    }
  }
}

TEST(VokquoteProgram, RefusedLogonUnreachableServerAndNoticeEndWithOneLineAndStatus3) {
  sim::SServerOptions options = Options(1);
  char transformed[65];
  VOK_TransformPassword("right-Pa55", transformed);
  options.users["alice"] = transformed;
  sim::CQuoteServer server(options);
  ASSERT_TRUE(server.Start());
  const auto refused =
      RunAgainst(server, {"watch", "MSFT", "--user", "alice", "--json"}, {"VOKQUOTE_PASSWORD=wrong-Pa55"});
  EXPECT_EQ(refused.status, 3);
  EXPECT_EQ(refused.err, "vokquote: the server at 127.0.0.1:" + std::to_string(server.Port()) +
                             " closed the connection during logon: user 'alice' or the password was refused\n");
  EXPECT_EQ(refused.out.find("Pa55"), std::string::npos);
  EXPECT_EQ(server.RefusedLogonCount(), 1);

  const std::string passwordFile = ::testing::TempDir() + "vokquote_password";
  std::ofstream(passwordFile) << "right-Pa55\n";
  const auto accepted = RunAgainst(server, {"quote", "MSFT", "--user", "alice", "--password-file", passwordFile},
                                   {"VOKQUOTE_PASSWORD=wrong-Pa55"});
  EXPECT_EQ(accepted.status, 0) << accepted.err;
  EXPECT_EQ(server.LogonCount(), 1);
  EXPECT_EQ((accepted.out + accepted.err).find("Pa55"), std::string::npos);

  // The refusal is reported as the system says it, not after the connect timeout.
  sim::CQuoteServer gone(Options(1));
  ASSERT_TRUE(gone.Start());
  const std::string where = "127.0.0.1:" + std::to_string(gone.Port());
  gone.Stop();
  const auto unreachable =
      RunChild(kProgram, {"watch", "MSFT", "--server", where, "--connect-timeout", "5000"}, "", kRunMs);
  EXPECT_EQ(unreachable.status, 3);
  EXPECT_EQ(unreachable.err, "vokquote: cannot connect to " + where + ": Connection refused\n");
  EXPECT_EQ(Field(unreachable.out, "lErrorCode"), std::to_string(ECONNREFUSED)) << unreachable.out;

  // --tls and --ca decide for the process whatever the user's settings say: the test CA is trusted
  // only when named.
  CTestCertificates certificates;
  ASSERT_TRUE(certificates.Ok());
  sim::SServerOptions tlsOptions = Options(1);
  tlsOptions.tlsCertificateFile = certificates.CertFile(CTestCertificates::kValid);
  tlsOptions.tlsKeyFile = certificates.KeyFile();
  sim::CQuoteServer tls(tlsOptions);
  ASSERT_TRUE(tls.Start());
  const auto trusted = RunAgainst(tls, {"quote", "MSFT", "--json", "--tls", "--ca", certificates.CaFile()});
  EXPECT_EQ(trusted.status, 0) << trusted.err;
  const auto untrusted = RunAgainst(tls, {"watch", "MSFT", "--tls"});
  EXPECT_EQ(untrusted.status, 3);
  EXPECT_EQ(untrusted.err, "vokquote: cannot connect to 127.0.0.1:" + std::to_string(tls.Port()) +
                               ": the server's TLS certificate was refused\n");
  EXPECT_EQ(tls.LogonCount() + tls.RefusedLogonCount(), 1) << "no logon over the refused certificate";

  // "Logged in elsewhere" ends the command: the server's words on stderr and in the JSON lines.
  sim::SServerOptions elsewhere = Options(1);
  elsewhere.script.Expect("L|").Sleep(200).Notice("user demo logged on at another terminal").Drop();
  sim::CQuoteServer noticing(elsewhere);
  ASSERT_TRUE(noticing.Start());
  const auto notice = RunAgainst(noticing, {"watch", "MSFT", "--json"});
  EXPECT_EQ(notice.status, 3);
  EXPECT_EQ(notice.err,
            "vokquote: the server ended the session, the user is logged in elsewhere: user demo logged on at another "
            "terminal\n");
  EXPECT_EQ(Field(Lines(notice.out).back(), "text"), "user demo logged on at another terminal") << notice.out;
}

// The q case runs against a server that stops meanwhile: the status line then says so and counts
// down to the next attempt.
TEST(VokquoteProgram, EndingTheFullScreenViewRestoresTheTerminal) {
  sim::CQuoteServer server(Options(10));
  ASSERT_TRUE(server.Start());
  const std::string enter = "\x1b[?1049h";
  const std::string leave = "\x1b[?25h\x1b[?1049l";
  const struct {
    const char* how;
    int signal;  // 0: the q key
    int status;
  } cases[] = {{"Ctrl-C", SIGINT, 130}, {"SIGTERM", SIGTERM, 143}, {"q", 0, 0}};
  for (const auto& c : cases) {
    CPtyChild child;
    std::vector<std::string> args = {"watch", "MSFT", "--rate", "10"};
    if (c.signal == 0) args = {"watch", "MSFT", "--server", "127.0.0.1:" + std::to_string(server.Port())};
    ASSERT_TRUE(child.Start(kProgram, args, 140, 20)) << c.how;
    ASSERT_TRUE(child.ReadUntil("logged on as demo", 30000)) << c.how << ": " << child.Output();
    ASSERT_TRUE(child.ReadUntil(" x ", 30000)) << c.how << ": " << child.Output();  // a row with bid x size
    const std::size_t entered = child.Output().find(enter);
    ASSERT_NE(entered, std::string::npos) << c.how;
    if (c.signal != 0) EXPECT_LT(child.Output().find("started the built-in simulator"), entered) << c.how;
    if (c.signal == 0) {
      const std::size_t up = child.Output().size();
      server.Stop();
      ASSERT_TRUE(child.ReadUntil("disconnected, reconnecting within 1", 30000)) << child.Output().substr(up);
      // Frames drawn before the drop was seen still say "logged on"; none after it.
      const std::size_t down = child.Output().find("disconnected, reconnecting within 1", up);
      EXPECT_EQ(child.Output().find("logged on as demo", down), std::string::npos);
    }
    const std::size_t before = child.Output().size();
    if (c.signal != 0) {
      child.Signal(c.signal);
    } else {
      ASSERT_TRUE(child.Send("q"));
    }
    child.ReadToEnd(30000);
    EXPECT_EQ(child.Wait(30000), c.status) << c.how;
    const std::string after = child.Output().substr(before);
    EXPECT_NE(after.find(leave), std::string::npos) << c.how;
    EXPECT_EQ(after.find(enter), std::string::npos) << c.how;
    EXPECT_EQ(child.LocalModes() & (ECHO | ICANON), static_cast<unsigned>(ECHO | ICANON)) << c.how;
  }
}

}  // namespace
}  // namespace vok::test

// End-to-end tests of the vokquote program: the built binary runs as a child process against the
// simulator (in this process, or its own built-in one), and its JSON lines, stderr, exit status and
// terminal output are checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include <termios.h>

#include "child_process_test_util.h"
#include "message/vok_message.h"
#include "quote_server.h"
#include "test_client.h"
#include "vkdll/vkdll.h"

namespace vok::cli::test {
namespace {

const std::string kProgram = VOKQUOTE_PATH;
constexpr int kRunMs = 60000;
constexpr std::int64_t kStartMs = 1796482800000LL;  // 2026-12-05 15:00:00 UTC

#define REQUIRE_LIVE() \
  if (!VOKQUOTE_LIVE) GTEST_SKIP() << "built without the quote service library"

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// The value of key in one of vokquote's flat JSON lines: a string unquoted, anything else as
// written; "<absent>" when the key is not there.
std::string Field(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  const auto at = line.find(tag);
  if (at == std::string::npos) return "<absent>";
  std::size_t i = at + tag.size();
  std::string value;
  if (i < line.size() && line[i] == '"') {
    for (++i; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value += line[i];
    }
    return value;
  }
  while (i < line.size() && line[i] != ',' && line[i] != '}') value += line[i++];
  return value;
}

std::string WireText(const VOKMessage& message, int fid) {
  std::string value = "<absent>";
  message.GetString(fid, value);
  return value;
}

double WireNumber(const VOKMessage& message, int fid) {
  double value = -1;
  message.GetDouble(fid, value);
  return value;
}

// The first `count` lines of type `type` that the server sends to a plain client after subscribe.
std::vector<VOKMessage> Reference(int port, const std::string& subscribe, char type, std::size_t count) {
  sim::CTestClient client;
  std::vector<VOKMessage> lines;
  if (!client.Connect(port) || !client.Send("L|100=reference;133=x\n") || !client.ReadUntil("G|", 5000) ||
      !client.Send(subscribe + "\n"))
    return lines;
  const std::string prefix = std::string(1, type) + "|";
  while (lines.size() < count) {
    const auto line = client.ReadUntil(prefix, 10000);
    if (!line) break;
    lines.emplace_back(line->data(), static_cast<int>(line->size()));
  }
  return lines;
}

sim::SServerOptions Options(int rate) {
  sim::SServerOptions options;
  options.seed = 7;
  options.rate = rate;
  options.startTimeMs = kStartMs;
  return options;
}

std::vector<std::string> ServerArgs(const sim::CQuoteServer& server) {
  return {"--server", "127.0.0.1:" + std::to_string(server.Port())};
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string Transformed(const char* clear) {
  char out[65];
  VOK_TransformPassword(clear, out);
  return out;
}

TEST(VokquoteProgram, DecodeDescribesEachCapturedLine) {
  const std::string capture =
      "1|1003=MSFT;2002=310.52;2013=20020\n"
      "L|100=alice;133=2bb80d537b1da3e38bd30361aa855686bde0eacd7162fef6a25fe97bf527a25b\r\n"
      "\n"
      "not a message\n";
  const auto result = RunChild(kProgram, {"decode"}, capture, kRunMs);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "line 1: 1 level 1 data (3 fields)\n"
            "  1003   symbol          string  MSFT\n"
            "  2002   last            double  310.52\n"
            "  2013   tick            int     20020\n"
            "line 2: L logon (2 fields)\n"
            "  100    user            string  alice\n"
            "  133    password        string  ********\n");
  EXPECT_EQ(result.err, "vokquote: line 4: neither the line form (T|id=value;...) nor FIX (8=FIX...)\n");
  const auto json = RunChild(kProgram, {"decode", "--json"}, "9|\n", kRunMs);
  EXPECT_EQ(json.out, R"({"kind":"message","line":1,"type":"9","name":"heartbeat","fields":[]})"
                      "\n");
}

TEST(VokquoteProgram, BadArgumentsAreOneLineOnStderrAndStatus2) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "vokquote: no command given; 'vokquote --help' lists them\n"},
      {{"watch"}, "vokquote: 'watch' needs at least one symbol; 'vokquote watch --help' shows how\n"},
      {{"book", "A", "--password", "pa55word"},
       "vokquote: a password is never read from the command line: use --password-file FILE or VOKQUOTE_PASSWORD\n"},
      {{"quote", "A", "--timeout=soon"},
       "vokquote: option --timeout: takes a whole number from 0 to 3600000, not 'soon'\n"},
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
  const auto help = RunChild(kProgram, {"chain", "--help"}, "", kRunMs);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: vokquote chain UNDERLYING", 0), 0u) << help.out;
  EXPECT_EQ(RunChild(kProgram, {"--version"}, "", kRunMs).out, "vokquote 2.1.0\n");
}

TEST(VokquoteProgram, WatchStreamsEventsThenTheSimulatorsQuotes) {
  REQUIRE_LIVE();
  sim::CQuoteServer server(Options(2));
  ASSERT_TRUE(server.Start());
  const auto reference = Reference(server.Port(), "H|1003=MSFT;2000=20000", '1', 1);
  ASSERT_EQ(reference.size(), 1u);

  const auto result =
      RunChild(kProgram, Concat({"watch", "msft", "IBM", "--json", "--count", "6"}, ServerArgs(server)), "", kRunMs);
  ASSERT_EQ(result.status, 0) << result.err;
  const auto lines = Lines(result.out);
  std::vector<std::string> quotes;
  std::set<std::string> eventsBeforeData;
  for (const auto& line : lines) {
    const std::string kind = Field(line, "kind");
    ASSERT_TRUE(kind == "event" || kind == "quote") << line;
    EXPECT_NE(Field(line, "received"), "<absent>") << line;
    if (kind == "quote") quotes.push_back(line);
    if (kind == "event" && quotes.empty()) eventsBeforeData.insert(Field(line, "event"));
  }
  EXPECT_EQ(eventsBeforeData, (std::set<std::string>{"OnConnect", "OnLogonSucceed"}));
  ASSERT_EQ(quotes.size(), 6u);

  const auto firstMsft = std::find_if(quotes.begin(), quotes.end(),
                                      [](const std::string& line) { return Field(line, "bstrSymbol") == "MSFT"; });
  ASSERT_NE(firstMsft, quotes.end());
  const VOKMessage& snapshot = reference[0];
  EXPECT_EQ(Field(*firstMsft, "bstrCompany"), WireText(snapshot, 2021));
  EXPECT_EQ(Field(*firstMsft, "bstrMarket"), WireText(snapshot, 2022));
  const std::pair<const char*, int> numbers[] = {{"dLast", 2002},    {"dBid", 2003},     {"dAsk", 2004},
                                                 {"lBidSize", 2005}, {"lAskSize", 2006}, {"lVolume", 2012},
                                                 {"dHigh", 2009},    {"dLow", 2010},     {"dPrevClose", 2008}};
  for (const auto& [key, fid] : numbers)
    EXPECT_DOUBLE_EQ(std::stod(Field(*firstMsft, key)), WireNumber(snapshot, fid)) << key;
  EXPECT_EQ(Field(*firstMsft, "UTCDateTime"), "2026-12-05T15:00:00.000Z");

  std::map<std::string, std::string> lastTime;
  for (const auto& quote : quotes) {
    const std::string symbol = Field(quote, "bstrSymbol");
    EXPECT_TRUE(symbol == "MSFT" || symbol == "IBM") << quote;
    EXPECT_GE(Field(quote, "UTCDateTime"), lastTime[symbol]) << quote;
    lastTime[symbol] = Field(quote, "UTCDateTime");
  }
  EXPECT_EQ(lastTime.size(), 2u);

  const auto session = server.Session(2);
  EXPECT_EQ(session.user, "demo");
  const auto subscribed = [&](const std::string& symbol) {
    return std::any_of(session.lines.begin(), session.lines.end(), [&](const std::string& line) {
      return line.rfind("H|", 0) == 0 && line.find("1003=" + symbol) != std::string::npos;
    });
  };
  EXPECT_TRUE(subscribed("MSFT"));
  EXPECT_TRUE(subscribed("IBM"));

  // --duration ends the stream without a count; the snapshot is there by then.
  const auto timed = RunChild(kProgram, Concat({"watch", "MSFT", "--duration", "1"}, ServerArgs(server)), "", kRunMs);
  ASSERT_EQ(timed.status, 0) << timed.err;
  const auto timedLines = Lines(timed.out);
  EXPECT_TRUE(std::any_of(timedLines.begin(), timedLines.end(), [](const std::string& line) {
    return Field(line, "bstrSymbol") == "MSFT";
  })) << timed.out;
}

TEST(VokquoteProgram, BookAndTapeStreamTheirRecordsFromTheSimulator) {
  REQUIRE_LIVE();
  sim::CQuoteServer server(Options(20));
  ASSERT_TRUE(server.Start());
  constexpr std::size_t kCount = 5;

  // Level 2: every entry is one the simulator's book holds, with the level's aggregate beside it.
  {
    const auto book = Reference(server.Port(), "S|1003=XYZ;2000=20001", '2', 40);
    ASSERT_GE(book.size(), kCount);
    std::set<std::string> entries;
    for (const auto& line : book) {
      double price = WireNumber(line, 2018), size = WireNumber(line, 2019);
      entries.insert(WireText(line, 2016) + (WireText(line, 2017) == "20010" ? "/1/" : "/2/") + std::to_string(price) +
                     "/" + std::to_string(static_cast<long>(size)));
    }
    const auto result =
        RunChild(kProgram, Concat({"book", "XYZ", "--json", "--count", "5"}, ServerArgs(server)), "", kRunMs);
    ASSERT_EQ(result.status, 0) << result.err;
    std::size_t records = 0;
    for (const auto& line : Lines(result.out)) {
      if (Field(line, "kind") != "level2") continue;
      ++records;
      EXPECT_EQ(Field(line, "bstrSymbol"), "XYZ");
      std::string mmid = Field(line, "bstrMMID");
      // The component shows a source-qualified participant id with a colon ("TDFX:BATS").
      std::erase(mmid, ':');
      const std::string key = mmid + "/" + Field(line, "side") + "/" +
                              std::to_string(std::stod(Field(line, "dPrice"))) + "/" + Field(line, "lSize");
      EXPECT_EQ(entries.count(key), 1u) << key;
      if (Field(line, "bClosed") == "false") {
        EXPECT_GE(std::stol(Field(line, "aggregate")), std::stol(Field(line, "lSize"))) << line;
      }
    }
    EXPECT_EQ(records, kCount);
  }
  // Time and sales: the prints in the order the simulator makes them.
  {
    const auto prints = Reference(server.Port(), "S|1003=XYZ;2000=20003", '3', kCount);
    ASSERT_EQ(prints.size(), kCount);
    const auto result =
        RunChild(kProgram, Concat({"tape", "XYZ", "--json", "--count", "5"}, ServerArgs(server)), "", kRunMs);
    ASSERT_EQ(result.status, 0) << result.err;
    std::size_t i = 0;
    for (const auto& line : Lines(result.out)) {
      if (Field(line, "kind") != "ts") continue;
      ASSERT_LT(i, kCount);
      const VOKMessage& print = prints[i++];
      double price = WireNumber(print, 2002);
      if (price < 0) price = WireNumber(print, 2003);
      if (price < 0) price = WireNumber(print, 2004);
      EXPECT_EQ(Field(line, "bstrSymbol"), "XYZ");
      EXPECT_DOUBLE_EQ(std::stod(Field(line, "dPrice")), price) << line;
      EXPECT_EQ(Field(line, "bstrExchange"), WireText(print, 2022)) << line;
    }
    EXPECT_EQ(i, kCount);
  }
}

TEST(VokquoteProgram, ChainStreamsTheOptionsOfTheUnderlying) {
  REQUIRE_LIVE();
  sim::CQuoteServer server(Options(20));
  ASSERT_TRUE(server.Start());
  constexpr std::size_t kCount = 5;
  // Options: every record is an option of the simulator's chain with the contract and a bid it
  // sent for that option (the cache may hand a new subscriber its options in any order).
  {
    const auto chain = Reference(server.Port(), "S|1003=XYZ;2000=20004", '4', 60);
    ASSERT_EQ(chain.size(), 60u);
    std::map<std::string, const VOKMessage*> contracts;
    std::set<std::pair<std::string, double>> bids;
    for (const auto& option : chain) {
      contracts.emplace(WireText(option, 1003), &option);
      bids.emplace(WireText(option, 1003), WireNumber(option, 2003));
    }
    const auto result =
        RunChild(kProgram, Concat({"chain", "XYZ", "--json", "--count", "5"}, ServerArgs(server)), "", kRunMs);
    ASSERT_EQ(result.status, 0) << result.err;
    std::size_t records = 0;
    for (const auto& line : Lines(result.out)) {
      if (Field(line, "kind") != "options") continue;
      ++records;
      const std::string symbol = Field(line, "bstrSymbol");
      const auto contract = contracts.find(symbol);
      ASSERT_NE(contract, contracts.end()) << line;
      EXPECT_EQ(Field(line, "bstrUnderlier"), "XYZ");
      EXPECT_DOUBLE_EQ(std::stod(Field(line, "dStrikePrice")), WireNumber(*contract->second, 2035)) << line;
      EXPECT_EQ(Field(line, "putcall"), WireText(*contract->second, 2038) == "P" ? "1" : "0") << line;
      EXPECT_EQ(bids.count({symbol, std::stod(Field(line, "dBid"))}), 1u) << line;
    }
    EXPECT_EQ(records, kCount);
  }
}

TEST(VokquoteProgram, QuotePrintsOneSnapshotPerSymbolOrFailsWhenNoneArrives) {
  REQUIRE_LIVE();
  sim::CQuoteServer server(Options(1));
  ASSERT_TRUE(server.Start());
  const auto msft = Reference(server.Port(), "H|1003=MSFT;2000=20000", '1', 1);
  const auto ibm = Reference(server.Port(), "H|1003=IBM;2000=20000", '1', 1);
  ASSERT_EQ(msft.size() + ibm.size(), 2u);
  const auto result = RunChild(kProgram, Concat({"quote", "MSFT", "IBM", "--json"}, ServerArgs(server)), "", kRunMs);
  ASSERT_EQ(result.status, 0) << result.err;
  std::vector<std::string> quotes;
  for (const auto& line : Lines(result.out))
    if (Field(line, "kind") == "quote") quotes.push_back(line);
  ASSERT_EQ(quotes.size(), 2u) << result.out;
  EXPECT_EQ(Field(quotes[0], "bstrSymbol"), "MSFT");
  EXPECT_DOUBLE_EQ(std::stod(Field(quotes[0], "dLast")), WireNumber(msft[0], 2002));
  EXPECT_EQ(Field(quotes[1], "bstrSymbol"), "IBM");
  EXPECT_DOUBLE_EQ(std::stod(Field(quotes[1], "dBid")), WireNumber(ibm[0], 2003));

  sim::SServerOptions quiet = Options(1);
  quiet.script.Data(false);
  sim::CQuoteServer silent(quiet);
  ASSERT_TRUE(silent.Start());
  const auto missing =
      RunChild(kProgram, Concat({"quote", "MSFT", "--json", "--timeout", "300"}, ServerArgs(silent)), "", kRunMs);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("vokquote: no quote for MSFT within 300 ms\n"), std::string::npos) << missing.err;
  EXPECT_EQ(Field(Lines(missing.out).empty() ? "" : Lines(missing.out).back(), "kind"), "event") << missing.out;
}

TEST(VokquoteProgram, RefusedLogonUnreachableServerAndNoticeEndWithOneLineAndStatus3) {
  REQUIRE_LIVE();
  sim::SServerOptions options = Options(1);
  options.users["alice"] = Transformed("right-Pa55");
  sim::CQuoteServer server(options);
  ASSERT_TRUE(server.Start());
  const auto refused = RunChild(kProgram, Concat({"watch", "MSFT", "--user", "alice", "--json"}, ServerArgs(server)),
                                "", kRunMs, {"VOKQUOTE_PASSWORD=wrong-Pa55"});
  EXPECT_EQ(refused.status, 3);
  EXPECT_EQ(refused.err, "vokquote: the server at 127.0.0.1:" + std::to_string(server.Port()) +
                             " closed the connection during logon: user 'alice' or the password was refused\n");
  EXPECT_EQ(refused.out.find("Pa55"), std::string::npos);
  EXPECT_EQ(server.RefusedLogonCount(), 1);

  const std::string passwordFile = ::testing::TempDir() + "vokquote_password";
  std::ofstream(passwordFile) << "right-Pa55\n";
  const auto accepted = RunChild(
      kProgram, Concat({"quote", "MSFT", "--user", "alice", "--password-file", passwordFile}, ServerArgs(server)), "",
      kRunMs, {"VOKQUOTE_PASSWORD=wrong-Pa55"});
  EXPECT_EQ(accepted.status, 0) << accepted.err;
  EXPECT_EQ(server.LogonCount(), 1);
  EXPECT_EQ((accepted.out + accepted.err).find("Pa55"), std::string::npos);

  sim::CQuoteServer gone(Options(1));
  ASSERT_TRUE(gone.Start());
  const int port = gone.Port();
  gone.Stop();
  // The refusal is reported as the system says it, not after the connect timeout.
  const auto unreachable = RunChild(
      kProgram, {"watch", "MSFT", "--server", "127.0.0.1:" + std::to_string(port), "--connect-timeout", "5000"}, "",
      kRunMs);
  EXPECT_EQ(unreachable.status, 3);
  EXPECT_EQ(unreachable.err,
            "vokquote: cannot connect to 127.0.0.1:" + std::to_string(port) + ": Connection refused\n");
  EXPECT_EQ(Field(unreachable.out, "lErrorCode"), std::to_string(ECONNREFUSED)) << unreachable.out;

  // "Logged in elsewhere" ends the command: the server's words on stderr and in the JSON lines.
  sim::SServerOptions elsewhere = Options(1);
  elsewhere.script.Expect("L|").Sleep(200).Notice("user demo logged on at another terminal").Drop();
  sim::CQuoteServer noticing(elsewhere);
  ASSERT_TRUE(noticing.Start());
  const auto notice = RunChild(kProgram, Concat({"watch", "MSFT", "--json"}, ServerArgs(noticing)), "", kRunMs);
  EXPECT_EQ(notice.status, 3);
  EXPECT_EQ(notice.err,
            "vokquote: the server ended the session, the user is logged in elsewhere: user demo logged on at another "
            "terminal\n");
  EXPECT_EQ(Field(Lines(notice.out).back(), "text"), "user demo logged on at another terminal") << notice.out;
}

TEST(VokquoteProgram, StatusLineSaysWhenTheConnectionIsDown) {
  REQUIRE_LIVE();
  sim::CQuoteServer server(Options(5));
  ASSERT_TRUE(server.Start());
  CPtyChild child;
  ASSERT_TRUE(child.Start(kProgram, Concat({"watch", "MSFT"}, ServerArgs(server)), 140, 20));
  ASSERT_TRUE(child.ReadUntil("logged on as demo", 30000)) << child.Output();
  const std::size_t before = child.Output().size();
  server.Stop();
  ASSERT_TRUE(child.ReadUntil("disconnected, reconnecting within 1", 30000)) << child.Output().substr(before);
  EXPECT_EQ(child.Output().find("logged on as demo", before), std::string::npos);
  ASSERT_TRUE(child.Send("q"));
  child.ReadToEnd(30000);
  EXPECT_EQ(child.Wait(30000), 0);
}

TEST(VokquoteProgram, EndingTheFullScreenViewRestoresTheTerminal) {
  REQUIRE_LIVE();
  const std::string enter = "\x1b[?1049h";
  const std::string leave = "\x1b[?25h\x1b[?1049l";
  const struct {
    const char* how;
    int signal;  // 0: the q key
    int status;
  } cases[] = {{"Ctrl-C", SIGINT, 130}, {"SIGTERM", SIGTERM, 143}, {"q", 0, 0}};
  for (const auto& c : cases) {
    CPtyChild child;
    ASSERT_TRUE(child.Start(kProgram, {"watch", "MSFT", "--rate", "10"}, 140, 20)) << c.how;
    ASSERT_TRUE(child.ReadUntil("logged on as demo", 30000)) << c.how << ": " << child.Output();
    ASSERT_TRUE(child.ReadUntil(" x ", 30000)) << c.how << ": " << child.Output();  // a row with bid x size
    const std::size_t entered = child.Output().find(enter);
    ASSERT_NE(entered, std::string::npos) << c.how;
    EXPECT_LT(child.Output().find("started the built-in simulator"), entered) << c.how;
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
    const unsigned modes = child.LocalModes();
    EXPECT_EQ(modes & (ECHO | ICANON), static_cast<unsigned>(ECHO | ICANON)) << c.how;
  }
}

}  // namespace
}  // namespace vok::cli::test

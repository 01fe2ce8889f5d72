// The feed's health as vokquote reports it against the simulator: periodic statistics lines, and
// stale and fresh marks when a symbol goes quiet and comes back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "child_process_test_util.h"
#include "quote_server.h"

namespace vok::test {
namespace {

const std::string kProgram = VOKQUOTE_PATH;
constexpr int kRunMs = 60000;

// The number after "key": in a JSON line, or -1.
long long JsonNumber(const std::string& line, const std::string& key, std::size_t from = 0) {
  const auto at = line.find("\"" + key + "\":", from);
  return at == std::string::npos ? -1 : std::atoll(line.c_str() + at + key.size() + 3);
}

// Runs `vokquote watch IBM --json` with args against a simulator with options.
SChildResult WatchIbm(const sim::SServerOptions& options, std::vector<std::string> args) {
  sim::CQuoteServer server(options);
  std::string error;
  if (!server.Start(&error)) return {-1, false, "", error};
  args.insert(args.end(), {"--server", "127.0.0.1:" + std::to_string(server.Port())});
  args.insert(args.begin(), {"watch", "IBM", "--json"});
  return RunChild(kProgram, args, "", kRunMs);
}

TEST(FeedHealthTest, StatsLinesCountWhatTheServerSent) {
  sim::SServerOptions options;
  options.rate = 50;
  const SChildResult run = WatchIbm(options, {"--stats-every", "0.3", "--duration", "1.5"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> stats;
  long long quotes = 0;
  for (const std::string& line : Lines(run.out)) {
    if (line.find("\"kind\":\"stats\"") != std::string::npos) stats.push_back(line);
    quotes += line.find("\"kind\":\"quote\"") != std::string::npos;
  }
  ASSERT_GE(stats.size(), 3u);
  long long previous = 0;
  for (const std::string& line : stats) {
    const long long level1 = JsonNumber(line, "messages", line.find("\"level1\""));
    EXPECT_GE(level1, previous) << line;
    previous = level1;
    EXPECT_EQ(JsonNumber(line, "messages", line.find("\"logon\"")), 1) << line;
    EXPECT_EQ(JsonNumber(line, "connects"), 1) << line;
    EXPECT_EQ(JsonNumber(line, "reconnects"), 0) << line;
    EXPECT_NE(line.find("\"lastDisconnect\":\"none\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"subscribers\":[{\"thread\":"), std::string::npos) << line;
  }
  EXPECT_GT(previous, 10);
  EXPECT_GT(quotes, 0);
  EXPECT_GT(JsonNumber(stats.back(), "delivered"), 0) << stats.back();
}

TEST(FeedHealthTest, AQuietSymbolTurnsStaleAndFreshAgainWithItsNextUpdate) {
  sim::SServerOptions options;
  options.rate = 20;
  options.script.Expect("H|").Sleep(500).Data(false).Sleep(1000).Data(true);
  const SChildResult run = WatchIbm(options, {"--stale-after", "0.4", "--duration", "2.5"});
  ASSERT_EQ(run.status, 0) << run.err;
  // quote... stale, then (after the pause) fresh right before the next quote, and nothing more.
  std::string kinds;
  for (const std::string& line : Lines(run.out)) {
    if (line.find("\"kind\":\"quote\"") != std::string::npos && (kinds.empty() || kinds.back() != 'q')) kinds += 'q';
    if (line.find("\"kind\":\"stale\",") != std::string::npos) {
      kinds += 's';
      EXPECT_NE(line.find("\"bstrSymbol\":\"IBM\""), std::string::npos) << line;
    }
    if (line.find("\"kind\":\"fresh\",") != std::string::npos) kinds += 'f';
  }
  EXPECT_EQ(kinds, "qsfq");
}

}  // namespace
}  // namespace vok::test

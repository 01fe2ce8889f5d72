// A session recorded with `vokquote record` and served again by the simulator's replay gives the
// same records in the same order, and a replay sends a client only what it subscribed.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>

#include "child_process_test_util.h"
#include "quote_server.h"
#include "replay.h"

namespace vok::test {
namespace {

const std::string kProgram = VOKQUOTE_PATH;
constexpr int kRunMs = 60000;

// The data records of vokquote's JSON output without what depends on the moment of writing: the
// receive time and the aggregate size, a read of the live cache when the line is written.
std::vector<std::string> DataRecords(const std::string& out) {
  static const std::regex momentary(R"(("received":"[^"]*",)|(,"aggregate":-?[0-9]+))");
  std::vector<std::string> records;
  for (const std::string& line : Lines(out))
    if (line.find("\"kind\":\"event\"") == std::string::npos)
      records.push_back(std::regex_replace(line, momentary, ""));
  return records;
}

// The first record that differs, rather than two long lists.
void ExpectSameRecords(const std::vector<std::string>& got, const std::vector<std::string>& want) {
  EXPECT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size() && i < want.size(); ++i) {
    if (got[i] != want[i]) {
      ADD_FAILURE() << "record " << i << ":\n" << got[i] << "\ninstead of\n" << want[i];
      return;
    }
  }
}

TEST(RecordReplayTest, ReplayOfARecordedSessionGivesTheSameRecords) {
  const auto dir = std::filesystem::temp_directory_path() / ("vok_record_replay_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string live = (dir / "live.vcap").string(), again = (dir / "again.vcap").string();
  const auto record = [](std::vector<std::string> args, const std::string& out, int port, std::size_t count) {
    args.insert(args.end(), {"--out", out, "--server", "127.0.0.1:" + std::to_string(port), "--level", "1,2,tape",
                             "--json", "--count", std::to_string(count), "--duration", "20"});
    return RunChild(kProgram, args, "", kRunMs);
  };

  // Data starts once every subscription is in: a record that arrives while its callback is being
  // advised may reach it twice (from the cache and as the update), which no replay reproduces.
  sim::SServerOptions liveOptions;
  liveOptions.rate = 50;
  liveOptions.script.Data(false);
  for (int symbol = 0; symbol < 2; ++symbol) liveOptions.script.Expect("H|").Expect("S|").Expect("S|");
  liveOptions.script.Data(true);
  sim::CQuoteServer liveServer(liveOptions);
  std::string error;
  ASSERT_TRUE(liveServer.Start(&error)) << error;
  const SChildResult recorded = record({"record", "IBM", "MSFT"}, live, liveServer.Port(), 150);
  ASSERT_EQ(recorded.status, 0) << recorded.err;
  liveServer.Stop();
  const std::vector<std::string> liveRecords = DataRecords(recorded.out);
  ASSERT_EQ(liveRecords.size(), 150u);

  const std::vector<std::string> capture = Lines(ReadFile(live));

  sim::SServerOptions options;
  auto replay = std::make_shared<sim::CReplay>();
  ASSERT_TRUE(replay->Load(live, error)) << error;
  options.replay = replay;
  sim::CQuoteServer server(options);
  ASSERT_TRUE(server.Start(&error)) << error;

  const SChildResult replayed = record({"record", "IBM", "MSFT"}, again, server.Port(), 150);
  ASSERT_EQ(replayed.status, 0) << replayed.err;
  ExpectSameRecords(DataRecords(replayed.out), liveRecords);

  // Only what the client subscribed: IBM's records alone, in the live order.
  std::vector<std::string> ibm;
  for (const std::string& record : liveRecords)
    if (record.find("\"bstrSymbol\":\"IBM\"") != std::string::npos) ibm.push_back(record);
  const SChildResult subset = record({"record", "IBM"}, again, server.Port(), ibm.size());
  ASSERT_EQ(subset.status, 0) << subset.err;
  ExpectSameRecords(DataRecords(subset.out), ibm);

  // decode reads the capture: its events as such, every line the server sent as a message.
  const SChildResult decoded = RunChild(kProgram, {"decode", "--json"}, ReadFile(live), kRunMs);
  ASSERT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.err, "");
  std::size_t events = 0, messages = 0;
  for (const std::string& line : Lines(decoded.out)) {
    events += line.find("\"kind\":\"captureEvent\"") != std::string::npos;
    messages += line.find("\"kind\":\"message\"") != std::string::npos;
  }
  EXPECT_EQ(events + messages + 1, capture.size());
  EXPECT_GE(events, 2u);
  server.Stop();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vok::test

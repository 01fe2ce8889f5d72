// A hostile quote server and careless client input: the connection must stay up, memory bounded
// and delivery going. VOK_FAULT_FLOOD_MB sets the flood's size.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "connection/quote_client.h"
#include "fault_test_util.h"
#include "feed.h"
#include "platform/event.h"
#include "vokcommon/record_copy.h"

namespace {

using vok::fault::CLiveFeed;
using vok::sim::CScript;
using vok::test::Bstr;
using vok::test::Eventually;

constexpr std::size_t kLineCap = std::size_t{1} << 20;

// "1|1003=AAPL;" followed by fields id=1 with ids counting up from 100000, up to `bytes` long.
std::string ManyFields(std::size_t bytes) {
  std::string line = "1|1003=AAPL";
  for (int id = 100000; line.size() + 10 < bytes; ++id) line += ";" + std::to_string(id) + "=1";
  return line;
}

// A level 1 line announcing `count` legs of the one repeating group, followed by as many leg
// heads as fit in `bytes`.
std::string GroupLine(const std::string& count, std::size_t bytes) {
  std::string line = "1|1003=AAPL;1089=" + count;
  while (line.size() + 8 < bytes) line += ";1507=A";
  return line;
}

std::uint32_t CurrentClientIdentity() {
  vok::CCriticalSectionLock lock(CQuoteClient::Lock());
  return CQuoteClient::CurrentIdentity();
}

TEST(HostileServer, LinesNoServerShouldSendLeaveTheConnectionUpAndDataFlowing) {
  auto options = CLiveFeed::DefaultOptions();
  options.maxBacklog = 64u << 20;  // the simulator must not drop us for its own 10 MB lines
  CLiveFeed feed(options);
  ASSERT_TRUE(feed.Start());
  auto& server = feed.Server();
  auto& session = feed.Session();

  // Connection events for every client identity handed out so far and the next one, with every
  // event code and some that mean nothing.
  CScript forged;
  for (std::uint32_t id = 0; id <= CurrentClientIdentity() + 1; ++id) {
    for (int code : {9978, 9977, 9966, 0, -1})
      forged.Send("0|9992=" + std::to_string(code) + ";9976=" + std::to_string(id));
  }
  forged.Send("0|9992=9977").Send("0|");

  const struct {
    const char* name;
    CScript script;
  } cases[] = {
      {"forged connection events", forged},
      // The over-long line ends at the next line feed, that of the heartbeat after it.
      {"10 MB without a line feed", CScript().SendRaw(std::string(10u << 20, 'x')).Send("9|")},
      {"fields filling the line cap, and ten times as many",
       CScript().Send(ManyFields(kLineCap - 64)).Send(ManyFields(10 * kLineCap))},
      {"huge group counts", CScript()
                                .Send(GroupLine("2147483647", kLineCap - 64))
                                .Send(GroupLine("99999999999999", 4096))
                                .Send(GroupLine("-5", 4096))
                                .Send("2|1003=AAPL;1089=2147483647;1507=A;2016=MARK;2017=20010;2019=1")
                                .Send(GroupLine("1000000", 2 * kLineCap))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Each case starts from a logged-on connection, even when an earlier one lost its own.
    ASSERT_TRUE(Eventually([&] { return feed.LoggedOnSession() > 0 && session.State() == csLoggedIn; }));
    const int current = feed.LoggedOnSession();
    const int connections = server.ConnectionCount();
    const std::size_t events = session.Events().size();
    server.Run(current, c.script);
    // The markers follow the hostile lines on the same stream: once they are delivered, every
    // hostile line before them has been read and handled.
    EXPECT_TRUE(feed.MarkersArrive(current));
    EXPECT_EQ(server.ConnectionCount(), connections);
    EXPECT_TRUE(server.Session(current).open);
    EXPECT_EQ(session.State(), csLoggedIn);
    EXPECT_EQ(session.Events().size(), events) << "no connection event";
  }
  QUOTERECORD cached{};
  session.m_quotes->GetCachedQuote(Bstr("AAPL").Get(), &cached);
  EXPECT_EQ(cached.lVolume, feed.Notify().Marker(0));
  FreeQuoteRecord(cached);
}

TEST(HostileServer, AFloodWithAStalledSubscriberStaysBoundedWhileThePumpingOneKeepsUp) {
  CLiveFeed feed;
  ASSERT_TRUE(feed.Start());
  auto& quotes = feed.Session().m_quotes;
  const char* symbols[] = {"AAPL", "IBM", "MSFT"};

  // The flood's lines come from the level 1 feed of the subscribed symbols, round robin.
  std::string sample;
  const vok::sim::SFeedSettings settings;
  for (const char* symbol : symbols) {
    auto level1 = vok::sim::CFeed::Create(20000, symbol, settings);
    for (int i = 0; i < 1000; ++i) level1->Update(sample);
  }
  const std::size_t floodBytes = std::size_t(vok::fault::EnvCount("VOK_FAULT_FLOOD_MB", 100)) << 20;
  const std::int64_t floodLines = static_cast<std::int64_t>(floodBytes / (sample.size() / 3000));

  // A second subscriber thread takes the same symbols, then stops pumping its messages.
  vok::test::CClientThread stalled;
  vok::fault::CMarkerNotify stalledNotify;
  stalled.Run([&] {
    for (const char* symbol : symbols) quotes->AdviseSymbol(&stalledNotify, Bstr(symbol).Get(), qsfLevelOne);
  });
  ASSERT_TRUE(Eventually([&] { return stalledNotify.Calls(0) >= 3; })) << "the cached record of each symbol";
  const long stalledBefore = stalledNotify.Calls(0);
  vok::CEvent gate(vok::EventReset::Manual);
  std::thread blocker([&] { stalled.Run([&] { gate.Wait(); }); });

  // Resident memory sampled all along; far past the bound the flood is cut short, so that an
  // unbounded queue fails the test instead of the machine.
  const long baselineKb = vok::fault::ResidentKb();
  const long guardKb = vok::fault::kSanitized ? 2L << 20 : 400L << 10;
  std::atomic<long> peakKb{baselineKb};
  std::atomic<bool> sampling{true};
  std::atomic<bool> cut{false};
  std::thread sampler([&] {
    while (sampling) {
      const long kb = vok::fault::ResidentKb();
      peakKb = std::max(peakKb.load(), kb);
      if (kb > guardKb && !cut.exchange(true)) feed.Server().Stop();
      vok::SleepMs(2);
    }
  });

  const std::uint64_t start = vok::MonotonicMs();
  feed.Server().Run(1, CScript().Flood(floodLines));
  // The markers leave after the flood's last line.
  const bool delivered = feed.MarkersArrive(1, 300000, &cut) && !cut;
  const std::uint64_t floodMs = vok::MonotonicMs() - start;
  sampling = false;
  sampler.join();
  std::printf("[ figures  ] flood of %lld lines (%zu MiB) in %llu ms; RSS %ld KiB before, peak %ld KiB\n",
              static_cast<long long>(floodLines), floodBytes >> 20, static_cast<unsigned long long>(floodMs),
              baselineKb, peakKb.load());
  EXPECT_FALSE(cut) << "resident memory passed " << guardKb << " KiB";
  EXPECT_TRUE(delivered);
  if (!vok::fault::kSanitized) {
    // Counted from the baseline: the allocator keeps what the test before this one freed.
    EXPECT_LT(peakKb.load() - baselineKb, 90L << 10) << "resident KiB added under the flood";
  }

  // The pumping subscriber ends on the newest record of every symbol.
  auto cachedVolumes = [&] {
    std::map<std::string, LONG> volumes;
    for (const char* symbol : symbols) {
      QUOTERECORD cached{};
      quotes->GetCachedQuote(Bstr(symbol).Get(), &cached);
      volumes[symbol] = cached.lVolume;
      FreeQuoteRecord(cached);
    }
    return volumes;
  };
  const auto newest = cachedVolumes();
  EXPECT_TRUE(Eventually([&] { return feed.Notify().LastVolumes() == newest; }));
  EXPECT_EQ(feed.Session().EventCount(vok::dispid::OnClose), 0);

  // Pumping again, the stalled subscriber gets the newest of each symbol, not the whole flood.
  gate.Set();
  blocker.join();
  EXPECT_TRUE(Eventually([&] { return stalledNotify.LastVolumes() == newest; }));
  EXPECT_LT(stalledNotify.Calls(0) - stalledBefore, floodLines / 2);
  stalled.Run([&] { quotes->UnadviseAll(&stalledNotify); });
}

}  // namespace

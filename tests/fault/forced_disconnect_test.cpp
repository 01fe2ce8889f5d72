// Forced disconnects against the simulator, with the connection's delays cut to milliseconds.
// VOK_FAULT_DISCONNECTS sets the cycles per kind: 500 by default, 100 under a sanitizer, where
// each silent cycle waits out longer heartbeat ticks.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include "fault_test_util.h"
#include "service/connection_times_test_util.h"

namespace {

using vok::fault::CLiveFeed;
using vok::test::Eventually;

TEST(ForcedDisconnects, EveryLogonResendsEachSubscriptionOnceAndNothingLeaks) {
  const int cycles = vok::fault::EnvCount("VOK_FAULT_DISCONNECTS", vok::fault::kSanitized ? 100 : 500);
  CLiveFeed feed;
  ASSERT_TRUE(feed.Start());
  auto& server = feed.Server();
  auto& session = feed.Session();
  const auto expected = CLiveFeed::Streams();
  ASSERT_EQ(feed.Subscriptions(1), expected);
  const vok::fault::SResources baseline = vok::fault::Resources();
  long peakRssKb = baseline.rssKb;

  using vok::sim::CScript;
  const struct {
    const char* name;
    CScript script;
    bool refuseOnce, silent;
  } kinds[] = {{"drop", CScript().Drop(), false, false},
               // Were the fragment kept, the next connection's logon reply would be glued to it.
               {"drop after half a line", CScript().SendRaw("1|1003=AAPL;2002=12").Drop(), false, false},
               {"logon refused, then accepted", CScript().Drop(), true, false},
               {"silent server", CScript().Silent(true), false, true}};
  int current = 1;
  for (const auto& kind : kinds) {
    // The silent kind is found by the heartbeat: ticks of 50 ms (200 under a sanitizer's slowdown)
    // against the server's 10 ms beats, so only a real silence misses one.
    std::optional<vok::test::CScopedConnectionTimes> fastHeartbeat;
    if (kind.silent) fastHeartbeat.emplace(vok::fault::kSanitized ? 200 : 50, 2, 1, 5);
    const std::uint64_t start = vok::MonotonicMs();
    for (int cycle = 0; cycle < cycles; ++cycle) {
      SCOPED_TRACE(testing::Message() << kind.name << ", cycle " << cycle);
      const int logons = server.LogonCount();
      const int refusedBefore = server.RefusedLogonCount();
      if (kind.refuseOnce) feed.SetPassword("not-the-password");
      server.Run(current, kind.script);
      if (kind.refuseOnce) {
        ASSERT_TRUE(Eventually([&] { return server.RefusedLogonCount() > refusedBefore; }));
        feed.SetPassword(vok::test::kSimulatorPassword);
      }
      int next = 0;
      ASSERT_TRUE(Eventually([&] {
        next = feed.LoggedOnSession();
        return server.LogonCount() > logons && next > current;
      }));
      // A refused connection never logged on, so it heard no subscription.
      for (int refused = current + 1; refused < next; ++refused) EXPECT_TRUE(feed.Subscriptions(refused).empty());
      ASSERT_TRUE(Eventually([&] { return feed.Subscriptions(next).size() >= expected.size(); }));
      ASSERT_TRUE(feed.MarkersArrive(next));
      ASSERT_EQ(feed.Subscriptions(next), expected);
      current = next;
      peakRssKb = std::max(peakRssKb, vok::fault::ResidentKb());
    }
    std::printf("[ figures  ] %s: %d disconnects in %llu ms\n", kind.name, cycles,
                static_cast<unsigned long long>(vok::MonotonicMs() - start));
  }

  // Each connection fired one OnConnect(0), each accepted logon one OnLogonSucceed, and every
  // connection but the open one one OnClose(0) (the sink records -12345 for an event without one).
  EXPECT_EQ(session.EventCount(vok::dispid::OnConnect), server.ConnectionCount());
  EXPECT_EQ(session.EventCount(vok::dispid::OnLogonSucceed), server.LogonCount());
  EXPECT_EQ(session.EventCount(vok::dispid::OnClose), server.ConnectionCount() - 1);
  for (const auto& [dispid, code] : session.Events())
    EXPECT_EQ(code, dispid == vok::dispid::OnLogonSucceed ? -12345 : 0);

  // Workers and transport threads of closed connections are gone, and so are their sockets.
  const vok::fault::SResources after = vok::fault::Resources();
  vok::fault::ExpectBackTo(baseline);
  // The in-process simulator keeps about 1 KiB per closed session and the sink every event: 1.5 KiB
  // per connection plus 1 MiB of slack; a read buffer or client kept per connection would not pass.
  const long allowedKb = 1536L * server.ConnectionCount() / 1024 + 1024;
  if (!vok::fault::kSanitized) {
    EXPECT_LT(after.rssKb - baseline.rssKb, allowedKb) << "resident memory grew by KiB";
  }
  std::printf("[ figures  ] RSS %ld KiB before, %ld KiB peak, %ld KiB after; %d connections, %d logons\n",
              baseline.rssKb, peakRssKb, after.rssKb, server.ConnectionCount(), server.LogonCount());
}

}  // namespace

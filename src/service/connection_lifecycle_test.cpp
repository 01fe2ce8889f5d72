// The connection lifecycle without a COM object: the events it fires, the messages it ignores and
// the reconnect delays it draws. A fake owner records the events.
#include "service/connection_lifecycle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "connection/quote_client.h"
#include "handlers/handler_set.h"
#include "message/vok_message.h"
#include "service/connection_times.h"
#include "service/vok_quotes_test_util.h"

namespace {

using vok::test::CTraceRecorder;

class CRecordingOwner final : public IConnectionEvents {
 public:
  void ReadConnectionSettings(SQuoteClientSettings& settings) override { settings.address = "127.0.0.1"; }
  void FireConnect(LONG code) override { m_events.emplace_back("connect", code); }
  void FireClose(LONG code) override { m_events.emplace_back("close", code); }
  void FireLogonSucceed() override { m_events.emplace_back("logon", 0); }
  std::vector<std::pair<std::string, LONG>> m_events;
};

TEST(ConnectionLifecycle, MessagesNamingNoLiveClientAreIgnoredAndDisconnectFiresCloseZero) {
  CRecordingOwner owner;
  CHandlerSet handlers;
  CConnectionLifecycle lifecycle(owner, handlers);
  CTraceRecorder trace;
  for (const char* line :
       {"G|9976=77;8055=Elsewhere;154=255", "0|9976=78;9992=9978", "0|9976=79;9992=9977", "0|9992=9966"}) {
    lifecycle.OnConnectionMessage(VOKMessage(line, -1));
  }
  EXPECT_EQ(trace.Count("******ignoring msgtype 71 for expired CQuoteClient 0x4d*****************"), 1);
  EXPECT_EQ(trace.Count("******ignoring msgtype 48 for expired CQuoteClient 0x4e"), 1);
  EXPECT_EQ(trace.Count("******ignoring msgtype 48 for expired CQuoteClient 0x0"), 1);
  EXPECT_EQ(trace.Count("Quotes: DISCONNECTED"), 0);
  EXPECT_TRUE(owner.m_events.empty());
  EXPECT_EQ(lifecycle.QuotePermissions(), 0u);
  EXPECT_EQ(lifecycle.ServerName(), "");

  EXPECT_EQ(lifecycle.Disconnect(), S_OK);
  EXPECT_EQ(trace.Count("CVokQuotes::SocketOnClose, errcode=0"), 1);
  ASSERT_EQ(owner.m_events.size(), 1u);
  EXPECT_EQ(owner.m_events[0], std::make_pair(std::string("close"), LONG{0}));
  EXPECT_EQ(lifecycle.State(), csDisconnected);
}

// The delays at their real lengths: the tests that run connections shorten them.
TEST(ConnectionLifecycle, TheRealDelaysAndReconnectDelaysDrawnInWholeStepsIndependentlyOfTheCLibrarySeed) {
  EXPECT_EQ(vok::ConnectionTimes().heartbeatMs.load(), 30000u);
  EXPECT_EQ(vok::ConnectionTimes().connectRetryMs.load(), 20000u);
  auto draw = [] {
    std::srand(7);
    std::vector<std::uint32_t> delays(40);
    for (auto& delay : delays) delay = CConnectionLifecycle::ReconnectDelayMs();
    return delays;
  };
  const std::vector<std::uint32_t> first = draw();
  std::set<std::uint32_t> seen(first.begin(), first.end());
  for (std::uint32_t delay : seen) EXPECT_TRUE(delay >= 10000 && delay <= 14000 && delay % 1000 == 0) << delay;
  EXPECT_GE(seen.size(), 3u);
  // The same C library seed (two processes started in the same second) gives another sequence.
  EXPECT_NE(draw(), first);
}

}  // namespace

// The connection's delays at their real lengths, against the quote server simulator: the retry
// 20 s after a failed connect, the reconnect 10 to 14 s after a drop, and the drop of a silent
// server at the second 30 s heartbeat tick. Each case takes up to a minute.
#include <gtest/gtest.h>

#include <string>

#include "platform/interface_table.h"
#include "quote_server.h"
#include "service/simulator_endpoint_test_util.h"
#include "service/vok_quotes_test_util.h"
#include "vkdll/vkdll.h"

namespace {

using vok::test::Bstr;
using vok::test::CQuotesSession;
using vok::test::CTraceRecorder;

class QuotesRealDelays : public ::testing::Test {
 protected:
  void SetUp() override {
    vok::sim::SServerOptions options;
    char password[65] = {};
    VOK_TransformPassword(vok::test::kSimulatorPassword, password);
    options.users[vok::test::kSimulatorUser] = password;
    options.heartbeatMs = 1000;
    m_server = std::make_unique<vok::sim::CQuoteServer>(options);
    std::string error;
    ASSERT_TRUE(m_server->Start(&error)) << error;
    m_session.Configure("127.0.0.1", m_server->Port(), vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
  }
  void TearDown() override {
    m_session.Release();
    m_server->Stop();
  }

  vok::CComApartment m_apartment{vok::CComApartment::kMultiThreaded};
  CTraceRecorder m_trace;
  std::unique_ptr<vok::sim::CQuoteServer> m_server;
  CQuotesSession m_session;
};

TEST_F(QuotesRealDelays, AFailedConnectIsRetriedAfterTwentySeconds) {
  // Nothing listens on port 1.
  m_session.m_priv->SetRemoteAddress(Bstr("127.0.0.1:1").Get());
  const std::uint64_t start = vok::MonotonicMs();
  m_session.Connect();
  ASSERT_TRUE(m_trace.WaitFor("Quotes: CONNECTFAILED", 1, 20000));
  const std::uint64_t firstFailure = vok::MonotonicMs();
  ASSERT_TRUE(m_trace.WaitFor("Quotes: CONNECTFAILED", 2, 40000));
  EXPECT_GE(vok::MonotonicMs() - firstFailure, 19900u);
  EXPECT_LT(firstFailure - start, 19900u);
  // Each failure is reported with its reason.
  const auto events = m_session.Events();
  ASSERT_GE(events.size(), 2u);
  for (const auto& event : events) {
    EXPECT_EQ(event.first, vok::dispid::OnConnect);
    EXPECT_NE(event.second, 0);
  }
}

TEST_F(QuotesRealDelays, ADropIsFollowedByAReconnectAfterTenToFourteenSeconds) {
  m_session.Connect();
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnLogonSucceed));
  m_server->Run(1, vok::sim::CScript().Drop());
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnClose));
  const std::uint64_t closed = vok::MonotonicMs();
  int traced = 0;
  for (int delay = 10000; delay <= 14000; delay += 1000) {
    if (m_trace.Count("Quotes: DISCONNECTED from VokSim, (" + std::to_string(delay) + ")") == 1) traced = delay;
  }
  ASSERT_NE(traced, 0);
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnLogonSucceed, 2, 30000));
  EXPECT_GE(vok::MonotonicMs() - closed, static_cast<std::uint64_t>(traced) - 100);
  EXPECT_EQ(m_server->ConnectionCount(), 2);
}

TEST_F(QuotesRealDelays, ASilentServerIsDroppedAtTheSecondThirtySecondTick) {
  m_session.Connect();
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnLogonSucceed));
  m_server->Run(1, vok::sim::CScript().Silent(true));
  const std::uint64_t silent = vok::MonotonicMs();
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnClose, 1, 70000));
  const std::uint64_t elapsed = vok::MonotonicMs() - silent;
  // At least one whole silent interval, at most two.
  EXPECT_GE(elapsed, 29900u);
  EXPECT_LE(elapsed, 61000u);
  EXPECT_EQ(m_trace.Count("CQuoteClient 0x"), 1);
}

}  // namespace

// The service object against the quote server simulator over loopback, with the real socket
// transport: logon, subscriptions made before it, a drop and reconnection, the "logged in
// elsewhere" notice, a Connect while healthy, Disconnect racing Connect and an open that hangs;
// logon, data, heartbeats, the drop, reconnection and resubscription again over TLS. The
// connection's delays are shortened; the fault suite repeats drops and silence by the hundred.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "connection/tls_settings.h"
#include "handlers/handler_test_support.h"
#include "handlers/quote_handler.h"
#include "platform/interface_table.h"
#include "platform/socket.h"
#include "platform/tls_test_certificates_util.h"
#include "quote_server.h"
#include "service/connection_times_test_util.h"
#include "service/module_lock.h"
#include "service/simulator_endpoint_test_util.h"
#include "service/suite_message_service.h"
#include "service/vok_quotes_test_util.h"
#include "vkdll/vkdll.h"
#include "vokcommon/record_copy.h"

namespace {

using vok::test::Bstr;
using vok::test::CClientThread;
using vok::test::CQuotesSession;
using vok::test::CRecordingNotify;
using vok::test::CTraceRecorder;
using vok::test::Eventually;
using vok::test::Transformed;

// Heartbeat 1 s (a loaded machine may stall the simulator for a good part of a second), reconnect
// after 100..140 ms, retry after 150 ms.
constexpr std::uint32_t kHeartbeatMs = 1000;

class QuotesWithServer : public ::testing::Test {
 protected:
  void SetUp() override {
    m_options.users[vok::test::kSimulatorUser] = Transformed(vok::test::kSimulatorPassword);
    m_options.rate = 50;
    m_options.heartbeatMs = 100;
    m_server = std::make_unique<vok::sim::CQuoteServer>(m_options);
    std::string error;
    ASSERT_TRUE(m_server->Start(&error)) << error;
  }
  void TearDown() override {
    vok::SetSuiteMessageHandler(nullptr);
    m_session.Release();
    m_server->Stop();
  }

  void Configure() {
    m_session.Configure("127.0.0.1", m_server->Port(), vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
  }
  // Lines the server received on a session that start with prefix.
  std::vector<std::string> LinesStarting(int session, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& line : m_server->ReceivedLines(session)) {
      if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
    }
    return found;
  }
  // Waits until the subscriber has received at least `more` quotes beyond those it has now.
  static bool WaitForMoreQuotes(CRecordingNotify& notify, const std::string& symbol, int more) {
    auto countFor = [&] {
      const auto got = notify.Got();
      return std::count_if(got.begin(), got.end(), [&](const auto& one) { return one.symbol == symbol; });
    };
    const int target = countFor() + more;
    return Eventually([&] { return countFor() >= target; });
  }

  vok::CComApartment m_apartment{vok::CComApartment::kMultiThreaded};
  vok::test::CScopedConnectionTimes m_times{kHeartbeatMs, 100, 10, 150};
  CTraceRecorder m_trace;
  vok::sim::SServerOptions m_options;
  std::unique_ptr<vok::sim::CQuoteServer> m_server;
  CQuotesSession m_session;
};

// The main story in clear and over TLS (the simulator serves a test certificate whose CA the
// process trusts).
class QuotesOverEitherTransport : public QuotesWithServer, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      ASSERT_TRUE(m_certificates.Ok());
      m_options.tlsCertificateFile = m_certificates.CertFile(vok::test::CTestCertificates::kValid);
      m_options.tlsKeyFile = m_certificates.KeyFile();
      OverrideTlsSettings(STlsSettings{true, m_certificates.CaFile(), ""});
    }
    QuotesWithServer::SetUp();
  }
  void TearDown() override {
    QuotesWithServer::TearDown();
    OverrideTlsSettings(std::nullopt);
  }
  vok::test::CTestCertificates m_certificates;
};
INSTANTIATE_TEST_SUITE_P(Transport, QuotesOverEitherTransport, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Tls" : "Tcp"; });

TEST_P(QuotesOverEitherTransport, LogsOnSubscribesReconnectsAfterADropButNotAfterLoggedInElsewhere) {
  std::vector<std::string> notices;
  std::mutex noticesMutex;
  vok::SetSuiteMessageHandler([&](const std::string& text) {
    std::lock_guard lock(noticesMutex);
    notices.push_back(text);
  });
  CClientThread client;
  CRecordingNotify notify;
  const char* symbols[] = {"AAPL", "IBM", "ORCL"};
  client.Run([&] {
    for (const char* symbol : symbols) m_session.m_quotes->AdviseSymbol(&notify, Bstr(symbol).Get(), qsfLevelOne);
  });
  Configure();
  EXPECT_EQ(m_session.Connect(), CVokQuotes::kConnectPending);
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnLogonSucceed));
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnConnect));
  // Each event once, OnConnect(0) first; the password never reaches the trace.
  const auto events = m_session.Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], std::make_pair(vok::dispid::OnConnect, LONG{0}));
  EXPECT_EQ(events[1].first, vok::dispid::OnLogonSucceed);
  EXPECT_FALSE(m_trace.AnyContains(vok::test::kSimulatorPassword));
  EXPECT_FALSE(m_trace.AnyContains(Transformed(vok::test::kSimulatorPassword)));
  // The simulator serves only subscriptions made after a logon with the right user and transformed
  // password: quotes show the logon went first and was right.
  for (const char* symbol : symbols) ASSERT_TRUE(WaitForMoreQuotes(notify, symbol, 2)) << symbol;
  // Connect while logged on: the worker runs and finds the client in place.
  EXPECT_EQ(m_session.Connect(), CVokQuotes::kConnectPending);
  ASSERT_TRUE(m_trace.WaitFor("end CQuoteClient::CreateClient", 2));
  EXPECT_EQ(m_trace.Count("Creating QuoteClient: IP=127.0.0.1"), 1);
  EXPECT_EQ(m_server->ConnectionCount(), 1);
  EXPECT_EQ(m_trace.AnyContains(" over TLS 1.3"), GetParam());

  m_server->Run(1, vok::sim::CScript().Drop());
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnClose));
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnLogonSucceed, 2));
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnConnect, 2));
  // The delay traced is one of base + 0..4 steps.
  int delaysTraced = 0;
  for (int delay = 100; delay <= 140; delay += 10)
    delaysTraced += m_trace.Count("Quotes: DISCONNECTED from VokSim, (" + std::to_string(delay) + ")");
  EXPECT_EQ(delaysTraced, 1);
  // The cache kept its records across the drop.
  QUOTERECORD cached{};
  EXPECT_TRUE(m_session.Object()->Handlers().Quotes()->GetCachedQuote(Bstr("IBM").Get(), &cached));
  FreeQuoteRecord(cached);
  // Resubscribing after every logon is the fault suite's; unadvising is sent on the new session.
  ASSERT_TRUE(Eventually([&] { return LinesStarting(2, "H|").size() == 3; }));
  client.Run([&] { m_session.m_quotes->UnadviseAll(&notify); });
  ASSERT_TRUE(Eventually([&] { return LinesStarting(2, "U|").size() == 3; }));

  // "Logged in elsewhere" stops the next reconnect only.
  m_server->Run(2, vok::sim::CScript().Notice("logged in elsewhere").Drop());
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnClose, 2));
  ASSERT_TRUE(m_trace.WaitFor("Quotes: DISCONNECTED from VokSim -- user logged in elsewhere, NOT reconnecting"));
  {
    std::lock_guard lock(noticesMutex);
    EXPECT_EQ(notices, std::vector<std::string>{"logged in elsewhere"});
  }
  vok::SleepMs(600);  // several reconnect delays: a reconnect that was not suppressed would have run
  EXPECT_EQ(m_server->ConnectionCount(), 2);
  EXPECT_EQ(m_session.State(), csDisconnected);
  m_session.Connect();
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnLogonSucceed, 3));
  m_server->Run(3, vok::sim::CScript().Drop());
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnLogonSucceed, 4));
  EXPECT_EQ(m_server->ConnectionCount(), 4);
}

TEST_F(QuotesWithServer, DisconnectRightAfterConnectLeavesNothingBehind) {
  Configure();
  m_session.Connect();
  EXPECT_EQ(m_session.m_quotes->Disconnect(), S_OK);
  EXPECT_EQ(m_session.State(), csDisconnected);
  // The worker, wherever Disconnect found it, ends without installing anything; whatever it queued
  // names a dead client.
  ASSERT_TRUE(Eventually([] { return CConnectionLifecycle::WorkersRunning() == 0; }));
  const std::size_t seen = m_session.Events().size();
  vok::SleepMs(600);  // several reconnect delays: nothing may follow
  ASSERT_EQ(m_session.Events().size(), seen);
  EXPECT_EQ(m_session.Events().back(), std::make_pair(vok::dispid::OnClose, LONG{0}));
  EXPECT_LE(m_server->ConnectionCount(), 1);
  EXPECT_TRUE(m_server->ConnectionCount() == 0 || m_server->WaitForClosed(1, 10000));
  EXPECT_EQ(m_session.State(), csDisconnected);
}

TEST(QuotesUnreachable, NoCallWaitsForAnOpenThatHangs) {
  vok::CComApartment apartment{vok::CComApartment::kMultiThreaded};
  ASSERT_TRUE(vok::SocketStartup());
  // A listener that never accepts, its backlog filled: a further connect neither completes nor
  // fails until the listener goes.
  auto listener = std::make_unique<vok::CListenSocket>();
  ASSERT_TRUE(listener->Listen("127.0.0.1"));
  const int port = listener->Port();
  std::vector<vok::CSocket> backlog;
  for (int error = 0; backlog.size() < 4096;) {
    vok::CSocket socket = vok::CSocket::Connect("127.0.0.1", port, 300, &error);
    if (!socket.IsValid()) break;
    backlog.push_back(std::move(socket));
  }
  ASSERT_LT(backlog.size(), 4096u);

  CTraceRecorder trace;
  const long locks = vok::ModuleLockCount();
  const std::uint32_t started = CConnectionLifecycle::WorkersStarted();
  auto session = std::make_unique<CQuotesSession>();
  session->Configure("127.0.0.1", port, vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
  EXPECT_EQ(session->Connect(), CVokQuotes::kConnectPending);
  ASSERT_TRUE(trace.WaitFor("Creating QuoteClient: IP=127.0.0.1"));
  EXPECT_EQ(session->State(), csConnecting);
  vok::CBstr server;
  EXPECT_EQ(session->m_quotes->get_ServerName(server.Put()), S_OK);
  // The attempt under way is not doubled.
  EXPECT_EQ(session->Connect(), CVokQuotes::kConnectPending);
  EXPECT_EQ(CConnectionLifecycle::WorkersStarted(), started + 1);
  EXPECT_EQ(session->m_quotes->Disconnect(), S_OK);
  EXPECT_EQ(session->State(), csDisconnected);
  EXPECT_EQ(session->Events(), (std::vector<std::pair<DISPID, LONG>>{{vok::dispid::OnClose, 0}}));
  session.reset();
  // Every call above, and the release, returned while the worker was still in its open; the
  // worker keeps the library loaded.
  EXPECT_EQ(CConnectionLifecycle::WorkersRunning(), 1u);
  EXPECT_EQ(trace.Count("end CQuoteClient::CreateClient"), 0);
  EXPECT_GT(vok::ModuleLockCount(), locks);

  // The listener goes, the open fails; the attempt was given up, so the worker just ends.
  listener.reset();
  ASSERT_TRUE(Eventually([] { return CConnectionLifecycle::WorkersRunning() == 0; }));
  EXPECT_EQ(trace.Count("CQuoteClient::CreateClients: attempt "), 1);
  EXPECT_EQ(trace.Count("Quotes: CONNECTFAILED"), 0);
  EXPECT_TRUE(Eventually([&] { return vok::ModuleLockCount() == locks; }));
  backlog.clear();
  vok::SocketCleanup();
}

}  // namespace

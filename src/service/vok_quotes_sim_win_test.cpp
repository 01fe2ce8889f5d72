// The service object in a Windows build against the shared quote server simulators that the test
// run started: logon with the right and a wrong password, data on the subscribing thread through
// its message loop, and Disconnect's OnClose(0); over TLS through Schannel, a pin mismatch failing
// the connect with its code and a level 5 trace (logon and data over TLS are in the late-bound
// DLL test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>

#include "connection/tls_settings.h"
#include "handlers/handler_test_support.h"
#include "platform/interface_table.h"
#include "service/simulator_endpoint_test_util.h"
#include "service/vok_quotes_test_util.h"
#include "vkdll/vkdll.h"
#include "vokipc/vokipc.h"

namespace {

using vok::test::Bstr;
using vok::test::CClientThread;
using vok::test::CQuotesSession;
using vok::test::CRecordingNotify;
using vok::test::Eventually;

class QuotesWithSharedServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!vok::test::ReadSimulatorEndpoint(m_host, m_port)) GTEST_SKIP() << "no simulator endpoint";
  }
  vok::CComApartment m_apartment{vok::CComApartment::kMultiThreaded};
  std::string m_host;
  int m_port = 0;
};

TEST_F(QuotesWithSharedServer, LogsOnAndDeliversDataOnTheSubscribingThread) {
  CQuotesSession session;
  CClientThread client;
  CRecordingNotify notify;
  client.Run([&] { session.m_quotes->AdviseSymbol(&notify, Bstr("AAPL").Get(), qsfLevelOne); });
  session.Configure(m_host, m_port, vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
  EXPECT_EQ(session.Connect(), CVokQuotes::kConnectPending);
  ASSERT_TRUE(session.WaitForEvent(vok::dispid::OnLogonSucceed));
  ASSERT_TRUE(session.WaitForEvent(vok::dispid::OnConnect));
  EXPECT_EQ(session.State(), csLoggedIn);
  ASSERT_TRUE(Eventually([&] { return notify.Count() >= 2; }));
  const vok::ThreadId clientId = client.Id();
  for (const auto& got : notify.Got()) {
    EXPECT_EQ(got.thread, clientId);
    EXPECT_EQ(got.symbol, "AAPL");
  }
  client.Run([&] { session.m_quotes->UnadviseAll(&notify); });

  EXPECT_EQ(session.m_quotes->Disconnect(), S_OK);
  EXPECT_EQ(session.State(), csDisconnected);
  const auto events = session.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), std::make_pair(vok::dispid::OnClose, LONG{0}));
  EXPECT_EQ(session.EventCount(vok::dispid::OnClose), 1);
}

TEST_F(QuotesWithSharedServer, AWrongPasswordNeverLogsOn) {
  CQuotesSession session;
  session.Configure(m_host, m_port, vok::test::kSimulatorUser, "wrong-password");
  session.Connect();
  ASSERT_TRUE(session.WaitForEvent(vok::dispid::OnClose));
  EXPECT_EQ(session.EventCount(vok::dispid::OnLogonSucceed), 0);
  EXPECT_EQ(session.Events().front(), std::make_pair(vok::dispid::OnConnect, LONG{0}));
}

TEST(QuotesWithSharedTlsServer, APinMismatchFailsTheConnectWithItsCodeAndALevel5Trace) {
  if (std::getenv("VOKQUOTE_TLS_ENDPOINT_FILE") == nullptr) GTEST_SKIP() << "no TLS simulator endpoint";
  vok::test::SSimulatorEndpoint endpoint;
  ASSERT_TRUE(vok::test::ReadSimulatorEndpoint(endpoint, true));
  vok::CComApartment apartment{vok::CComApartment::kMultiThreaded};
  struct SOverrideReset {
    ~SOverrideReset() { OverrideTlsSettings(std::nullopt); }
  } reset;
  OverrideTlsSettings(STlsSettings{true, "", std::string(64, 'A')});
  vok::test::CTraceRecorder trace;
  CQuotesSession session;
  session.Configure(endpoint.host, endpoint.port, vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
  session.Connect();
  ASSERT_TRUE(session.WaitForEvent(vok::dispid::OnConnect));
  EXPECT_EQ(session.Events().front(), std::make_pair(vok::dispid::OnConnect, LONG{kIpcErrorTlsRefused}));
  EXPECT_EQ(session.EventCount(vok::dispid::OnLogonSucceed), 0);
  const auto lines = trace.Lines();
  const auto refusal = std::find_if(lines.begin(), lines.end(), [](const auto& line) {
    return line.text.find("certificate refused: its SHA-256 fingerprint does not match") != std::string::npos;
  });
  ASSERT_NE(refusal, lines.end());
  EXPECT_EQ(refusal->level, VOKTRACE_FAILURE);
}

}  // namespace

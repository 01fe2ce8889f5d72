// The service object in a Windows build against the shared quote server simulator that the test
// run started: logon with the right and a wrong password, data on the subscribing thread through
// its message loop, and Disconnect's OnClose(0).
#include <gtest/gtest.h>

#include <string>

#include "handlers/handler_test_support.h"
#include "platform/interface_table.h"
#include "service/simulator_endpoint_test_util.h"
#include "service/vok_quotes_test_util.h"

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

}  // namespace

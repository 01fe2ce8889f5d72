// The service object over TLS against the simulator serving TLS, with the real transport and the
// TLS choice read from the per-user settings: logon, data and heartbeats through a relay whose
// captured bytes show nothing of the password or the data, and a refused certificate reported as
// a failed connect with its own code.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "handlers/handler_test_support.h"
#include "platform/interface_table.h"
#include "platform/socket.h"
#include "platform/tls_test_certificates_util.h"
#include "quote_server.h"
#include "service/connection_times_test_util.h"
#include "service/simulator_endpoint_test_util.h"
#include "service/vok_quotes_test_util.h"
#include "vkdll/vkdll.h"
#include "vokipc/vokipc.h"

namespace {

using vok::test::Bstr;
using vok::test::CClientThread;
using vok::test::CRecordingNotify;
using vok::test::CTestCertificates;
using vok::test::Eventually;
using vok::test::Transformed;

// Forwards every connection to the server's port and keeps a copy of the bytes both ways.
class CRecordingRelay {
 public:
  explicit CRecordingRelay(int serverPort) : m_serverPort(serverPort) {
    m_listener.Listen("127.0.0.1");
    m_acceptor = std::thread([this] { Accept(); });
  }
  ~CRecordingRelay() {
    m_stop = true;
    m_acceptor.join();
    {
      std::lock_guard<std::mutex> lock(m_lock);
      for (auto& socket : m_sockets) socket->Shutdown();
    }
    for (auto& pump : m_pumps) pump.join();
  }
  int Port() const { return m_listener.Port(); }
  std::string Captured() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_captured;
  }

 private:
  void Accept() {
    while (!m_stop) {
      vok::CSocket client = m_listener.Accept(50);
      if (!client.IsValid()) continue;
      int error = 0;
      vok::CSocket server = vok::CSocket::Connect("127.0.0.1", m_serverPort, 5000, &error);
      std::lock_guard<std::mutex> lock(m_lock);
      auto* from = m_sockets.emplace_back(std::make_unique<vok::CSocket>(std::move(client))).get();
      auto* to = m_sockets.emplace_back(std::make_unique<vok::CSocket>(std::move(server))).get();
      m_pumps.emplace_back([this, from, to] { Pump(*from, *to); });
      m_pumps.emplace_back([this, from, to] { Pump(*to, *from); });
    }
  }
  void Pump(vok::CSocket& from, vok::CSocket& to) {
    char buffer[16384];
    for (int got; (got = from.Receive(buffer, sizeof buffer)) > 0;) {
      {
        std::lock_guard<std::mutex> lock(m_lock);
        m_captured.append(buffer, static_cast<std::size_t>(got));
      }
      if (!to.SendAll(buffer, static_cast<std::size_t>(got))) break;
    }
    to.Shutdown();
    from.Shutdown();
  }

  const int m_serverPort;
  vok::CListenSocket m_listener;
  std::atomic<bool> m_stop{false};
  std::thread m_acceptor;
  std::mutex m_lock;
  std::vector<std::unique_ptr<vok::CSocket>> m_sockets;  // guarded by m_lock
  std::vector<std::thread> m_pumps;                      // guarded by m_lock; joined after the acceptor
  std::string m_captured;                                // guarded by m_lock
};

class QuotesOverTls : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_certificates.Ok());
    if (const char* previous = std::getenv("VOKQUOTE_CONFIG")) m_previousConfig = previous;
    m_config = m_certificates.CaFile() + ".ini";
    setenv("VOKQUOTE_CONFIG", m_config.c_str(), 1);
    vok::sim::SServerOptions options;
    options.users[vok::test::kSimulatorUser] = Transformed(vok::test::kSimulatorPassword);
    options.rate = 50;
    options.heartbeatMs = 100;
    options.tlsCertificateFile = m_certificates.CertFile(CTestCertificates::kValid);
    options.tlsKeyFile = m_certificates.KeyFile();
    m_server = std::make_unique<vok::sim::CQuoteServer>(options);
    std::string error;
    ASSERT_TRUE(m_server->Start(&error)) << error;
  }
  void TearDown() override {
    m_session.Release();
    m_server->Stop();
    if (m_previousConfig.empty()) {
      unsetenv("VOKQUOTE_CONFIG");
    } else {
      setenv("VOKQUOTE_CONFIG", m_previousConfig.c_str(), 1);
    }
  }
  void WriteSettings(const std::string& lines) { std::ofstream(m_config) << "[VokQuote]\nUseTls=1\n" << lines; }
  int QuotesFor(CRecordingNotify& notify, const std::string& symbol) {
    const auto got = notify.Got();
    return static_cast<int>(std::count_if(got.begin(), got.end(), [&](const auto& g) { return g.symbol == symbol; }));
  }

  vok::CComApartment m_apartment{vok::CComApartment::kMultiThreaded};
  vok::test::CScopedConnectionTimes m_times{1000, 100, 10, 150};
  CTestCertificates m_certificates;
  std::string m_config;
  std::string m_previousConfig;
  std::unique_ptr<vok::sim::CQuoteServer> m_server;
  vok::test::CQuotesSession m_session;
};

TEST_F(QuotesOverTls, LogsOnStreamsAndSendsHeartbeatsWithNothingReadableOnTheWire) {
  WriteSettings("TlsCaFile=" + m_certificates.CaFile() + "\n");
  CRecordingRelay relay(m_server->Port());
  CClientThread client;
  CRecordingNotify notify;
  client.Run([&] { m_session.m_quotes->AdviseSymbol(&notify, Bstr("AAPL").Get(), qsfLevelOne); });
  m_session.Configure("127.0.0.1", relay.Port(), vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
  m_session.Connect();
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnLogonSucceed));
  EXPECT_EQ(m_session.Events()[0], std::make_pair(vok::dispid::OnConnect, LONG{0}));
  ASSERT_TRUE(Eventually([&] { return QuotesFor(notify, "AAPL") >= 3; }));
  // The client's heartbeat (every second here) reaches the server through the session.
  ASSERT_TRUE(m_server->WaitForLine(1, "9", 10000));

  client.Run([&] { m_session.m_quotes->UnadviseAll(&notify); });

  const std::string wire = relay.Captured();
  EXPECT_GT(wire.size(), 1000u);
  for (const std::string& secret :
       {std::string(vok::test::kSimulatorPassword), Transformed(vok::test::kSimulatorPassword),
        std::string("100=vokuser"), std::string("1003=AAPL")}) {
    EXPECT_EQ(wire.find(secret), std::string::npos) << secret;
    std::string lower = secret;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(wire.find(lower), std::string::npos) << lower;
  }
}

TEST_F(QuotesOverTls, ARefusedCertificateIsAFailedConnectWithItsOwnCodeAndNoLogon) {
  WriteSettings("TlsPinnedCertificate=" + m_certificates.Fingerprint(CTestCertificates::kSelfSigned) + "\n");
  m_session.Configure("127.0.0.1", m_server->Port(), vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
  m_session.Connect();
  ASSERT_TRUE(m_session.WaitForEvent(vok::dispid::OnConnect));
  EXPECT_EQ(m_session.Events()[0], std::make_pair(vok::dispid::OnConnect, LONG{kIpcErrorTlsRefused}));
  EXPECT_EQ(m_server->LogonCount() + m_server->RefusedLogonCount(), 0);
}

}  // namespace

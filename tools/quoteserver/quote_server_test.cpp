// The simulator over loopback, in this process and as the vokquote-server program: heartbeats, data
// only for what is subscribed, scripted actions, bad input, the send backlog bound, and the
// program's port line, script file, bad flags and SIGTERM. Its users table is checked by the
// vokquote program's tests, which log on as a known user with a right and a wrong password.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

#include "child_process_test_util.h"
#include "message/vok_message.h"
#include "platform/tls_test_certificates_util.h"
#include "quote_server.h"
#include "test_client.h"
#include "vkdll/vkdll.h"

namespace vok::sim {
namespace {

using vok::test::CTestCertificates;

constexpr int kWaitMs = 3000;

std::string Hash(const char* password) {
  char hex[65] = {};
  VOK_TransformPassword(password, hex);
  return hex;
}

std::string FieldOf(const std::string& line, int fid) {
  VOKMessage message(line.c_str(), static_cast<int>(line.size()));
  std::string value;
  message.GetString(fid, value);
  return value;
}

SServerOptions FastOptions() {
  SServerOptions options;
  options.heartbeatMs = 100000;
  options.rate = 100;
  options.startTimeMs = 1796482800000;
  return options;
}

// Connects and logs on; returns the logon reply line.
std::optional<std::string> Logon(CTestClient& client, int port) {
  if (!client.Connect(port)) return std::nullopt;
  client.Send("L|100=u;133=" + Hash("p") + "\n");
  return client.ReadUntil("G|", kWaitMs);
}

TEST(QuoteServerTest, SendsHeartbeatsAndDataOnlyForSubscribedServicesAfterLogon) {
  SServerOptions options = FastOptions();
  options.heartbeatMs = 50;
  CQuoteServer server(options);
  ASSERT_TRUE(server.Start());
  CTestClient client;
  ASSERT_TRUE(client.Connect(server.Port()));
  client.Send("H|1003=EARLY;2000=20000\n");
  ASSERT_TRUE(server.WaitForLine(1, "H|1003=EARLY", kWaitMs));
  client.Send("L|100=u;133=x\n");
  ASSERT_TRUE(client.ReadUntil("G|", kWaitMs));
  client.Send(
      "H|1003=AAA;2000=20000\nS|1003=BBB;2000=20001\nS|1003=CCC;2000=20003\n"
      "S|1003=XYZ;2000=20004\nS|1003=BAD;2000=20002\n");

  std::map<char, std::set<std::string>> seen;  // type -> symbols (underlying for options)
  int heartbeats = 0;
  for (const std::string& line : client.ReadFor(400)) {
    ASSERT_FALSE(line.empty());
    if (line == "9|")
      ++heartbeats;
    else
      seen[line[0]].insert(FieldOf(line, line[0] == '4' ? 2034 : 1003));
  }
  const std::map<char, std::set<std::string>> expected = {
      {'1', {"AAA"}}, {'2', {"BBB"}}, {'3', {"CCC"}}, {'4', {"XYZ"}}};
  EXPECT_EQ(seen, expected);
  EXPECT_GE(heartbeats, 3);
  EXPECT_LE(heartbeats, 9);

  client.Send("U|1003=AAA;2000=20000\nU|1003=BBB;2000=20001\nU|1003=CCC;2000=20003\nU|1003=XYZ;2000=20004\n");
  server.Run(1, CScript().Heartbeats(false));
  ASSERT_TRUE(server.WaitForLine(1, "U|1003=XYZ", kWaitMs));
  client.ReadFor(150);
  EXPECT_TRUE(client.ReadFor(300).empty()) << "unsubscribed and heartbeats off";
  client.Send("9|\n");
  EXPECT_EQ(client.ReadLine(kWaitMs), "9|") << "the client's heartbeat is answered";
}

// The notice and drop steps are run by the service's and the vokquote program's tests.
TEST(QuoteServerTest, ScriptSplitsLinesSendsRawTextAndAnswersLogonsAsTold) {
  SServerOptions options = FastOptions();
  options.splitDelayMs = 50;
  options.script.Expect("L|")
      .Sleep(50)
      .Split("1|1003=SPLIT;2002=1.5", 3)
      .Bytewise("9|")
      .SendRaw("garbage without a line feed yet")
      .Send(" and its end");
  options.script.ForSession(2).Logon("refuse");
  options.script.ForSession(3).Logon("delay", 300);
  options.script.ForSession(4).Logon("ignore");
  CQuoteServer server(options);
  ASSERT_TRUE(server.Start());

  CTestClient client;
  ASSERT_TRUE(client.Connect(server.Port()));
  client.Send("L|100=u;133=x\n");
  EXPECT_EQ(client.ReadLine(kWaitMs), "G|154=65535;8055=VokSim");
  const int readsBefore = client.Reads();
  EXPECT_EQ(client.ReadLine(kWaitMs), "1|1003=SPLIT;2002=1.5");
  EXPECT_EQ(client.ReadLine(kWaitMs), "9|");
  EXPECT_GE(client.Reads() - readsBefore, 3 + 3) << "the pieces came in separate writes";
  EXPECT_EQ(client.ReadLine(kWaitMs), "garbage without a line feed yet and its end");

  CTestClient refused, delayed, ignored;
  EXPECT_FALSE(Logon(refused, server.Port()).has_value());
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Logon(delayed, server.Port()));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(280));
  ASSERT_TRUE(ignored.Connect(server.Port()));
  ignored.Send("L|100=u;133=x\n");
  EXPECT_FALSE(ignored.ReadLine(400).has_value());
  EXPECT_FALSE(ignored.Closed());
  EXPECT_EQ(server.RefusedLogonCount(), 1);
  EXPECT_EQ(server.LogonCount(), 2);
}

TEST(QuoteServerTest, SurvivesBadAndOversizedLines) {
  SServerOptions options = FastOptions();
  options.maxLine = 1024;
  std::vector<std::string> logged;
  std::mutex logLock;
  options.log = [&](const std::string& text) {
    std::lock_guard lock(logLock);
    logged.push_back(text);
  };
  CQuoteServer server(options);
  ASSERT_TRUE(server.Start());
  CTestClient client;
  ASSERT_TRUE(Logon(client, server.Port()));
  client.Send(std::string(5000, 'x'));
  client.Send(std::string(5000, 'y') + "\n\n|||\nX|1=2\nH|garbage\nS|1003=Q\n\r\nH|1003=OK;2000=20000\n");
  auto line = client.ReadUntil("1|", kWaitMs);
  ASSERT_TRUE(line);
  EXPECT_EQ(FieldOf(*line, 1003), "OK");
  EXPECT_EQ(server.ReceivedLines(1), (std::vector<std::string>{"L|100=u;133=" + Hash("p"), "|||", "X|1=2", "H|garbage",
                                                               "S|1003=Q", "H|1003=OK;2000=20000"}));
  server.Stop();
  std::lock_guard lock(logLock);
  EXPECT_EQ(std::count(logged.begin(), logged.end(), "session 1: client line over 1024 bytes skipped"), 1);
  EXPECT_EQ(std::count(logged.begin(), logged.end(),
                       "session 1: subscription line without a usable symbol or service ignored"),
            2);
  for (const std::string& text : logged) EXPECT_EQ(text.find(Hash("p")), std::string::npos) << text;
}

TEST(QuoteServerTest, DisconnectsAClientThatDoesNotReadWhileOthersKeepReceiving) {
  SServerOptions options = FastOptions();
  // Fast enough to fill the stalled client's backlog in well under a second, slow enough that the
  // reader keeps up even under a sanitizer on a loaded machine.
  options.rate = 5000;
  options.maxBacklog = 256 << 10;
  options.socketSendBuffer = 32 << 10;
  CQuoteServer server(options);
  ASSERT_TRUE(server.Start());

  CTestClient stalled;
  ASSERT_TRUE(stalled.Connect(server.Port(), 16 << 10));
  stalled.Send("L|100=slow;133=x\nH|1003=SYM;2000=20000\n");
  CTestClient reader;
  ASSERT_TRUE(Logon(reader, server.Port()));
  reader.Send("H|1003=SYM;2000=20000\n");

  bool stalledClosed = false;
  std::size_t received = 0;
  for (int i = 0; i < 200 && !stalledClosed; ++i) {
    received += reader.ReadFor(50).size();
    stalledClosed = !server.Session(1).open;
  }
  ASSERT_TRUE(stalledClosed);
  EXPECT_EQ(server.Session(1).closeReason, "send backlog over 262144 bytes");
  EXPECT_GT(received, 1000u);
  EXPECT_GT(reader.ReadFor(200).size(), 100u) << "the reading client is still served";
  EXPECT_TRUE(server.Session(2).open);
  EXPECT_EQ(server.OpenSessionCount(), 1);
}

TEST(QuoteServerTest, FloodSendsExactlyTheRequestedLines) {
  SServerOptions options = FastOptions();
  options.rate = 0;
  CQuoteServer server(options);
  ASSERT_TRUE(server.Start());
  CTestClient client;
  ASSERT_TRUE(Logon(client, server.Port()));
  client.Send("H|1003=F1;2000=20000\nH|1003=F2;2000=20000\n");
  ASSERT_TRUE(server.WaitForLine(1, "H|1003=F2", kWaitMs));
  server.Run(1, CScript().Flood(50000).Notice("flood done"));
  std::size_t lines = 0;
  std::set<std::string> symbols;
  std::string last;
  while (auto line = client.ReadLine(500)) {
    ++lines;
    last = *line;
    if (line->compare(0, 2, "1|") == 0) symbols.insert(FieldOf(*line, 1003));
  }
  EXPECT_EQ(lines, 50000u + 2u + 1u) << "two snapshots, the flood and the notice";
  EXPECT_EQ(last, "5|1011=flood done") << "the step after a bounded flood waits for its last line";
  EXPECT_EQ(symbols, (std::set<std::string>{"F1", "F2"}));
}

TEST(QuoteServerTest, ProgramPrintsItsPortRunsTheScriptFileAndStopsOnSigterm) {
  const std::string script = ::testing::TempDir() + "quoteserver_script.txt";
  std::ofstream(script) << "# tell the first client to go away\n[session 1]\nexpect L|\nnotice bye\\x3b now\ndrop\n";
  test::CPtyChild child;
  ASSERT_TRUE(child.Start(VOKQUOTE_SERVER_PATH,
                          {"--listen", "127.0.0.1:0", "--script", script, "--name", "Proc", "--quiet"}, 80, 24));
  ASSERT_TRUE(child.ReadUntil("\n", 5000));
  const int port = std::atoi(child.Output().c_str());
  ASSERT_GT(port, 0);
  EXPECT_EQ(child.Output(), std::to_string(port) + "\r\n");

  CTestClient first, second;  // the second has no section of its own: served normally until the stop
  for (CTestClient* client : {&first, &second}) {
    ASSERT_TRUE(client->Connect(port));
    client->Send("L|100=u;133=x\n");
    EXPECT_EQ(client->ReadLine(5000), "G|154=65535;8055=Proc");
  }
  EXPECT_EQ(first.ReadLine(5000), "5|1011=bye; now");
  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(5000), 0);
  EXPECT_TRUE(second.WaitClosed(5000));
  std::remove(script.c_str());

  const auto bad = test::RunChild(VOKQUOTE_SERVER_PATH, {"--script", "/nonexistent/script"}, "", 5000);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "") << "no port printed";
  const auto help = test::RunChild(VOKQUOTE_SERVER_PATH, {"--help"}, "", 5000);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: vokquote-server [options]\n", 0), 0u) << help.out;
}

// Sessions over TLS are run by the service's TLS tests; here: a key file that is not a key, and a
// client speaking clear text to a TLS server, closed without an answer.
TEST(QuoteServerTest, TlsServerNamesAKeyItCannotUseAndClosesClearTextClients) {
  CTestCertificates certificates;
  ASSERT_TRUE(certificates.Ok());
  SServerOptions options = FastOptions();
  options.tlsCertificateFile = certificates.CertFile(CTestCertificates::kValid);
  options.tlsKeyFile = certificates.CaFile();  // a certificate, not a key
  std::string error;
  EXPECT_FALSE(CQuoteServer(options).Start(&error));
  EXPECT_NE(error.find("cannot read the TLS key " + certificates.CaFile()), std::string::npos) << error;

  options.tlsKeyFile = certificates.KeyFile();
  CQuoteServer server(options);
  ASSERT_TRUE(server.Start());
  CTestClient client;
  ASSERT_TRUE(client.Connect(server.Port()));
  ASSERT_TRUE(client.Send("L|100=user;133=secret\n"));
  EXPECT_TRUE(client.ReadFor(10000).empty()) << "no answer";
  EXPECT_TRUE(client.Closed());
  EXPECT_EQ(server.LogonCount() + server.RefusedLogonCount(), 0);
}

}  // namespace
}  // namespace vok::sim

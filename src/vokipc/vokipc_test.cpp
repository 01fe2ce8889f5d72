// The transport against a loopback server in the test process.
#include "vokipc/vokipc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "vokipc/loopback_server_test_util.h"

namespace {

using vok::test::CCallbackRecorder;
using vok::test::CLoopbackServer;

class Transport : public ::testing::Test {
 protected:
  void SetUp() override {
    IpcStartup();
    ASSERT_TRUE(m_server.Listening());
  }
  void TearDown() override {
    for (IPCHANDLE handle : m_handles) IpcCloseTcp(handle);
    IpcCleanup();
  }
  IPCHANDLE Open(const char* address = "127.0.0.1") {
    const IPCHANDLE handle = IpcOpenTcp(address, m_server.Port(), CCallbackRecorder::Table());
    if (handle != 0) m_handles.push_back(handle);
    return handle;
  }

  CLoopbackServer m_server;
  CCallbackRecorder m_recorder;
  std::vector<IPCHANDLE> m_handles;
};

TEST_F(Transport, OpenFailsWithoutAServerOrANameAndSaysWhyAndHandsOutFreshHandles) {
  int unusedPort = 0;
  {
    vok::CListenSocket closedSoon;
    ASSERT_TRUE(closedSoon.Listen("127.0.0.1"));
    unusedPort = closedSoon.Port();
  }
  const int invalid = vok::kSocketErrorInvalidArgument;
  const struct {
    const char* address;
    int port;
    int error;
    int orError;  // a resolver without network may only say "try again"
  } cases[] = {{"127.0.0.1", unusedPort, vok::kSocketErrorRefused, vok::kSocketErrorRefused},
               {"no-such-host.invalid", 5020, kIpcErrorHostNotFound, kIpcErrorTryAgain},
               {"127.0.0.1", 0, invalid, invalid},
               {"127.0.0.1", 70000, invalid, invalid},
               {"", 5020, invalid, invalid},
               {nullptr, 5020, invalid, invalid}};
  for (const auto& c : cases) {
    EXPECT_EQ(IpcOpenTcp(c.address, c.port, CCallbackRecorder::Table()), 0u)
        << (c.address ? c.address : "(null)") << ":" << c.port;
    const int error = IpcLastOpenError();
    EXPECT_TRUE(error == c.error || error == c.orError) << (c.address ? c.address : "(null)") << " gave " << error;
  }
  EXPECT_EQ(IpcOpenTcp("127.0.0.1", m_server.Port(), nullptr), 0u);
  EXPECT_EQ(IpcLastOpenError(), invalid);
  // The error belongs to the thread that opened, and a successful open clears it.
  int otherThreadError = -1;
  std::thread([&] { otherThreadError = IpcLastOpenError(); }).join();
  EXPECT_EQ(otherThreadError, 0);
  const IPCHANDLE first = Open("localhost");
  ASSERT_NE(first, 0u);
  EXPECT_EQ(IpcLastOpenError(), 0);
  EXPECT_EQ(IpcSend(0, "x\n", 2), 0);
  EXPECT_EQ(IpcIsConnected(0), 0);
  EXPECT_EQ(IpcCloseTcp(0), 0);

  // Handles are never handed out twice; a closed one is gone.
  const IPCHANDLE second = IpcOpenTcpAlt("127.0.0.1", m_server.Port(), CCallbackRecorder::Table());
  ASSERT_GT(second, first);
  m_handles.push_back(second);
  EXPECT_NE(IpcIsConnected(second), 0);
  EXPECT_EQ(IpcCloseTcp(first), 1);
  EXPECT_EQ(IpcIsConnected(first), 0);
  EXPECT_EQ(IpcCloseTcp(first), 0);
  EXPECT_GT(Open(), second);
}

TEST(TransportIpv6, ConnectsToTheIpv6LoopbackWithOrWithoutBrackets) {
  CLoopbackServer server("::1");
  if (!server.Listening()) GTEST_SKIP() << "no IPv6 loopback here";
  CCallbackRecorder recorder;
  const char* const addresses[] = {"::1", "[::1]"};
  for (std::size_t i = 0; i < std::size(addresses); ++i) {
    const IPCHANDLE handle = IpcOpenTcp(addresses[i], server.Port(), CCallbackRecorder::Table());
    ASSERT_NE(handle, 0u) << addresses[i] << " error " << IpcLastOpenError();
    ASSERT_TRUE(server.WaitForPeer(i));
    ASSERT_TRUE(server.Write(i, "G|8055=v6\n"));
    ASSERT_TRUE(recorder.WaitForLines(handle, 1));
    EXPECT_EQ(recorder.Lines(handle), std::vector<std::string>{"G|8055=v6"});
    EXPECT_EQ(IpcSend(handle, "9|\n", 3), 1);
    EXPECT_EQ(server.WaitForLines(i, 1), std::vector<std::string>{"9|"});
    IpcCloseTcp(handle);
  }
}

// A long line, and one over the 1 MiB cap that is dropped (with one warning) while the line after
// it still arrives; the framer's own test cuts lines at every read size.
TEST_F(Transport, DeliversLinesWholeAndDropsOnesOverOneMebibyte) {
  vok::test::CTraceLines trace;
  const IPCHANDLE handle = Open();
  ASSERT_NE(handle, 0u);
  ASSERT_TRUE(m_server.WaitForPeer(0));
  const std::string longLine = "1|1003=L|" + std::string(70000, 'v');
  ASSERT_TRUE(m_server.Write(0, "9|\r\n" + longLine + "\n" + std::string(2 << 20, 'z') + "\nB|after\n"));
  ASSERT_TRUE(m_recorder.WaitForLines(handle, 3));
  EXPECT_EQ(m_recorder.Lines(handle), (std::vector<std::string>{"9|\r", longLine, "B|after"}));
  EXPECT_EQ(trace.Lines(4, "").size(), 1u);
  EXPECT_EQ(trace.Lines(4, "VOKIPC: discarding a line longer than 1048576 bytes").size(), 1u);
}

TEST_F(Transport, ConcurrentSendsArriveWhole) {
  const IPCHANDLE handle = Open();
  ASSERT_NE(handle, 0u);
  constexpr int kThreads = 8;
  constexpr int kMessages = 200;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([handle, t] {
      for (int m = 0; m < kMessages; ++m) {
        // Lengths vary up to ~20 KB so that partial writes happen.
        const std::string body(static_cast<std::size_t>((m * 997 + t * 131) % 20000), static_cast<char>('a' + t));
        const std::string message = "T|" + std::to_string(t) + "|" + std::to_string(m) + "|" + body + "\n";
        EXPECT_EQ(IpcSend(handle, message.data(), static_cast<int>(message.size())), 1);
      }
    });
  }
  for (auto& sender : senders) sender.join();
  const std::vector<std::string> lines = m_server.WaitForLines(0, kThreads * kMessages);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kMessages));
  std::vector<int> next(kThreads, 0);
  for (const std::string& line : lines) {
    int t = -1, m = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "T|%d|%d|", &t, &m), 2) << line.substr(0, 40);
    ASSERT_TRUE(t >= 0 && t < kThreads);
    EXPECT_EQ(m, next[t]++) << "messages of one thread keep their order";
    const std::size_t bodyStart = line.find('|', line.find('|', 2) + 1) + 1;
    const std::string expected(static_cast<std::size_t>((m * 997 + t * 131) % 20000), static_cast<char>('a' + t));
    EXPECT_EQ(line.compare(bodyStart, std::string::npos, expected), 0) << "message " << t << "/" << m << " torn";
  }
}

// Another thread keeps sending while the handle is closed, as the pump thread's heartbeat may.
TEST_F(Transport, NothingIsCalledBackAfterCloseReturnsWhileSendsRace) {
  for (int round = 0; round < 10; ++round) {
    const IPCHANDLE handle = Open();
    ASSERT_NE(handle, 0u);
    ASSERT_TRUE(m_server.WaitForPeer(static_cast<std::size_t>(round)));
    std::atomic<bool> stop{false};
    std::thread flood([&] {
      const std::string burst(64 * 1024 / 8, 'f');
      std::string lines;
      for (int i = 0; i < 8; ++i) lines += burst.substr(0, burst.size() - 1) + "\n";
      while (!stop && m_server.Write(static_cast<std::size_t>(round), lines)) {
      }
    });
    std::atomic<int> sent{0};
    std::thread sender([&] {
      while (IpcSend(handle, "9|\n", 3) == 1) ++sent;
    });
    ASSERT_TRUE(m_recorder.WaitForLines(handle, 1));
    ASSERT_TRUE(vok::test::WaitUntil([&] { return sent.load() > 0; }));
    EXPECT_EQ(IpcCloseTcp(handle), 1);
    sender.join();
    EXPECT_EQ(IpcSend(handle, "9|\n", 3), 0);
    const std::size_t callsAtClose = m_recorder.Calls();
    const std::size_t linesAtClose = m_recorder.Lines(handle).size();
    // The flood keeps writing until the closed socket refuses it; any late callback would land
    // while it does.
    m_server.WaitForPeerEnd(static_cast<std::size_t>(round));
    stop = true;
    flood.join();
    EXPECT_EQ(m_recorder.Calls(), callsAtClose) << "round " << round;
    EXPECT_EQ(m_recorder.Lines(handle).size(), linesAtClose);
    EXPECT_EQ(m_recorder.Closed(handle), 0) << "closed must not follow IpcCloseTcp";
  }
}

// The peer's end is reported once; a handle closed from its own callback is not reported at all.
TEST_F(Transport, ClosedComesOnceWhenThePeerEndsAndNeverAfterACallbackClosedTheHandle) {
  std::atomic<int> closeResult{-1};
  m_recorder.onData = [&](IPCHANDLE h, const std::string& line) {
    if (line == "2|a") closeResult = IpcCloseTcp(h);
  };
  const IPCHANDLE ended = Open();
  const IPCHANDLE closing = Open();
  ASSERT_NE(closing, 0u);
  ASSERT_TRUE(m_server.WaitForPeer(1));
  ASSERT_TRUE(m_server.Write(0, "1|last\n"));
  m_server.Drop(0);
  ASSERT_TRUE(m_server.Write(1, "2|a\n2|b\n2|c\n"));
  ASSERT_TRUE(m_recorder.WaitForClosed(ended));
  EXPECT_EQ(m_recorder.Lines(ended), std::vector<std::string>{"1|last"});
  EXPECT_EQ(IpcIsConnected(ended), 0);
  EXPECT_EQ(IpcSend(ended, "9|\n", 3), 0);
  // The handle is gone once the reader has ended; closing it later changes nothing.
  IpcCloseTcp(ended);
  EXPECT_EQ(m_recorder.Closed(ended), 1);

  ASSERT_TRUE(m_server.WaitForPeerEnd(1));
  ASSERT_TRUE(vok::test::WaitUntil([&] { return closeResult.load() != -1; }));
  EXPECT_EQ(closeResult.load(), 1);
  EXPECT_EQ(m_recorder.Lines(closing), std::vector<std::string>{"2|a"});
  EXPECT_EQ(m_recorder.Closed(closing), 0);
  EXPECT_EQ(IpcIsConnected(closing), 0);
  m_recorder.onData = nullptr;
}

}  // namespace

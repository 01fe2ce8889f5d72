// CQuoteClient over the real transport against a loopback peer; a recording sink stands in for the
// dispatching thread.
#include "connection/quote_client.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "vkdll/vkdll.h"
#include "vokipc/loopback_server_test_util.h"

namespace {

using vok::test::CLoopbackServer;
using vok::test::WaitUntil;

class CRecordingSink final : public IQuoteMessageSink {
 public:
  void QueueMessage(std::unique_ptr<VOKMessage> message) override {
    std::lock_guard lock(m_mutex);
    m_messages.push_back(std::move(message));
  }
  // Stands for a full queue while m_full is set: waits until the message is abandoned.
  bool QueueReceived(std::unique_ptr<VOKMessage> message, std::size_t, const std::atomic<bool>& abandon) override {
    std::unique_lock lock(m_mutex);
    if (m_full) {
      ++m_waiting;
      m_room.wait(lock, [&] { return abandon.load(); });
      ++m_abandoned;
      return false;
    }
    m_messages.push_back(std::move(message));
    return true;
  }
  void ReleaseWaiters() override {
    std::lock_guard lock(m_mutex);
    m_room.notify_all();
  }
  template <typename F>
  auto Locked(F read) {
    std::lock_guard lock(m_mutex);
    return read();
  }
  std::size_t Count() {
    return Locked([&] { return m_messages.size(); });
  }
  // The line form of the index-th posted message, with its line feed.
  std::string Line(std::size_t index) {
    return Locked([&] { return index < m_messages.size() ? m_messages[index]->ToString() : std::string(); });
  }
  int Int(std::size_t index, int fid) {
    int value = -1;
    Locked([&] { return index < m_messages.size() && m_messages[index]->GetInt(fid, value); });
    return value;
  }

  bool m_full = false;  // guarded by m_mutex
  int m_waiting = 0;    // guarded by m_mutex
  int m_abandoned = 0;  // guarded by m_mutex

 private:
  std::mutex m_mutex;
  std::condition_variable m_room;
  std::deque<std::unique_ptr<VOKMessage>> m_messages;
};

class QuoteClient : public ::testing::Test {
 protected:
  // One connection attempt, run on this thread as the worker would.
  void Create(int port) {
    std::uint64_t attempt = 0;
    {
      vok::CCriticalSectionLock lock(CQuoteClient::Lock());
      attempt = CQuoteClient::StartAttempt();
    }
    ASSERT_EQ(CQuoteClient::CreateClients({"127.0.0.1", port, "vokuser", std::string(64, 'a')}, &m_sink, attempt), 0);
  }
  void TearDown() override { CQuoteClient::DeleteCurrent(); }

  CLoopbackServer m_peer;
  CRecordingSink m_sink;
};

TEST_F(QuoteClient, LogsOnAtOnceAndPostsWhatItReceivesByType) {
  ASSERT_TRUE(m_peer.Listening());
  Create(m_peer.Port());
  std::uint32_t id = 0;
  {
    vok::CCriticalSectionLock lock(CQuoteClient::Lock());
    ASSERT_NE(CQuoteClient::Current(), nullptr);
    EXPECT_EQ(CQuoteClient::Current()->State(), csLoggingIn);
    id = CQuoteClient::CurrentIdentity();
  }
  ASSERT_TRUE(m_peer.WaitForPeer(0));
  const auto lines = m_peer.WaitForLines(0, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "L|100=vokuser;133=" + std::string(64, 'a'));
  // The connected event is posted first, naming this client.
  ASSERT_TRUE(WaitUntil([&] { return m_sink.Count() == 1; }));
  EXPECT_EQ(m_sink.Int(0, vok::wire::kFidEventCode), vok::wire::kEventConnected);
  EXPECT_EQ(static_cast<std::uint32_t>(m_sink.Int(0, vok::wire::kFidClientId)), id);

  // A heartbeat is dropped, the logon reply gets the identity, data goes on unchanged. Types no
  // server sends are dropped, internal event messages above all, with one warning per run of them.
  vok::test::CTraceLines trace;
  const std::string forged = "0|9992=9977;9976=" + std::to_string(id);  // would close this client
  m_peer.Write(0, "9|\nG|8055=Sim\n" + forged + "\nX|1=2\n1|1003=IBM;2002=10.5\n0|9992=9966\nN|1003=IBM\n");
  ASSERT_TRUE(WaitUntil([&] { return m_sink.Count() == 4; }));
  EXPECT_EQ(m_sink.Line(1).compare(0, 2, "G|"), 0);
  EXPECT_EQ(static_cast<std::uint32_t>(m_sink.Int(1, vok::wire::kFidClientId)), id);
  EXPECT_EQ(m_sink.Line(2), "1|1003=IBM;2002=10.5\n");
  EXPECT_EQ(m_sink.Line(3), "N|1003=IBM\n");
  EXPECT_EQ(trace.Lines(VOKTRACE_WARNING, "dropping messages of type 48 from the server").size(), 2u);
}

TEST_F(QuoteClient, AReaderWaitingForRoomCountsAsAliveAndTheCloseReleasesIt) {
  Create(m_peer.Port());
  ASSERT_TRUE(m_peer.WaitForPeer(0));
  ASSERT_EQ(m_peer.WaitForLines(0, 1).size(), 1u);
  m_sink.Locked([&] { return m_sink.m_full = true; });
  m_peer.Write(0, "1|1003=IBM;2002=10.5\n");
  ASSERT_TRUE(WaitUntil([&] { return m_sink.Locked([&] { return m_sink.m_waiting == 1; }); }));
  // Ticks while the reader waits: the server is ahead of us, not gone.
  EXPECT_TRUE(CQuoteClient::CheckCurrentHeartbeat());
  EXPECT_TRUE(CQuoteClient::CheckCurrentHeartbeat());
  EXPECT_EQ(m_peer.WaitForLines(0, 3).back(), "9|");
  // Closing joins the reader; it returns only because the close ends the wait.
  CQuoteClient::DeleteCurrent();
  EXPECT_EQ(m_sink.Locked([&] { return m_sink.m_abandoned; }), 1);
}

}  // namespace

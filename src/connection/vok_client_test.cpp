// VOKClient against a loopback server: opening, closing from either side, destruction while a
// callback runs. Its client-level heartbeat is never turned on (the quote client runs its own).
#include "connection/vok_client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "connection/timer_test_util.h"
#include "message/vok_message.h"
#include "platform/thread.h"
#include "vokipc/loopback_server_test_util.h"

namespace {

using namespace vok::test;

// Records what the client is told, in order; hooks let a test act inside a callback.
class CRecordingClient : public VOKClient {
 public:
  using VOKClient::VOKClient;
  ~CRecordingClient() override {
    if (onDestroy) onDestroy();
    Close();
  }

  void OnData(const char* text, int) override {
    Record("data:" + std::string(text));
    // A copy: the hook may destroy this client, and with it the hook's own closure.
    if (auto hook = onData) hook();
  }
  void OnClosed() override {
    if (onClosed) onClosed();
    Record("closed");
  }
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_events;
  }
  bool WaitForEvents(std::size_t count) {
    return WaitUntil([&] { return Events().size() >= count; });
  }

  std::function<void()> onData;
  std::function<void()> onClosed;
  std::function<void()> onDestroy;

 private:
  void Record(std::string event) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_events.push_back(std::move(event));
  }
  std::mutex m_lock;
  std::vector<std::string> m_events;
};

class Client : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.Listening()); }
  // Constructs without opening, so that the hooks are in place before the first callback can
  // come, then opens.
  std::unique_ptr<CRecordingClient> Connect(const std::function<void(CRecordingClient&)>& prepare = {}) {
    auto client = std::make_unique<CRecordingClient>("127.0.0.1", m_server.Port(), false, false, false);
    if (prepare) prepare(*client);
    EXPECT_TRUE(client->Open("127.0.0.1", m_server.Port(), false));
    EXPECT_TRUE(client->IsConnected());
    EXPECT_TRUE(m_server.WaitForPeer(m_peers++));
    return client;
  }

  CLoopbackServer m_server;
  std::size_t m_peers = 0;
};

TEST(ClientAddressText, ParsesAddressAndPortOrRefusesTheText) {
  const struct {
    const char* text;
    bool parsed;
    const char* address;
    int port;
  } cases[] = {{" \t10.0.0.1:5020  ", true, "10.0.0.1", 5020},
               {"quotes.example:50x20", true, "quotes.example", 50},
               {"host:", true, "host", 0},
               {"host:99999999999999", true, "host", 999999999},
               {"10.0.0.1", false, "", 0}};
  for (const auto& c : cases) {
    CTraceLines trace;
    // A datagram client: the transport refuses datagram opens, so nothing goes on the network.
    VOKClient client(c.text, true, false);
    EXPECT_EQ(trace.Lines(5, std::string("VOKClient: invalid ip + port ") + c.text + "!").size(), c.parsed ? 0u : 1u)
        << c.text;
    EXPECT_EQ(trace.Lines(2, "VOKClient::Open returning false").size(), c.parsed ? 1u : 0u) << c.text;
    EXPECT_EQ(client.GetAddress(), c.address) << c.text;
    EXPECT_EQ(client.GetPort(), c.port) << c.text;
    EXPECT_FALSE(client.IsConnected());
    EXPECT_FALSE(client.Close()) << "a client that never opened has nothing to close";
  }
}

TEST_F(Client, OpensSendsAndClosesWithItsTrace) {
  CTraceLines trace;
  auto client = std::make_unique<CRecordingClient>("127.0.0.1", m_server.Port(), false, false, true);
  const std::string id = Hex(client.get());
  const std::string tid = Hex(vok::CurrentThreadId());
  const std::vector<std::string> constructed = {
      "VOKClient() 0x" + id + " 127.0.0.1:" + std::to_string(m_server.Port()) + " tid=0x" + tid,
      "VOKClient::Open returning true", "VOKClient() 0x" + id + " return"};
  EXPECT_EQ(trace.Lines(2, "VOKClient"), constructed);
  ASSERT_TRUE(client->IsConnected());
  const IPCHANDLE handle = client->GetHandle();
  EXPECT_EQ(VOKClient::FromHandle(handle), client.get());

  VOKMessage logon;
  logon.SetType('H');
  logon.SetInt(2000, 20000);
  client->Send(logon);
  ASSERT_TRUE(m_server.WaitForPeer(0));
  EXPECT_EQ(m_server.WaitForLines(0, 1), std::vector<std::string>{"H|2000=20000"});

  EXPECT_TRUE(client->Close());
  EXPECT_FALSE(client->IsConnected());
  EXPECT_EQ(client->GetHandle(), 0u);
  EXPECT_EQ(VOKClient::FromHandle(handle), nullptr);
  EXPECT_FALSE(client->Close());
  EXPECT_TRUE(m_server.WaitForPeerEnd(0));
  client->Send(logon);  // not connected: nothing is written
  EXPECT_EQ(client->Events(), std::vector<std::string>{}) << "closing by the owner calls nothing back";

  // A detached client opens again.
  EXPECT_TRUE(client->Open("127.0.0.1", m_server.Port(), true));
  EXPECT_TRUE(client->IsConnected());
  EXPECT_TRUE(client->IsAlternateOpen());
  EXPECT_NE(client->GetHandle(), handle);
  client.reset();
  EXPECT_EQ(trace.Lines(2, "~VOKClient() 0x" + id + " tid=0x" + tid).size(), 1u);
  EXPECT_TRUE(m_server.WaitForPeerEnd(1));
}

TEST_F(Client, PeerCloseDetachesThenCallsOnClosedOnce) {
  std::atomic<bool> detachedInOnClosed{false};
  CRecordingClient* raw = nullptr;
  auto client = Connect([&](CRecordingClient& c) {
    raw = &c;
    c.onClosed = [&] { detachedInOnClosed = raw->GetHandle() == 0 && !raw->IsConnected(); };
  });
  const IPCHANDLE handle = client->GetHandle();
  ASSERT_TRUE(m_server.Write(0, "1|x\n"));
  m_server.Drop(0);
  ASSERT_TRUE(client->WaitForEvents(2));
  EXPECT_EQ(client->Events(), (std::vector<std::string>{"data:1|x", "closed"}));
  EXPECT_TRUE(detachedInOnClosed.load());
  EXPECT_EQ(VOKClient::FromHandle(handle), nullptr);
  EXPECT_FALSE(client->Close());
  EXPECT_EQ(client->GetHandle(), 0u);
}

// Destroying a client on one thread while its callback runs on another waits for the callback:
// once through the transport (data), once after the peer close (closed), where the handle is
// already gone and only the client's own count of running callbacks holds the destructor back.
TEST_F(Client, DestructionWaitsForARunningCallback) {
  for (const bool duringClosed : {false, true}) {
    CGate entered, release;
    std::atomic<bool> destroyed{false};
    std::atomic<bool> destroyedDuringCallback{false};
    auto hold = [&] {
      entered.Open();
      release.Wait();
      destroyedDuringCallback = destroyed.load();
    };
    auto client = Connect([&](CRecordingClient& c) { (duringClosed ? c.onClosed : c.onData) = hold; });
    if (duringClosed) {
      m_server.Drop(m_peers - 1);
    } else {
      ASSERT_TRUE(m_server.Write(m_peers - 1, "1|x\n"));
    }
    ASSERT_TRUE(entered.Wait());
    CGate destroying;
    client->onDestroy = [&] { destroying.Open(); };
    std::thread destroyer([&] {
      client.reset();
      destroyed = true;
    });
    ASSERT_TRUE(destroying.Wait());
    release.Open();
    destroyer.join();
    EXPECT_FALSE(destroyedDuringCallback.load()) << (duringClosed ? "closed" : "data");
  }
}

TEST_F(Client, ACallbackMayDestroyItsClient) {
  CTraceLines trace;
  std::mutex holderLock;
  std::unique_ptr<CRecordingClient> holder;
  CGate destroyed;
  auto client = Connect([&](CRecordingClient& c) {
    c.onData = [&] {
      {
        std::lock_guard<std::mutex> lock(holderLock);
        holder.reset();
      }
      // Last: once the gate opens the test may end, and holderLock with it.
      destroyed.Open();
    };
  });
  const std::string id = Hex(client.get());
  {
    std::lock_guard<std::mutex> lock(holderLock);
    holder = std::move(client);
  }
  ASSERT_TRUE(m_server.Write(0, "1|a\n1|b\n"));
  ASSERT_TRUE(destroyed.Wait());
  ASSERT_TRUE(m_server.WaitForPeerEnd(0));
  EXPECT_EQ(trace.Lines(2, "~VOKClient() 0x" + id).size(), 1u);
}

}  // namespace

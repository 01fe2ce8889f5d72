// The stream socket's send bound: a peer that accepts but never reads cannot hold a sender.
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Socket, SendFailsWhenThePeerStopsReading) {
  ASSERT_TRUE(vok::SocketStartup());
  {
    vok::CListenSocket listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1"));
    int error = 0;
    vok::CSocket client = vok::CSocket::Connect("127.0.0.1", listener.Port(), 5000, &error);
    ASSERT_TRUE(client.IsValid()) << error;
    const vok::CSocket idlePeer = listener.Accept(5000);
    ASSERT_TRUE(idlePeer.IsValid());
    ASSERT_TRUE(client.SetSendTimeout(200));
    // Far more than both sockets' buffers hold, so the send must block and then give up.
    const std::vector<char> data(64u << 20, 'x');
    EXPECT_FALSE(client.SendAll(data.data(), data.size()));
  }
  vok::SocketCleanup();
}

}  // namespace

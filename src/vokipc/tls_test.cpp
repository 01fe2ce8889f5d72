// The transport over TLS against a small OpenSSL server of the test process.
#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <signal.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/tls_test_certificates_util.h"
#include "vkdll/trace_test_util.h"
#include "vokipc/loopback_server_test_util.h"

namespace {

using namespace vok::test;

// Accepts one connection. With a certificate it runs a TLS handshake (up to maxVersion when that
// is set), then sends two lines (the second in two writes), records the first line it receives
// (and every byte that came over the wire) and closes; without one it sends a line in clear and
// waits for the client to go.
class COneShotServer {
 public:
  COneShotServer(const CTestCertificates* certificates, CTestCertificates::EServer server, int maxVersion = 0) {
    m_listener.Listen("127.0.0.1");
    if (certificates != nullptr) {
      m_ctx = SSL_CTX_new(TLS_server_method());
      SSL_CTX_use_certificate_file(m_ctx, certificates->CertFile(server).c_str(), SSL_FILETYPE_PEM);
      SSL_CTX_use_PrivateKey_file(m_ctx, certificates->KeyFile().c_str(), SSL_FILETYPE_PEM);
      if (maxVersion != 0) {
        // Versions before 1.2 exist only at security level 0.
        SSL_CTX_set_security_level(m_ctx, 0);
        SSL_CTX_set_min_proto_version(m_ctx, TLS1_VERSION);
        SSL_CTX_set_max_proto_version(m_ctx, maxVersion);
      }
    }
    m_thread = std::thread([this] { Serve(); });
  }
  ~COneShotServer() {
    m_thread.join();
    SSL_CTX_free(m_ctx);
  }
  int Port() const { return m_listener.Port(); }
  // What the server read in clear after the handshake (TLS) or at all (plain); after the client went.
  std::string Received() {
    m_thread.join();
    m_thread = std::thread([] {});
    return m_received;
  }
  // The bytes of a TLS session as they came over the wire; after Received.
  const std::string& Wire() const { return m_wire; }

 private:
  void Serve() {
    // The client may hang up first; the test server writes without MSG_NOSIGNAL.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    vok::CSocket socket = m_listener.Accept(20000);
    if (!socket.IsValid()) return;
    const int fd = static_cast<int>(socket.Get());
    char buffer[4096];
    if (m_ctx == nullptr) {
      socket.SendAll("A|plain\n", 8);
      for (int got; (got = socket.Receive(buffer, sizeof buffer)) > 0;) m_received.append(buffer, got);
      return;
    }
    SSL* ssl = SSL_new(m_ctx);
    BIO* bio = BIO_new_socket(fd, BIO_NOCLOSE);
    BIO_set_callback_arg(bio, reinterpret_cast<char*>(&m_wire));
    BIO_set_callback_ex(bio, [](BIO* b, int oper, const char* data, size_t, int, long, int ret, size_t* done) -> long {
      if (oper == (BIO_CB_READ | BIO_CB_RETURN) && ret > 0) {
        reinterpret_cast<std::string*>(BIO_get_callback_arg(b))->append(data, *done);
      }
      return ret;
    });
    SSL_set_bio(ssl, bio, bio);
    if (SSL_accept(ssl) == 1) {
      SSL_write(ssl, "A|hello\nB|spl", 13);
      SSL_write(ssl, "it\n", 3);
      while (m_received.find('\n') == std::string::npos) {
        const int got = SSL_read(ssl, buffer, sizeof buffer);
        if (got <= 0) break;
        m_received.append(buffer, got);
      }
      SSL_shutdown(ssl);
    }
    SSL_free(ssl);
  }

  vok::CListenSocket m_listener;
  SSL_CTX* m_ctx = nullptr;
  std::string m_received;
  std::string m_wire;
  std::thread m_thread;
};

class TlsTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    IpcStartup();
    ASSERT_TRUE(m_certificates.Ok());
  }
  void TearDown() override { IpcCleanup(); }

  CTestCertificates m_certificates;
  CCallbackRecorder m_recorder;
};

TEST_F(TlsTransport, AcceptsOnlyATrustedMatchingOrPinnedCertificate) {
  using E = CTestCertificates;
  const std::string ca = m_certificates.CaFile();
  const std::string validPin = m_certificates.Fingerprint(E::kValid);
  const std::string selfPin = m_certificates.Fingerprint(E::kSelfSigned);
  struct SCase {
    E::EServer server;
    const char* host;
    std::string caFile;
    std::string pin;
    const char* refusal;  // null: accepted
  } cases[] = {
      {E::kValid, "localhost", ca, "", nullptr},
      {E::kValid, "127.0.0.1", ca, "", nullptr},
      {E::kSelfSigned, "127.0.0.1", "", selfPin, nullptr},
      {E::kValid, "localhost", "", validPin, nullptr},
      {E::kValid, "localhost", "", "", "unable to get local issuer certificate"},
      {E::kOtherHost, "localhost", ca, "", "hostname mismatch"},
      {E::kExpired, "localhost", ca, "", "certificate has expired"},
      {E::kSelfSigned, "localhost", "", "", "self-signed certificate"},
      {E::kSelfSigned, "localhost", ca, "", "self-signed certificate"},
      {E::kValid, "localhost", ca, selfPin, "does not match the pinned one"},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(std::string(c.host) + " server " + std::to_string(c.server) + " ca '" + c.caFile + "' pin '" + c.pin +
                 "'");
    COneShotServer server(&m_certificates, c.server);
    const IPCTLSOPTIONS options{c.caFile.c_str(), c.pin.c_str()};
    CTraceLines trace;
    const IPCHANDLE handle = IpcOpenTls(c.host, server.Port(), CCallbackRecorder::Table(), &options);
    const std::vector<std::string> traces = trace.Lines(5, "");
    if (c.refusal != nullptr) {
      EXPECT_EQ(handle, 0u);
      EXPECT_EQ(IpcLastOpenError(), kIpcErrorTlsRefused);
      ASSERT_EQ(traces.size(), 1u);
      EXPECT_NE(traces[0].find(c.refusal), std::string::npos) << traces[0];
      continue;
    }
    ASSERT_NE(handle, 0u);
    EXPECT_TRUE(traces.empty());
    EXPECT_EQ(trace.Lines(2, " over TLS 1.3").size(), 1u);
    ASSERT_TRUE(m_recorder.WaitForLines(handle, 2));
    EXPECT_EQ(m_recorder.Lines(handle), (std::vector<std::string>{"A|hello", "B|split"}));
    // A logon's user and password never cross the wire readable.
    const std::string logon = "L|100=vokuser;133=canary-Pa55\n";
    EXPECT_EQ(IpcSend(handle, logon.data(), static_cast<int>(logon.size())), 1);
    EXPECT_EQ(server.Received(), logon);
    EXPECT_EQ(server.Wire().find("canary-Pa55"), std::string::npos);
    EXPECT_EQ(server.Wire().find("vokuser"), std::string::npos);
    EXPECT_GT(server.Wire().size(), logon.size());
    // The server closed after the line: the reader reports it once.
    ASSERT_TRUE(m_recorder.WaitForClosed(handle));
    EXPECT_EQ(m_recorder.Closed(handle), 1);
    IpcCloseTcp(handle);
  }
}

TEST_F(TlsTransport, ATlsClientAndAPlainOrPreTls12PeerFailCleanly) {
  {
    COneShotServer plain(nullptr, CTestCertificates::kValid);
    CTraceLines trace;
    const IPCHANDLE handle = IpcOpenTls("127.0.0.1", plain.Port(), CCallbackRecorder::Table(), nullptr);
    const std::vector<std::string> traces = trace.Lines(5, "");
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(IpcLastOpenError(), kIpcErrorTlsHandshake);
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_NE(traces[0].find("TLS to 127.0.0.1"), std::string::npos) << traces[0];
    // Nothing but the handshake went out in clear.
    EXPECT_EQ(plain.Received().find("9|"), std::string::npos);
  }
  {
    COneShotServer old(&m_certificates, CTestCertificates::kValid, TLS1_1_VERSION);
    const std::string ca = m_certificates.CaFile();
    const IPCTLSOPTIONS options{ca.c_str(), nullptr};
    CTraceLines trace;
    const IPCHANDLE handle = IpcOpenTls("127.0.0.1", old.Port(), CCallbackRecorder::Table(), &options);
    const std::vector<std::string> traces = trace.Lines(5, "");
    EXPECT_EQ(IpcLastOpenError(), kIpcErrorTlsHandshake);
    EXPECT_EQ(handle, 0u);
    if (handle != 0) IpcCloseTcp(handle);  // lets the server's read end
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_NE(traces[0].find("protocol version"), std::string::npos) << traces[0];
  }
}

}  // namespace

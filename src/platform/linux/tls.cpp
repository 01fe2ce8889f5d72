// Linux backend of the TLS client: OpenSSL over the socket switched to non-blocking mode, so the
// handshake keeps the connect time bound and a write waiting for room never holds the lock the
// reader needs. Every SSL call runs under one lock; the waits (poll) run outside it.
#include "platform/tls.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/thread.h"

namespace vok {

namespace {

struct SSslCtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SSslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct SX509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};

bool IsIpLiteral(const std::string& host) {
  unsigned char address[16];
  return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// The oldest queued OpenSSL error in words, or fallback; clears the queue.
std::string OpenSslError(const char* fallback) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return fallback;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

// The socket BIO writes with write(), which raises SIGPIPE in the host's process when the server
// has gone; this one is the same but writes with MSG_NOSIGNAL, so that case is an error.
int NoSignalWrite(BIO* bio, const char* data, int size) {
  BIO_clear_retry_flags(bio);
  int fd = -1;
  BIO_get_fd(bio, &fd);
  ssize_t sent;
  do {
    sent = send(fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(bio);
  return static_cast<int>(sent);
}

const BIO_METHOD* NoSignalSocketMethod() {
  static BIO_METHOD* const s_method = [] {
    const BIO_METHOD* socket = BIO_s_socket();
    BIO_METHOD* method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "vok socket");
    if (method == nullptr) return method;
    BIO_meth_set_write(method, &NoSignalWrite);
    BIO_meth_set_read(method, BIO_meth_get_read(socket));
    BIO_meth_set_puts(method, BIO_meth_get_puts(socket));
    BIO_meth_set_ctrl(method, BIO_meth_get_ctrl(socket));
    BIO_meth_set_create(method, BIO_meth_get_create(socket));
    BIO_meth_set_destroy(method, BIO_meth_get_destroy(socket));
    return method;
  }();
  return s_method;
}

// Waits until fd is ready for events or the deadline (0: none) passed.
bool Wait(int fd, short events, std::uint64_t deadline) {
  for (;;) {
    int timeout = -1;
    if (deadline != 0) {
      const std::uint64_t now = MonotonicMs();
      if (now >= deadline) return false;
      timeout = static_cast<int>(deadline - now);
    }
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, timeout);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

}  // namespace

struct CTlsClient::SImpl {
  CSocket socket;
  std::unique_ptr<SSL_CTX, SSslCtxFree> ctx;
  std::unique_ptr<SSL, SSslFree> ssl;
  std::mutex lock;  // guards every call on ssl
  std::atomic<bool> shutdown{false};

  int Fd() const { return static_cast<int>(socket.Get()); }
};

CTlsClient::CTlsClient(std::unique_ptr<SImpl> impl) : m_impl(std::move(impl)) {}
CTlsClient::~CTlsClient() = default;

std::unique_ptr<CTlsClient> CTlsClient::Connect(CSocket socket, const STlsClientOptions& options,
                                                std::uint32_t timeoutMs, ETlsFailure& failure, std::string& reason) {
  const std::uint64_t deadline = MonotonicMs() + timeoutMs;
  failure = ETlsFailure::Handshake;
  unsigned char pin[32] = {};
  const bool pinned = !options.pinnedSha256.empty();
  if (pinned && !ParseSha256Fingerprint(options.pinnedSha256, pin)) {
    failure = ETlsFailure::Refused;
    reason = "the pinned certificate fingerprint is not 64 hex digits";
    return nullptr;
  }
  auto impl = std::make_unique<SImpl>();
  impl->socket = std::move(socket);
  impl->ctx.reset(SSL_CTX_new(TLS_client_method()));
  if (!impl->ctx) {
    reason = OpenSslError("no TLS context");
    return nullptr;
  }
  SSL_CTX* ctx = impl->ctx.get();
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  // A server that closes without a close_notify ends the stream as it would in clear text: the
  // line framing, not the TLS close, tells whether a message was whole.
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (!pinned) {
    const bool loaded = options.caFile.empty()
                            ? SSL_CTX_set_default_verify_paths(ctx) == 1
                            : SSL_CTX_load_verify_locations(ctx, options.caFile.c_str(), nullptr) == 1;
    if (!loaded) {
      failure = ETlsFailure::Refused;
      reason = options.caFile.empty() ? "the system trust store could not be read"
                                      : "the CA file " + options.caFile + " could not be read";
      ERR_clear_error();
      return nullptr;
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  }
  impl->ssl.reset(SSL_new(ctx));
  SSL* ssl = impl->ssl.get();
  BIO* bio = ssl != nullptr && NoSignalSocketMethod() != nullptr ? BIO_new(NoSignalSocketMethod()) : nullptr;
  if (bio == nullptr) {
    reason = OpenSslError("no TLS session");
    return nullptr;
  }
  BIO_set_fd(bio, impl->Fd(), BIO_NOCLOSE);
  SSL_set_bio(ssl, bio, bio);
  const std::string host = HostWithoutBrackets(options.serverName.c_str());
  if (!IsIpLiteral(host) && !host.empty()) SSL_set_tlsext_host_name(ssl, host.c_str());
  // The pin identifies the server on its own; otherwise the name must match (a DNS name or, for
  // an IP literal, an IP address entry of the certificate).
  if (!pinned && SSL_set1_host(ssl, host.c_str()) != 1) {
    reason = "the server name " + host + " cannot be checked";
    return nullptr;
  }
  const int fd = impl->Fd();
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    reason = "the socket cannot be made non-blocking";
    return nullptr;
  }
  ERR_clear_error();
  for (;;) {
    const int done = SSL_connect(ssl);
    if (done == 1) break;
    const int error = SSL_get_error(ssl, done);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      if (!Wait(fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline)) {
        reason = "the handshake did not complete in time";
        return nullptr;
      }
      continue;
    }
    const long verified = SSL_get_verify_result(ssl);
    if (verified != X509_V_OK) {
      failure = ETlsFailure::Refused;
      reason = std::string("certificate refused: ") + X509_verify_cert_error_string(verified);
      ERR_clear_error();
    } else if (error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN) {
      reason = OpenSslError("the server closed the connection during the handshake");
    } else {
      reason = OpenSslError("the handshake failed");
    }
    return nullptr;
  }
  if (pinned) {
    const std::unique_ptr<X509, SX509Free> certificate(SSL_get1_peer_certificate(ssl));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!certificate || X509_digest(certificate.get(), EVP_sha256(), digest, &length) != 1 || length != 32 ||
        std::memcmp(digest, pin, 32) != 0) {
      failure = ETlsFailure::Refused;
      reason = "certificate refused: its SHA-256 fingerprint does not match the pinned one";
      return nullptr;
    }
  }
  failure = ETlsFailure::None;
  return std::make_unique<CTlsClient>(std::move(impl));
}

bool CTlsClient::SendAll(const char* data, std::size_t size, std::uint32_t timeoutMs) {
  const std::uint64_t deadline = MonotonicMs() + timeoutMs;
  SImpl& impl = *m_impl;
  while (size > 0) {
    if (impl.shutdown.load()) return false;
    int written = 0;
    int error = SSL_ERROR_NONE;
    {
      std::lock_guard<std::mutex> guard(impl.lock);
      ERR_clear_error();
      const int chunk = size > (1u << 30) ? (1 << 30) : static_cast<int>(size);
      written = SSL_write(impl.ssl.get(), data, chunk);
      if (written <= 0) error = SSL_get_error(impl.ssl.get(), written);
    }
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
      continue;
    }
    if (error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ) return false;
    if (!Wait(impl.Fd(), error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline)) {
      errno = ETIMEDOUT;
      return false;
    }
  }
  return true;
}

int CTlsClient::Receive(char* buffer, int size) {
  SImpl& impl = *m_impl;
  for (;;) {
    if (impl.shutdown.load()) return -1;
    int received = 0;
    int error = SSL_ERROR_NONE;
    {
      std::lock_guard<std::mutex> guard(impl.lock);
      ERR_clear_error();
      received = SSL_read(impl.ssl.get(), buffer, size);
      if (received <= 0) error = SSL_get_error(impl.ssl.get(), received);
    }
    if (received > 0) return received;
    switch (error) {
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE:
        // Shutdown wakes this wait: a shut socket polls readable.
        if (!Wait(impl.Fd(), error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, 0)) return -1;
        continue;
      case SSL_ERROR_ZERO_RETURN:
        return 0;
      default:
        return -1;
    }
  }
}

const char* CTlsClient::Protocol() const {
  return SSL_version(m_impl->ssl.get()) == TLS1_3_VERSION ? "TLS 1.3" : "TLS 1.2";
}

void CTlsClient::Shutdown() {
  m_impl->shutdown = true;
  m_impl->socket.Shutdown();
}

}  // namespace vok

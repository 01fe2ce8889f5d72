// OpenSSL for the simulator: TLS 1.2 and up, the session's non-blocking socket underneath.
#include "tls_server.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <climits>

namespace vok::sim {

namespace {

// Maps a failed SSL_read or SSL_write to the errno convention of recv and send.
long Failed(SSL* ssl, int result) {
  const int error = SSL_get_error(ssl, result);
  ERR_clear_error();
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    errno = EAGAIN;
    return -1;
  }
  if (error == SSL_ERROR_ZERO_RETURN) return 0;
  if (error != SSL_ERROR_SYSCALL || errno == 0) errno = EPROTO;
  return -1;
}

std::size_t Capped(std::size_t size) { return size > INT_MAX ? INT_MAX : size; }

}  // namespace

CTlsServerStream::CTlsServerStream(SSL* ssl) : m_ssl(ssl) {}
CTlsServerStream::~CTlsServerStream() { SSL_free(m_ssl); }

long CTlsServerStream::Read(char* buffer, std::size_t size) {
  ERR_clear_error();
  const int got = SSL_read(m_ssl, buffer, static_cast<int>(Capped(size)));
  return got > 0 ? got : Failed(m_ssl, got);
}

long CTlsServerStream::Write(const char* data, std::size_t size) {
  ERR_clear_error();
  const int sent = SSL_write(m_ssl, data, static_cast<int>(Capped(size)));
  if (sent > 0) return sent;
  const long result = Failed(m_ssl, sent);
  if (result == 0) errno = EPIPE;
  return result == 0 ? -1 : result;
}

bool CTlsServerStream::HasBuffered() const { return SSL_pending(m_ssl) > 0; }

CTlsServerContext::CTlsServerContext() = default;
CTlsServerContext::~CTlsServerContext() { SSL_CTX_free(m_ctx); }

bool CTlsServerContext::Load(const std::string& certificateFile, const std::string& keyFile, std::string& error) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr) {
    error = "no TLS context";
    return false;
  }
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  // A client that closes its socket without a close_notify has simply gone, as over clear text.
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  // The send buffer moves as it grows and is written in pieces.
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (SSL_CTX_use_certificate_chain_file(ctx, certificateFile.c_str()) != 1) {
    error = "cannot read the TLS certificate " + certificateFile;
  } else if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    error = "cannot read the TLS key " + keyFile;
  } else if (SSL_CTX_check_private_key(ctx) != 1) {
    error = "the TLS key " + keyFile + " does not belong to the certificate";
  } else {
    SSL_CTX_free(m_ctx);
    m_ctx = ctx;
    return true;
  }
  ERR_clear_error();
  SSL_CTX_free(ctx);
  return false;
}

std::unique_ptr<CTlsServerStream> CTlsServerContext::Accept(int fd) const {
  SSL* ssl = m_ctx != nullptr ? SSL_new(m_ctx) : nullptr;
  if (ssl == nullptr) return nullptr;
  auto stream = std::make_unique<CTlsServerStream>(ssl);
  if (SSL_set_fd(ssl, fd) != 1) return nullptr;
  SSL_set_accept_state(ssl);
  return stream;
}

}  // namespace vok::sim

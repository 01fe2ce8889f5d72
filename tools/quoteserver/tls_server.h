// The simulator's side of TLS: a context loaded from a PEM certificate (chain) and key once at
// start, and one non-blocking TLS stream per session in place of the socket's recv and send.
// Runs on the server thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace vok::sim {

class CTlsServerStream {
 public:
  explicit CTlsServerStream(SSL* ssl);
  CTlsServerStream(const CTlsServerStream&) = delete;
  CTlsServerStream& operator=(const CTlsServerStream&) = delete;
  ~CTlsServerStream();

  // As recv and send on a non-blocking socket: a count, 0 when the client ended the stream (Read
  // only), or -1 with errno set (EAGAIN while the session waits for the socket, EPROTO when the
  // client does not speak TLS or broke it). The first calls run the handshake.
  long Read(char* buffer, std::size_t size);
  long Write(const char* data, std::size_t size);
  // Decrypted bytes already read from the socket: epoll will not report them.
  bool HasBuffered() const;

 private:
  SSL* m_ssl;
};

class CTlsServerContext {
 public:
  CTlsServerContext();
  ~CTlsServerContext();
  CTlsServerContext(const CTlsServerContext&) = delete;
  CTlsServerContext& operator=(const CTlsServerContext&) = delete;

  bool Load(const std::string& certificateFile, const std::string& keyFile, std::string& error);
  // A stream over the accepted socket fd (not owned), or null when out of memory.
  std::unique_ptr<CTlsServerStream> Accept(int fd) const;

 private:
  SSL_CTX* m_ctx = nullptr;
};

}  // namespace vok::sim

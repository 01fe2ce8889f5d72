// vok::CTlsClient: a TLS session over a connected stream socket, for the transport. It checks the
// server certificate against the system's trust store (or a CA file) and the host name, or only
// against a pinned SHA-256 fingerprint of the certificate when one is configured. It offers TLS
// 1.2 and 1.3 and accepts nothing older. Linux: OpenSSL (libssl); Windows: Schannel (secur32).
//
// Threads: SendAll from one thread at a time (the caller serialises its writers), Receive from
// one reader thread, Shutdown from any thread; the session's own lock keeps reads and writes of
// the TLS state apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/socket.h"

namespace vok {

struct STlsClientOptions {
  std::string serverName;  // checked against the certificate; sent as SNI unless an IP literal
  std::string caFile;      // PEM file of the CAs to trust instead of the system store; empty: system
  // SHA-256 of the server certificate (DER) in hex, colons and blanks allowed. When set it replaces
  // the chain and name checks: the pinned certificate is the server's identity.
  std::string pinnedSha256;
};

enum class ETlsFailure {
  None,
  Handshake,  // no TLS session came up: the peer does not speak TLS, no common version, time-out
  Refused,    // the server's certificate was refused (chain, name, dates or pin)
};

// Parses a hex fingerprint (64 digits, optionally separated by ':' or blanks) into 32 bytes.
bool ParseSha256Fingerprint(std::string_view text, unsigned char (&digest)[32]);

class CTlsClient {
 public:
  // Runs the handshake on socket within timeoutMs. Null when it failed: failure says how, reason
  // in words (for the trace; never holds data the application sent).
  static std::unique_ptr<CTlsClient> Connect(CSocket socket, const STlsClientOptions& options, std::uint32_t timeoutMs,
                                             ETlsFailure& failure, std::string& reason);
  CTlsClient(const CTlsClient&) = delete;
  CTlsClient& operator=(const CTlsClient&) = delete;
  ~CTlsClient();

  // Encrypts and writes every byte within timeoutMs; false on error or time-out (the session is
  // then unusable).
  bool SendAll(const char* data, std::size_t size, std::uint32_t timeoutMs);
  // Blocks for decrypted data: the count read, 0 when the peer ended the stream, -1 on error or
  // after Shutdown.
  int Receive(char* buffer, int size);
  // Ends the stream: a Receive blocked on another thread returns.
  void Shutdown();
  // The negotiated version, "TLS 1.2" or "TLS 1.3", for the trace.
  const char* Protocol() const;

  struct SImpl;
  explicit CTlsClient(std::unique_ptr<SImpl> impl);

 private:
  std::unique_ptr<SImpl> m_impl;
};

}  // namespace vok

// vok::CSocket: an owned stream socket (closed by the destructor) with the few operations the
// transport needs: a connect by host name bounded in time, whole-buffer sends, blocking receives
// and a shutdown that wakes a receive blocked on another thread. vok::CListenSocket is the
// loopback listener that in-process test servers use. Windows: Winsock (ws2_32); Linux: BSD sockets.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vok {

// Reference-counted start of the system's socket library (WSAStartup on Windows); every
// successful SocketStartup is matched by one SocketCleanup.
bool SocketStartup();
void SocketCleanup();

// The system's last socket error for the calling thread (errno or WSAGetLastError).
int LastSocketError();

class CSocket {
 public:
  using Native = std::uintptr_t;
  static constexpr Native kInvalid = ~Native{0};

  CSocket() = default;
  explicit CSocket(Native native) : m_native(native) {}
  CSocket(CSocket&& other) noexcept : m_native(other.Release()) {}
  CSocket& operator=(CSocket&& other) noexcept;
  CSocket(const CSocket&) = delete;
  CSocket& operator=(const CSocket&) = delete;
  ~CSocket() { Close(); }

  // Resolves host (IPv4 or IPv6 literal or name) and connects to the first address that answers
  // within timeoutMs in all; an invalid socket when none did (error holds the last system error,
  // or -1 when the name did not resolve).
  static CSocket Connect(const char* host, int port, std::uint32_t timeoutMs, int* error);

  bool IsValid() const { return m_native != kInvalid; }
  Native Get() const { return m_native; }
  // Writes every byte, looping over partial sends; false on error (never raises SIGPIPE).
  bool SendAll(const char* data, std::size_t size);
  // Blocks for data: the count read, 0 when the peer closed, -1 on error or after Shutdown.
  int Receive(char* buffer, int size);
  // Ends both directions: a Receive blocked on another thread returns -1 (Windows checks for this
  // between waits of at most 100 ms, since its shutdown does not wake a blocked receive).
  void Shutdown();
  void Close();
  Native Release() {
    const Native native = m_native;
    m_native = kInvalid;
    return native;
  }

 private:
  Native m_native = kInvalid;
  std::atomic<bool> m_shutdown{false};
};

class CListenSocket {
 public:
  CListenSocket() = default;
  CListenSocket(const CListenSocket&) = delete;
  CListenSocket& operator=(const CListenSocket&) = delete;

  // Listens on an ephemeral port of the loopback address ("127.0.0.1" or "::1").
  bool Listen(const char* loopbackAddress);
  int Port() const { return m_port; }
  // Waits up to timeoutMs for a connection; an invalid socket when none came.
  CSocket Accept(std::uint32_t timeoutMs);

 private:
  CSocket m_socket;
  int m_port = 0;
};

}  // namespace vok

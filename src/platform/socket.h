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

// What CSocket::Connect reports when the name did not resolve: Winsock's own codes, used on
// Linux too (they lie far above any errno value), so a caller tells the cases apart the same way
// on both systems.
inline constexpr int kSocketErrorHostNotFound = 11001;  // no such name, or no address for it
inline constexpr int kSocketErrorTryAgain = 11002;      // the resolver failed for now

// A few of the system's own codes, for callers above this layer that must tell them apart.
#ifdef _WIN32
inline constexpr int kSocketErrorInvalidArgument = 10022;  // WSAEINVAL
inline constexpr int kSocketErrorNoMemory = 8;             // WSA_NOT_ENOUGH_MEMORY
inline constexpr int kSocketErrorRefused = 10061;          // WSAECONNREFUSED
inline constexpr int kSocketErrorTimedOut = 10060;         // WSAETIMEDOUT
#else
inline constexpr int kSocketErrorInvalidArgument = 22;  // EINVAL
inline constexpr int kSocketErrorNoMemory = 12;         // ENOMEM
inline constexpr int kSocketErrorRefused = 111;         // ECONNREFUSED
inline constexpr int kSocketErrorTimedOut = 110;        // ETIMEDOUT
#endif

// "[::1]" -> "::1": an IPv6 literal may come in the brackets of URL notation.
std::string HostWithoutBrackets(const char* host);

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

  // Resolves host (an IPv4 literal, an IPv6 literal with or without brackets, or a name that
  // resolves to either) and tries its addresses in the resolver's order until one connects, all
  // within timeoutMs: each address gets an even share of the time still left, so one that never
  // answers cannot starve the next. An invalid socket when none connected; error then holds the
  // last system error (ECONNREFUSED, ETIMEDOUT, ... or the WSAE... code on Windows), EINVAL
  // (WSAEINVAL) for a null or empty host or a port outside 1..65535, or one of the
  // kSocketError... codes above when the name did not resolve.
  static CSocket Connect(const char* host, int port, std::uint32_t timeoutMs, int* error);

  bool IsValid() const { return m_native != kInvalid; }
  Native Get() const { return m_native; }
  // Bounds each blocking send: a peer that stops reading makes SendAll fail after timeoutMs
  // instead of holding the sending thread for ever. After such a failure part of the data may
  // have gone out, so the stream is no longer usable.
  bool SetSendTimeout(std::uint32_t timeoutMs);
  // Writes every byte, looping over partial sends; false on error or when the send time-out
  // passed (never raises SIGPIPE).
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

// Windows backend of the stream socket: Winsock 2, started by the first SocketStartup and cleaned
// up by the last SocketCleanup; a non-blocking connect waited for with select.
#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/thread.h"

namespace vok {

static_assert(kSocketErrorHostNotFound == WSAHOST_NOT_FOUND && kSocketErrorTryAgain == WSATRY_AGAIN);
static_assert(kSocketErrorInvalidArgument == WSAEINVAL && kSocketErrorNoMemory == WSA_NOT_ENOUGH_MEMORY);
static_assert(kSocketErrorRefused == WSAECONNREFUSED && kSocketErrorTimedOut == WSAETIMEDOUT);

namespace {

SOCKET Sock(CSocket::Native native) { return static_cast<SOCKET>(native); }

std::mutex g_startupLock;
int g_startupCount = 0;  // guarded by g_startupLock

bool SetBlocking(SOCKET s, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

// Waits for s to be readable (read) or writable/failed (connect) until the deadline.
bool SelectUntil(SOCKET s, bool forRead, std::uint64_t deadline) {
  for (;;) {
    const std::uint64_t now = MonotonicMs();
    if (now >= deadline) {
      WSASetLastError(WSAETIMEDOUT);
      return false;
    }
    const std::uint64_t left = deadline - now;
    timeval timeout{static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if (forRead) {
      FD_SET(s, &readable);
    } else {
      FD_SET(s, &writable);
      FD_SET(s, &failed);
    }
    const int ready = select(0, &readable, &writable, &failed, &timeout);
    if (ready > 0) return true;
    if (ready < 0) return false;
  }
}

}  // namespace

bool SocketStartup() {
  std::lock_guard<std::mutex> lock(g_startupLock);
  if (g_startupCount == 0) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  }
  ++g_startupCount;
  return true;
}

void SocketCleanup() {
  std::lock_guard<std::mutex> lock(g_startupLock);
  if (g_startupCount > 0 && --g_startupCount == 0) WSACleanup();
}

int LastSocketError() { return WSAGetLastError(); }

CSocket& CSocket::operator=(CSocket&& other) noexcept {
  if (this != &other) {
    Close();
    m_native = other.Release();
    m_shutdown = other.m_shutdown.load();
  }
  return *this;
}

CSocket CSocket::Connect(const char* host, int port, std::uint32_t timeoutMs, int* error) {
  auto fail = [error](int code) {
    if (error) *error = code;
    return CSocket();
  };
  if (host == nullptr || *host == '\0' || port <= 0 || port > 65535) return fail(WSAEINVAL);
  const std::string name = HostWithoutBrackets(host);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  char service[16];
  std::snprintf(service, sizeof service, "%d", port);
  addrinfo* list = nullptr;
  // getaddrinfo returns the Winsock code itself (WSAHOST_NOT_FOUND, WSATRY_AGAIN, ...).
  const int resolved = getaddrinfo(name.c_str(), service, &hints, &list);
  if (resolved != 0 || list == nullptr) return fail(resolved != 0 ? resolved : kSocketErrorHostNotFound);
  std::size_t addressesLeft = 0;
  for (addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) ++addressesLeft;

  const std::uint64_t deadline = MonotonicMs() + timeoutMs;
  int lastError = WSAETIMEDOUT;
  CSocket result;
  for (addrinfo* entry = list; entry != nullptr && !result.IsValid(); entry = entry->ai_next, --addressesLeft) {
    const std::uint64_t now = MonotonicMs();
    if (now >= deadline) break;
    const std::uint64_t attemptDeadline = now + (deadline - now) / addressesLeft;
    const SOCKET s = socket(entry->ai_family, entry->ai_socktype, entry->ai_protocol);
    if (s == INVALID_SOCKET) {
      lastError = WSAGetLastError();
      continue;
    }
    CSocket candidate(static_cast<Native>(s));
    if (!SetBlocking(s, false)) {
      lastError = WSAGetLastError();
      continue;
    }
    bool connected = connect(s, entry->ai_addr, static_cast<int>(entry->ai_addrlen)) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK && SelectUntil(s, false, attemptDeadline)) {
      int soError = 0;
      int length = sizeof soError;
      if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length) == 0 && soError == 0) {
        connected = true;
      } else {
        WSASetLastError(soError);
      }
    }
    if (!connected || !SetBlocking(s, true)) {
      lastError = WSAGetLastError();
      continue;
    }
    const BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    result = std::move(candidate);
  }
  freeaddrinfo(list);
  if (!result.IsValid() && error) *error = lastError;
  return result;
}

bool CSocket::SetSendTimeout(std::uint32_t timeoutMs) {
  const DWORD timeout = timeoutMs;
  return IsValid() && setsockopt(Sock(m_native), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
                                 sizeof timeout) == 0;
}

bool CSocket::SendAll(const char* data, std::size_t size) {
  while (size > 0) {
    const int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    const int sent = send(Sock(m_native), data, chunk, 0);
    if (sent == SOCKET_ERROR) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

int CSocket::Receive(char* buffer, int size) {
  for (;;) {
    if (m_shutdown) return -1;
    const SOCKET s = Sock(m_native);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval timeout{0, 100 * 1000};
    const int ready = select(0, &readable, nullptr, nullptr, &timeout);
    if (ready < 0) return -1;
    if (ready == 0) continue;
    if (m_shutdown) return -1;
    const int received = recv(s, buffer, size, 0);
    return received == SOCKET_ERROR ? -1 : received;
  }
}

void CSocket::Shutdown() {
  m_shutdown = true;
  if (IsValid()) shutdown(Sock(m_native), SD_BOTH);
}

void CSocket::Close() {
  if (IsValid()) closesocket(Sock(Release()));
}

bool CListenSocket::Listen(const char* loopbackAddress) {
  const bool v6 = std::strchr(loopbackAddress, ':') != nullptr;
  const SOCKET s = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  CSocket candidate(static_cast<CSocket::Native>(s));
  sockaddr_storage storage{};
  int length = 0;
  if (v6) {
    auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
    address->sin6_family = AF_INET6;
    if (inet_pton(AF_INET6, loopbackAddress, &address->sin6_addr) != 1) return false;
    length = sizeof *address;
  } else {
    auto* address = reinterpret_cast<sockaddr_in*>(&storage);
    address->sin_family = AF_INET;
    if (inet_pton(AF_INET, loopbackAddress, &address->sin_addr) != 1) return false;
    length = sizeof *address;
  }
  if (bind(s, reinterpret_cast<sockaddr*>(&storage), length) != 0) return false;
  if (listen(s, 64) != 0) return false;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return false;
  m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                    : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
  m_socket = std::move(candidate);
  return true;
}

CSocket CListenSocket::Accept(std::uint32_t timeoutMs) {
  if (!m_socket.IsValid()) return CSocket();
  const SOCKET listening = Sock(m_socket.Get());
  if (!SelectUntil(listening, true, MonotonicMs() + timeoutMs)) return CSocket();
  const SOCKET s = accept(listening, nullptr, nullptr);
  if (s == INVALID_SOCKET) return CSocket();
  const BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return CSocket(static_cast<CSocket::Native>(s));
}

}  // namespace vok

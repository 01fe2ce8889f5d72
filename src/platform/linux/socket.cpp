// Linux backend of the stream socket: BSD sockets, a non-blocking connect waited for with poll,
// MSG_NOSIGNAL so that a write to a closed peer is an error and not a signal.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/thread.h"

namespace vok {

static_assert(kSocketErrorInvalidArgument == EINVAL && kSocketErrorNoMemory == ENOMEM);
static_assert(kSocketErrorRefused == ECONNREFUSED && kSocketErrorTimedOut == ETIMEDOUT);

namespace {

int Fd(CSocket::Native native) { return static_cast<int>(native); }

bool SetBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

// Waits for fd to be ready for events until the deadline; false on time-out or error.
bool PollUntil(int fd, short events, std::uint64_t deadline) {
  for (;;) {
    const std::uint64_t now = MonotonicMs();
    if (now >= deadline) {
      errno = ETIMEDOUT;
      return false;
    }
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, static_cast<int>(deadline - now));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

// A getaddrinfo failure as the code CSocket::Connect reports.
int ResolveError(int resolved) {
  switch (resolved) {
    case 0:  // no error, but no address either
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
    case EAI_FAIL:
      return kSocketErrorHostNotFound;
    case EAI_AGAIN:
      return kSocketErrorTryAgain;
    case EAI_MEMORY:
      return ENOMEM;
    case EAI_SYSTEM:
      return errno != 0 ? errno : kSocketErrorHostNotFound;
    default:
      return EINVAL;
  }
}

}  // namespace

bool SocketStartup() { return true; }
void SocketCleanup() {}
int LastSocketError() { return errno; }

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
  if (host == nullptr || *host == '\0' || port <= 0 || port > 65535) return fail(EINVAL);
  const std::string name = HostWithoutBrackets(host);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  // No AI_ADDRCONFIG: on a host whose only interface is loopback it hides "localhost".
  hints.ai_flags = AI_NUMERICSERV;
  char service[16];
  std::snprintf(service, sizeof service, "%d", port);
  addrinfo* list = nullptr;
  const int resolved = getaddrinfo(name.c_str(), service, &hints, &list);
  if (resolved != 0 || list == nullptr) return fail(ResolveError(resolved));
  std::size_t addressesLeft = 0;
  for (addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) ++addressesLeft;

  const std::uint64_t deadline = MonotonicMs() + timeoutMs;
  int lastError = ETIMEDOUT;
  CSocket result;
  for (addrinfo* entry = list; entry != nullptr && !result.IsValid(); entry = entry->ai_next, --addressesLeft) {
    const std::uint64_t now = MonotonicMs();
    if (now >= deadline) break;
    const std::uint64_t attemptDeadline = now + (deadline - now) / addressesLeft;
    const int fd = socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
    if (fd < 0) {
      lastError = errno;
      continue;
    }
    CSocket candidate(static_cast<Native>(fd));
    if (!SetBlocking(fd, false)) {
      lastError = errno;
      continue;
    }
    bool connected = connect(fd, entry->ai_addr, entry->ai_addrlen) == 0;
    if (!connected && errno == EINPROGRESS && PollUntil(fd, POLLOUT, attemptDeadline)) {
      int soError = 0;
      socklen_t length = sizeof soError;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) == 0 && soError == 0) {
        connected = true;
      } else {
        errno = soError;
      }
    }
    if (!connected || !SetBlocking(fd, true)) {
      lastError = errno;
      continue;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    result = std::move(candidate);
  }
  freeaddrinfo(list);
  if (!result.IsValid() && error) *error = lastError;
  return result;
}

bool CSocket::SetSendTimeout(std::uint32_t timeoutMs) {
  timeval timeout{static_cast<time_t>(timeoutMs / 1000), static_cast<suseconds_t>((timeoutMs % 1000) * 1000)};
  return IsValid() && setsockopt(Fd(m_native), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) == 0;
}

bool CSocket::SendAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = send(Fd(m_native), data, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

int CSocket::Receive(char* buffer, int size) {
  for (;;) {
    const ssize_t received = recv(Fd(m_native), buffer, static_cast<std::size_t>(size), 0);
    if (received >= 0) return static_cast<int>(received);
    if (errno != EINTR) return -1;
  }
}

void CSocket::Shutdown() {
  m_shutdown = true;
  if (IsValid()) shutdown(Fd(m_native), SHUT_RDWR);
}

void CSocket::Close() {
  if (IsValid()) close(Fd(Release()));
}

bool CListenSocket::Listen(const char* loopbackAddress) {
  const bool v6 = std::strchr(loopbackAddress, ':') != nullptr;
  const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  CSocket candidate(static_cast<CSocket::Native>(fd));
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_storage storage{};
  socklen_t length = 0;
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
  if (bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) return false;
  if (listen(fd, 64) != 0) return false;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return false;
  m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                    : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
  m_socket = std::move(candidate);
  return true;
}

CSocket CListenSocket::Accept(std::uint32_t timeoutMs) {
  if (!m_socket.IsValid()) return CSocket();
  const int listenFd = Fd(m_socket.Get());
  if (!PollUntil(listenFd, POLLIN, MonotonicMs() + timeoutMs)) return CSocket();
  const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return CSocket();
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return CSocket(static_cast<CSocket::Native>(fd));
}

}  // namespace vok

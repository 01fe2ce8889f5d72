// The simulator's calls to the operating system (Linux).
#include "server_system.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

namespace vok::sim {
namespace {

bool ParseLoopback(const std::string& text, in_addr& address) {
  return inet_pton(AF_INET, text.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

std::uint32_t EventsOf(bool writable) { return EPOLLIN | (writable ? EPOLLOUT : 0u); }

}  // namespace

bool IsLoopbackIPv4(const std::string& text) {
  in_addr address{};
  return ParseLoopback(text, address);
}

CUniqueFd ListenTcp(const std::string& host, int port, int& boundPort, std::string& error) {
  auto fail = [&error](const std::string& what) {
    error = what + ": " + std::strerror(errno);
    return CUniqueFd();
  };
  in_addr address{};
  if (!ParseLoopback(host, address)) {
    errno = EINVAL;
    return fail("the simulator listens on loopback addresses only, not " + host);
  }
  CUniqueFd listen(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!listen.Valid()) return fail("socket");
  int one = 1;
  ::setsockopt(listen.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in bindAddress{};
  bindAddress.sin_family = AF_INET;
  bindAddress.sin_addr = address;
  bindAddress.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(listen.Get(), reinterpret_cast<sockaddr*>(&bindAddress), sizeof bindAddress) != 0)
    return fail("bind " + host + ":" + std::to_string(port));
  if (::listen(listen.Get(), 128) != 0) return fail("listen");
  socklen_t length = sizeof bindAddress;
  ::getsockname(listen.Get(), reinterpret_cast<sockaddr*>(&bindAddress), &length);
  boundPort = ntohs(bindAddress.sin_port);
  return listen;
}

CUniqueFd AcceptTcp(int listenFd, int sendBuffer) {
  for (;;) {
    CUniqueFd socket(::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!socket.Valid() && (errno == EINTR || errno == ECONNABORTED)) continue;
    if (!socket.Valid()) return socket;  // EAGAIN, or out of descriptors: the next readiness tries again
    int one = 1;
    ::setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (sendBuffer > 0) ::setsockopt(socket.Get(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    return socket;
  }
}

long SendSome(int fd, const char* data, std::size_t size) {
  return static_cast<long>(::send(fd, data, size, MSG_NOSIGNAL));
}

long ReceiveSome(int fd, char* buffer, std::size_t size) { return static_cast<long>(::recv(fd, buffer, size, 0)); }

CUniqueFd MakeWakeFd() { return CUniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)); }

void SignalWakeFd(int fd) {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

void ClearWakeFd(int fd) {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(fd, &count, sizeof count);
}

void BlockBrokenPipe() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

bool CPoller::Open() {
  m_fd.Reset(::epoll_create1(EPOLL_CLOEXEC));
  return m_fd.Valid();
}

bool CPoller::Watch(int fd, bool writable) {
  epoll_event event{};
  event.events = EventsOf(writable);
  event.data.fd = fd;
  return ::epoll_ctl(m_fd.Get(), EPOLL_CTL_ADD, fd, &event) == 0;
}

bool CPoller::Change(int fd, bool writable) {
  epoll_event event{};
  event.events = EventsOf(writable);
  event.data.fd = fd;
  return ::epoll_ctl(m_fd.Get(), EPOLL_CTL_MOD, fd, &event) == 0;
}

void CPoller::Forget(int fd) { ::epoll_ctl(m_fd.Get(), EPOLL_CTL_DEL, fd, nullptr); }

int CPoller::Wait(SReady* ready, int timeoutMs) {
  epoll_event events[kMaxReady];
  const int count = ::epoll_wait(m_fd.Get(), events, kMaxReady, timeoutMs);
  if (count < 0) return errno == EINTR ? 0 : -1;
  for (int i = 0; i < count; ++i) {
    ready[i] = SReady{events[i].data.fd, (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0,
                      (events[i].events & EPOLLOUT) != 0};
  }
  return count;
}

namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

CStopSignals::CStopSignals() {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

const char* CStopSignals::Wait() {
  const sigset_t set = StopSet();
  int signal = 0;
  sigwait(&set, &signal);
  return signal == SIGINT ? "SIGINT" : "SIGTERM";
}

}  // namespace vok::sim

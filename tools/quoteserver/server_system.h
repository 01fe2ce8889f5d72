// The one module of the quote server simulator that calls the operating system: loopback TCP
// (listen, accept, send, receive), the readiness poller of the server thread, its wake-up
// descriptor and the process's signals. Descriptors are held by the tree's one fd owner.
#pragma once

#include <cstddef>
#include <string>

#include "platform/linux/unique_fd.h"

namespace vok::sim {

// Whether text is a dotted IPv4 address in 127.0.0.0/8.
bool IsLoopbackIPv4(const std::string& text);

// Listens on host (a loopback IPv4 address) and port (0: an ephemeral one, then in boundPort).
// Invalid, with error naming the step and the system's reason, when it cannot.
CUniqueFd ListenTcp(const std::string& host, int port, int& boundPort, std::string& error);
// The next waiting connection, non-blocking and without send delay, with a send buffer of
// sendBuffer bytes when above 0; invalid when none is waiting (or descriptors ran out).
CUniqueFd AcceptTcp(int listenFd, int sendBuffer);
// One non-blocking send or receive: the byte count, 0 at the peer's end (receive), or -1 with
// errno set (EAGAIN when it would block). A send to a closed peer fails with EPIPE, no signal.
long SendSome(int fd, const char* data, std::size_t size);
long ReceiveSome(int fd, char* buffer, std::size_t size);

// A counter descriptor that polls readable from Signal (any thread) until Clear.
CUniqueFd MakeWakeFd();
void SignalWakeFd(int fd);
void ClearWakeFd(int fd);

// Blocks SIGPIPE on the calling thread: a write to a gone client is then an EPIPE of that write.
void BlockBrokenPipe();

// The readiness of many descriptors (epoll), for the server thread.
class CPoller {
 public:
  struct SReady {
    int fd;
    bool readable;  // or hung up, or failed: a read tells which
    bool writable;
  };
  static constexpr int kMaxReady = 64;

  bool Open();
  void Close() { m_fd.Reset(); }
  bool Watch(int fd, bool writable);
  bool Change(int fd, bool writable);
  void Forget(int fd);
  // Up to kMaxReady descriptors within timeoutMs; 0 on time-out or an interruption, -1 on a
  // failure (errno set).
  int Wait(SReady* ready, int timeoutMs);

 private:
  CUniqueFd m_fd;
};

// vokquote-server's stop: SIGINT and SIGTERM are taken synchronously by Wait on the thread that
// made this (threads started later inherit the blocked set); SIGPIPE is ignored.
class CStopSignals {
 public:
  CStopSignals();
  // Blocks until one of the two arrives; returns its name ("SIGINT" or "SIGTERM").
  const char* Wait();
};

}  // namespace vok::sim

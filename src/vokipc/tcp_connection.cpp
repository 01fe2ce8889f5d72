// CTcpConnection: the reader thread, the serialised writes and the close that stops callbacks.
#include "vokipc/tcp_connection.h"

#include <chrono>
#include <condition_variable>
#include <vector>

#include "platform/thread.h"
#include "vkdll/vkdll.h"

namespace {

constexpr int kReadChunk = 64 * 1024;
// Bounds each TLS write as the socket's send time-out bounds each plain one.
constexpr std::uint32_t kTlsSendTimeoutMs = 10000;

struct SReaderCount {
  std::mutex lock;
  std::condition_variable ended;
  int running = 0;
};

SReaderCount& Readers() {
  static SReaderCount s_readers;
  return s_readers;
}

// Set on reader threads, so a cleanup that runs inside a callback does not wait for itself.
thread_local bool t_onReader = false;

}  // namespace

bool WaitForReaders(int stillOpen, std::uint32_t timeoutMs) {
  SReaderCount& readers = Readers();
  std::unique_lock<std::mutex> lock(readers.lock);
  return readers.ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return readers.running <= stillOpen + (t_onReader ? 1 : 0); });
}

CTcpConnection::CTcpConnection(IPCHANDLE handle, vok::CSocket socket, const IPCCALLBACKS* callbacks)
    : m_handle(handle), m_callbacks(callbacks), m_socket(std::move(socket)) {}

CTcpConnection::CTcpConnection(IPCHANDLE handle, std::unique_ptr<vok::CTlsClient> tls, const IPCCALLBACKS* callbacks)
    : m_handle(handle), m_callbacks(callbacks), m_tls(std::move(tls)) {}

int CTcpConnection::Receive(char* buffer, int size) {
  return m_tls ? m_tls->Receive(buffer, size) : m_socket.Receive(buffer, size);
}

void CTcpConnection::ShutdownStream() {
  if (m_tls) {
    m_tls->Shutdown();
  } else {
    m_socket.Shutdown();
  }
}

CTcpConnection::~CTcpConnection() {
  // Close joined or detached the reader, or the reader detached itself at its end.
  if (m_reader.joinable()) m_reader.detach();
}

bool CTcpConnection::Start(ReaderEndHook onReaderEnd) {
  std::lock_guard<std::mutex> startLock(m_startLock);
  {
    // Lock order: m_startLock, then the reader count's lock (taken alone everywhere else).
    std::lock_guard<std::mutex> lock(Readers().lock);
    ++Readers().running;
  }
  try {
    m_reader = std::thread([self = shared_from_this(), onReaderEnd]() mutable {
      t_onReader = true;
      vok::SetCurrentThreadName("vokipc-reader");
      { std::lock_guard<std::mutex> wait(self->m_startLock); }
      self->ReadLoop();
      if (onReaderEnd(self->m_handle)) self->m_reader.detach();
      self.reset();
      SReaderCount& readers = Readers();
      std::lock_guard<std::mutex> lock(readers.lock);
      --readers.running;
      readers.ended.notify_all();
    });
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> lock(Readers().lock);
    --Readers().running;
    return false;
  }
  m_readerId = m_reader.get_id();
  return true;
}

bool CTcpConnection::Deliver(const char* text, int length) {
  if (m_closing.load()) return false;
  m_callbacks->data(m_handle, text, length);
  return !m_closing.load();
}

bool CTcpConnection::DeliverLines(const std::vector<IPCLINE>& lines) {
  if (m_closing.load()) return false;
  const int count = static_cast<int>(lines.size());
  int taken = count == 0 ? 0 : m_callbacks->lines(m_handle, lines.data(), count);
  if (taken < 0) taken = 0;
  for (int i = taken; i < count; ++i) {
    if (!Deliver(lines[static_cast<std::size_t>(i)].text, lines[static_cast<std::size_t>(i)].length)) return false;
  }
  return !m_closing.load();
}

void CTcpConnection::ReadLoop() {
  // An exception must not leave a thread of ours (that would end the host's process): running out
  // of memory for a line, or a callback that throws, ends this connection instead.
  try {
    std::vector<char> buffer(kReadChunk);
    std::vector<IPCLINE> lines;
    for (;;) {
      const int received = Receive(buffer.data(), kReadChunk);
      if (received <= 0) break;
      bool keepGoing = true;
      if (m_callbacks->lines != nullptr) {
        lines.clear();
        m_framer.Feed(buffer.data(), static_cast<std::size_t>(received), [&lines](const char* text, int length) {
          lines.push_back(IPCLINE{text, length});
          return true;
        });
        keepGoing = DeliverLines(lines);
      } else {
        keepGoing = m_framer.Feed(buffer.data(), static_cast<std::size_t>(received),
                                  [this](const char* text, int length) { return Deliver(text, length); });
      }
      if (!keepGoing) break;
    }
  } catch (...) {
    VOKTRACE_Printf(VOKTRACE_FAILURE, "VOKIPC: connection %u ended by an exception in its reader", m_handle);
    ShutdownStream();
  }
  m_connected = false;
  if (!m_closing.exchange(true)) {
    VOKTRACE_Printf(VOKTRACE_INFO, "VOKIPC: connection %u ended", m_handle);
    try {
      if (m_callbacks->closed) m_callbacks->closed(m_handle);
    } catch (...) {
      VOKTRACE_Printf(VOKTRACE_FAILURE, "VOKIPC: the closed callback of connection %u threw", m_handle);
    }
  }
}

bool CTcpConnection::Send(const char* bytes, int length) {
  if (bytes == nullptr || length < 0 || !m_connected.load()) return false;
  std::lock_guard<std::mutex> lock(m_sendLock);
  const bool sent = m_tls ? m_tls->SendAll(bytes, static_cast<std::size_t>(length), kTlsSendTimeoutMs)
                          : m_socket.SendAll(bytes, static_cast<std::size_t>(length));
  if (!sent) {
    // Part of the message may have gone out, so nothing sent later could be read right: end the
    // stream, and the reader reports the connection closed.
    if (!m_closing.load()) {
      VOKTRACE_Printf(VOKTRACE_WARNING, "VOKIPC: send on connection %u failed, error %d; closing it", m_handle,
                      vok::LastSocketError());
    }
    m_connected = false;
    ShutdownStream();
    return false;
  }
  return true;
}

void CTcpConnection::Close() {
  m_closing = true;
  m_connected = false;
  ShutdownStream();
  std::thread::id readerId;
  {
    // Only waits for Start to finish; the reader needs this lock once at its start, so it must
    // not be held while joining.
    std::lock_guard<std::mutex> startLock(m_startLock);
    readerId = m_readerId;
  }
  if (!m_reader.joinable()) return;
  if (readerId == std::this_thread::get_id()) {
    // Closing from one of our own callbacks: the reader sees m_closing when the callback returns
    // and ends without calling anything else.
    m_reader.detach();
  } else {
    m_reader.join();
  }
}

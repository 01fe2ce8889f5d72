// The socket transport's calls: the process-wide table from handle to open connection, the
// reference-counted start-up, and the opens. Handles come from a counter and are never reused.
// Datagram and multicast endpoints are not supported: their opens fail with a warning trace.
// The status callback is never called; no IpcConfigure option exists yet.
#include "vokipc/vokipc.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/socket.h"
#include "platform/thread.h"
#include "platform/tls.h"
#include "vkdll/vkdll.h"
#include "vokipc/tcp_connection.h"

namespace {

// A connect that does not complete in this time fails, so a server that drops the connection
// attempt silently cannot hold the opening thread for the system's much longer time-out.
constexpr std::uint32_t kConnectTimeoutMs = 10000;
// A server that stops reading fails a send after this long instead of blocking the sending thread
// (the pump thread sends heartbeats) for ever; the connection then ends.
constexpr std::uint32_t kSendTimeoutMs = 10000;

// How long the last IpcCleanup waits for reader threads that are on their way out.
constexpr std::uint32_t kCleanupWaitMs = 10000;

static_assert(kIpcErrorHostNotFound == vok::kSocketErrorHostNotFound && kIpcErrorTryAgain == vok::kSocketErrorTryAgain);

// Why this thread's last open failed; plain int, so no destructor runs at thread end.
thread_local int t_lastOpenError = 0;

struct STable {
  std::mutex lock;  // taken alone; never held while a connection is opened, closed or called back
  std::unordered_map<IPCHANDLE, std::shared_ptr<CTcpConnection>> connections;
  IPCHANDLE lastHandle = 0;
  int startups = 0;
  int options = 0;
};

// Never destroyed: the pump thread may finish the last service object's release (IpcCleanup)
// after the host's own Release has returned and while the process is already exiting.
STable& Table() {
  static STable* const table = new STable;  // intentionally leaked, see above
  return *table;
}

std::shared_ptr<CTcpConnection> Find(IPCHANDLE handle) {
  STable& table = Table();
  std::lock_guard<std::mutex> lock(table.lock);
  const auto it = table.connections.find(handle);
  return it == table.connections.end() ? nullptr : it->second;
}

std::shared_ptr<CTcpConnection> Take(IPCHANDLE handle) {
  STable& table = Table();
  std::lock_guard<std::mutex> lock(table.lock);
  const auto it = table.connections.find(handle);
  if (it == table.connections.end()) return nullptr;
  std::shared_ptr<CTcpConnection> connection = std::move(it->second);
  table.connections.erase(it);
  return connection;
}

bool RemoveAtReaderEnd(IPCHANDLE handle) { return Take(handle) != nullptr; }

// tls: null for a plain stream.
IPCHANDLE OpenStream(const char* address, int port, const IPCCALLBACKS* callbacks, const IPCTLSOPTIONS* tls) {
  t_lastOpenError = vok::kSocketErrorInvalidArgument;
  if (address == nullptr || callbacks == nullptr) return 0;
  int error = 0;
  const std::uint64_t started = vok::MonotonicMs();
  vok::CSocket socket = vok::CSocket::Connect(address, port, kConnectTimeoutMs, &error);
  if (!socket.IsValid()) {
    t_lastOpenError = error;
    VOKTRACE_Printf(VOKTRACE_INFO, "VOKIPC: connect to %s:%d failed, error %d", address, port, error);
    return 0;
  }
  t_lastOpenError = vok::kSocketErrorNoMemory;
  socket.SetSendTimeout(kSendTimeoutMs);
  std::unique_ptr<vok::CTlsClient> session;
  const char* protocol = nullptr;  // a static text of the session's, for the trace
  if (tls != nullptr) {
    vok::STlsClientOptions options;
    options.serverName = address;
    if (tls->caFile != nullptr) options.caFile = tls->caFile;
    if (tls->pinnedSha256 != nullptr) options.pinnedSha256 = tls->pinnedSha256;
    // The handshake gets what the connect left of the bound, so the open stays within it.
    const std::uint64_t spent = vok::MonotonicMs() - started;
    const std::uint32_t left = spent >= kConnectTimeoutMs ? 1 : kConnectTimeoutMs - static_cast<std::uint32_t>(spent);
    vok::ETlsFailure failure = vok::ETlsFailure::None;
    std::string reason;
    session = vok::CTlsClient::Connect(std::move(socket), options, left, failure, reason);
    if (!session) {
      t_lastOpenError = failure == vok::ETlsFailure::Refused ? kIpcErrorTlsRefused : kIpcErrorTlsHandshake;
      VOKTRACE_Printf(VOKTRACE_FAILURE, "VOKIPC: TLS to %s:%d failed, error %d: %s", address, port, t_lastOpenError,
                      reason.c_str());
      return 0;
    }
    protocol = session->Protocol();
  }
  STable& table = Table();
  std::shared_ptr<CTcpConnection> connection;
  {
    std::lock_guard<std::mutex> lock(table.lock);
    // Zero means failure, so the counter skips it when it wraps, and also any handle that is
    // still open by then.
    IPCHANDLE handle = ++table.lastHandle;
    while (handle == 0 || table.connections.count(handle) != 0) handle = ++table.lastHandle;
    connection = session ? std::make_shared<CTcpConnection>(handle, std::move(session), callbacks)
                         : std::make_shared<CTcpConnection>(handle, std::move(socket), callbacks);
    table.connections.emplace(handle, connection);
  }
  if (!connection->Start(&RemoveAtReaderEnd)) {
    Take(connection->Handle());
    VOKTRACE_Printf(VOKTRACE_FAILURE, "VOKIPC: no reader thread for %s:%d", address, port);
    return 0;
  }
  t_lastOpenError = 0;
  VOKTRACE_Printf(VOKTRACE_INFO, "VOKIPC: connection %u open to %s:%d%s%s", connection->Handle(), address, port,
                  protocol != nullptr ? " over " : "", protocol != nullptr ? protocol : "");
  return connection->Handle();
}

// The opens are called from inside the host's calls: running out of memory fails the open
// rather than sending an exception through them.
IPCHANDLE OpenStreamNoThrow(const char* address, int port, const IPCCALLBACKS* callbacks,
                            const IPCTLSOPTIONS* tls) noexcept {
  try {
    return OpenStream(address, port, callbacks, tls);
  } catch (const std::exception&) {
    t_lastOpenError = vok::kSocketErrorNoMemory;
    VOKTRACE_Write(VOKTRACE_FAILURE, "VOKIPC: out of memory while opening a connection");
    return 0;
  }
}

}  // namespace

void IpcConfigure(int options) {
  // No option changes anything yet; the value is kept for a later use.
  STable& table = Table();
  std::lock_guard<std::mutex> lock(table.lock);
  table.options = options;
}

void IpcStartup() {
  STable& table = Table();
  std::lock_guard<std::mutex> lock(table.lock);
  if (table.startups++ == 0 && !vok::SocketStartup()) {
    VOKTRACE_Write(VOKTRACE_FAILURE, "VOKIPC: the system socket library did not start");
  }
}

void IpcCleanup() {
  STable& table = Table();
  int stillOpen = 0;
  {
    std::lock_guard<std::mutex> lock(table.lock);
    if (table.startups == 0 || --table.startups > 0) return;
    stillOpen = static_cast<int>(table.connections.size());
  }
  // Readers that ended by themselves or were closed from their own callback may still be on
  // their way out; the socket library must outlive them. One stuck in a callback that waits for
  // something the caller holds would hold the caller for ever, so the wait is bounded and the
  // socket library then stays started.
  if (!WaitForReaders(stillOpen, kCleanupWaitMs)) {
    VOKTRACE_Write(VOKTRACE_WARNING,
                   "VOKIPC: a reader thread is still in a callback; the socket library stays started");
    return;
  }
  vok::SocketCleanup();
}

IPCHANDLE IpcOpenTcp(const char* address, int port, const IPCCALLBACKS* callbacks) {
  return OpenStreamNoThrow(address, port, callbacks, nullptr);
}

IPCHANDLE IpcOpenTcpAlt(const char* address, int port, const IPCCALLBACKS* callbacks) {
  return OpenStreamNoThrow(address, port, callbacks, nullptr);
}

IPCHANDLE IpcOpenTls(const char* address, int port, const IPCCALLBACKS* callbacks, const IPCTLSOPTIONS* options) {
  static constexpr IPCTLSOPTIONS kSystemTrust{nullptr, nullptr};
  return OpenStreamNoThrow(address, port, callbacks, options != nullptr ? options : &kSystemTrust);
}

IPCHANDLE IpcOpenDatagram(const char*, int, const IPCCALLBACKS*) {
  VOKTRACE_Write(VOKTRACE_WARNING, "VOKIPC: IpcOpenDatagram not supported");
  return 0;
}

IPCHANDLE IpcOpenMulticast(const char*, const char*, int, const IPCCALLBACKS*) {
  VOKTRACE_Write(VOKTRACE_WARNING, "VOKIPC: IpcOpenMulticast not supported");
  return 0;
}

int IpcSend(IPCHANDLE handle, const char* bytes, int length) {
  const std::shared_ptr<CTcpConnection> connection = Find(handle);
  return connection && connection->Send(bytes, length) ? 1 : 0;
}

int IpcIsConnected(IPCHANDLE handle) {
  const std::shared_ptr<CTcpConnection> connection = Find(handle);
  return connection && connection->IsConnected() ? 1 : 0;
}

int IpcCloseTcp(IPCHANDLE handle) {
  const std::shared_ptr<CTcpConnection> connection = Take(handle);
  if (!connection) return 0;
  connection->Close();
  return 1;
}

int IpcCloseDatagram(IPCHANDLE) { return 0; }

int IpcLastOpenError() { return t_lastOpenError; }

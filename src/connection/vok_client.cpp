// VOKClient: the process-wide map from transport handle to client, the transport callbacks that
// dispatch through it, the client's open/send/close operations and its client-level heartbeat.
#include "connection/vok_client.h"

#include <cctype>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

#include "connection/timer_queue.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "platform/critical_section.h"
#include "platform/thread.h"
#include "vkdll/vkdll.h"

namespace wire = vok::wire;

namespace vok::detail {

// What the dispatcher and the destructor share: the number of callbacks running for the client
// and the timer lock. It outlives the client while a callback that destroyed it unwinds.
struct SClientDispatch {
  std::mutex lock;  // after the client map lock and the timer queue's process-wide lock
  std::condition_variable idle;
  int running = 0;       // transport callbacks in progress, guarded by lock
  std::mutex timerLock;  // guards the client's m_timerQueue; never held while a queue is destroyed
};

}  // namespace vok::detail

using vok::detail::SClientDispatch;

namespace {

struct SClientEntry {
  VOKClient* client;
  std::shared_ptr<SClientDispatch> dispatch;
};

struct SClientMap {
  SClientMap() { clients.reserve(17); }
  vok::CCriticalSection lock;  // held only to insert, remove and look up
  std::unordered_map<IPCHANDLE, SClientEntry> clients;
};

SClientMap& ClientMap() {
  static SClientMap s_map;
  return s_map;
}

// The dispatch state of the callback running on this thread, so a client destroyed from inside
// its own callback does not wait for that very call. A plain pointer: safe in a thread_local.
thread_local const SClientDispatch* t_dispatching = nullptr;

unsigned Identity(const void* object) { return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(object)); }

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Runs call(client) for the client registered under handle, counting the call as running so that
// the client's destructor waits for it. Nothing happens for a handle that is not registered.
template <typename Call>
void Dispatch(IPCHANDLE handle, Call&& call) {
  VOKClient* client = nullptr;
  std::shared_ptr<SClientDispatch> dispatch;
  {
    SClientMap& map = ClientMap();
    vok::CCriticalSectionLock lock(map.lock);
    const auto it = map.clients.find(handle);
    if (it == map.clients.end()) return;
    client = it->second.client;
    dispatch = it->second.dispatch;
    // Counted before the map lock goes: a destructor that removes the entry next sees this call.
    std::lock_guard<std::mutex> dispatchLock(dispatch->lock);
    ++dispatch->running;
  }
  const SClientDispatch* const outer = t_dispatching;
  t_dispatching = dispatch.get();
  call(client);
  t_dispatching = outer;
  std::lock_guard<std::mutex> dispatchLock(dispatch->lock);
  --dispatch->running;
  dispatch->idle.notify_all();
}

}  // namespace

// The transport's callback table: one for the process, handed to every open.
struct VOKClientCallbacks {
  static void Status(IPCHANDLE handle, int code, int detail) {
    Dispatch(handle, [&](VOKClient* client) { client->OnStatus(code, detail); });
  }
  static void Data(IPCHANDLE handle, const char* text, int length) {
    if (text == nullptr) return;
    Dispatch(handle, [&](VOKClient* client) { client->DeliverLine(text, length); });
  }
  // One look-up of the client per read instead of one per line, for a client that takes them so.
  static int Lines(IPCHANDLE handle, const IPCLINE* lines, int count) {
    if (lines == nullptr || count <= 0) return 0;
    bool taken = false;
    Dispatch(handle, [&](VOKClient* client) { taken = client->OnLines(lines, count); });
    return taken ? count : 0;
  }
  static void Closed(IPCHANDLE handle) {
    Dispatch(handle, [](VOKClient* client) {
      client->Detach();
      client->OnClosed();
    });
  }
  static const IPCCALLBACKS* Table() {
    static const IPCCALLBACKS s_table{&Status, &Data, &Closed, &Lines};
    return &s_table;
  }
};

void VOKClient::Init() {
  m_dispatch = std::make_shared<SClientDispatch>();
  IpcStartup();
}

VOKClient::VOKClient(const char* address, int port, bool datagram, bool alternateOpen, bool openNow)
    : m_datagram(datagram), m_alternateOpen(alternateOpen), m_address(address ? address : ""), m_port(port) {
  VOKTRACE_Printf(VOKTRACE_INFO, "VOKClient() 0x%x %s:%d tid=0x%x", Identity(this), m_address.c_str(), port,
                  vok::CurrentThreadId());
  Init();
  if (openNow) Open(m_address.c_str(), port, alternateOpen);
  VOKTRACE_Printf(VOKTRACE_INFO, "VOKClient() 0x%x return", Identity(this));
}

VOKClient::VOKClient(const char* addressAndPort, bool datagram, bool alternateOpen)
    : m_datagram(datagram), m_alternateOpen(alternateOpen) {
  VOKTRACE_Printf(VOKTRACE_INFO, "VOKClient() 0x%x %s tid=0x%x", Identity(this), addressAndPort ? addressAndPort : "",
                  vok::CurrentThreadId());
  Init();
  if (ParseAddressAndPort(addressAndPort)) {
    const std::string address = m_address;
    Open(address.c_str(), m_port, alternateOpen);
  }
  VOKTRACE_Printf(VOKTRACE_INFO, "VOKClient() 0x%x return", Identity(this));
}

VOKClient::VOKClient(const char* interfaceAddress, const char* groupAddress, int port, bool openNow)
    : m_datagram(true), m_alternateOpen(false), m_address(groupAddress ? groupAddress : ""), m_port(port) {
  VOKTRACE_Printf(VOKTRACE_INFO, "VOKClient() 0x%x mcast %s->%s:%d tid=0x%x", Identity(this),
                  interfaceAddress ? interfaceAddress : "", m_address.c_str(), port, vok::CurrentThreadId());
  Init();
  if (openNow) OpenMulticast(interfaceAddress, m_address.c_str(), port);
  VOKTRACE_Printf(VOKTRACE_INFO, "VOKClient() 0x%x return", Identity(this));
}

VOKClient::VOKClient(const char* interfaceAddress, const char* groupAndPort)
    : m_datagram(true), m_alternateOpen(false) {
  VOKTRACE_Printf(VOKTRACE_INFO, "VOKClient() 0x%x mcast %s->%s tid=0x%x", Identity(this),
                  interfaceAddress ? interfaceAddress : "", groupAndPort ? groupAndPort : "", vok::CurrentThreadId());
  Init();
  if (ParseAddressAndPort(groupAndPort)) {
    const std::string group = m_address;
    OpenMulticast(interfaceAddress, group.c_str(), m_port);
  }
  VOKTRACE_Printf(VOKTRACE_INFO, "VOKClient() 0x%x return", Identity(this));
}

VOKClient::~VOKClient() {
  VOKTRACE_Printf(VOKTRACE_INFO, "~VOKClient() 0x%x tid=0x%x", Identity(this), vok::CurrentThreadId());
  // Closing joins the handle's reader (unless this is it), so no new callback starts.
  Close();
  Detach();
  DropTimerQueue();
  {
    // Close waited for transport callbacks; timer calls in flight still hold references.
    std::unique_lock<std::mutex> lock(m_dispatch->lock);
    m_dispatch->idle.wait(lock, [&] { return m_refs.load() <= 0; });
  }
  IpcCleanup();
}

bool VOKClient::ParseAddressAndPort(const char* text) {
  std::string_view view = text ? text : "";
  while (!view.empty() && IsSpace(view.front())) view.remove_prefix(1);
  while (!view.empty() && IsSpace(view.back())) view.remove_suffix(1);
  const std::size_t colon = view.find(':');
  if (colon == std::string_view::npos) {
    VOKTRACE_Printf(VOKTRACE_FAILURE, "VOKClient: invalid ip + port %s!", text ? text : "");
    return false;
  }
  m_address.assign(view.substr(0, colon));
  long port = 0;
  for (std::size_t i = colon + 1; i < view.size() && view[i] >= '0' && view[i] <= '9'; ++i) {
    port = port * 10 + (view[i] - '0');
    if (port > INT_MAX / 10) break;  // no port is this long; stop before overflowing
  }
  m_port = static_cast<int>(port);
  return true;
}

void VOKClient::OnTimedEvent(CTimerQueueEvent* event) {
  if (event != nullptr && event->GetUserInfo1() == 1) SendHeartbeat();
}

long VOKClient::AddRef() { return ++m_refs; }

long VOKClient::Release() {
  // The destructor may be waiting for this count; the copy keeps the wait state alive across
  // the notification even if the destructor finishes at once.
  const std::shared_ptr<SClientDispatch> dispatch = m_dispatch;
  std::lock_guard<std::mutex> lock(dispatch->lock);
  const long refs = --m_refs;
  if (refs <= 0) dispatch->idle.notify_all();
  return refs;
}

void VOKClient::OnData(const char*, int) {}

void VOKClient::DeliverLine(const char* text, int length) {
  if (IsHeartbeatLine(text)) {
    OnHeartbeatData(text, length);
  } else {
    OnData(text, length);
  }
}

bool VOKClient::OnLines(const IPCLINE*, int) { return false; }

void VOKClient::OnStatus(int, int) {}

void VOKClient::OnClosed() {}

void VOKClient::OnHeartbeatData(const char* text, int length) {
  if (m_heartbeatInterval.load() > 0) {
    m_heartbeatAcknowledged = true;
    VOKTRACE_Printf(VOKTRACE_DETAIL, "Received HB ack from %s:%d", m_address.c_str(), m_port);
  } else {
    OnData(text, length);
  }
}

bool VOKClient::Register(IPCHANDLE handle) {
  m_handle = handle;
  m_open = handle != 0;
  if (handle == 0) {
    VOKTRACE_Write(VOKTRACE_INFO, "VOKClient::Open returning false");
    return false;
  }
  {
    SClientMap& map = ClientMap();
    vok::CCriticalSectionLock lock(map.lock);
    map.clients[handle] = SClientEntry{this, m_dispatch};
  }
  VOKTRACE_Write(VOKTRACE_INFO, "VOKClient::Open returning true");
  return true;
}

bool VOKClient::Open(const char* address, int port, bool alternateOpen) {
  // One handle at a time: an open client is closed before it opens again.
  Close();
  m_address = address ? address : "";
  m_port = port;
  m_alternateOpen = alternateOpen;
  const IPCCALLBACKS* table = VOKClientCallbacks::Table();
  IPCHANDLE handle;
  if (m_datagram) {
    handle = IpcOpenDatagram(m_address.c_str(), port, table);
  } else if (m_tls.useTls) {
    const IPCTLSOPTIONS options{m_tls.caFile.c_str(), m_tls.pinnedSha256.c_str()};
    handle = IpcOpenTls(m_address.c_str(), port, table, &options);
  } else if (alternateOpen) {
    handle = IpcOpenTcpAlt(m_address.c_str(), port, table);
  } else {
    handle = IpcOpenTcp(m_address.c_str(), port, table);
  }
  return Register(handle);
}

bool VOKClient::OpenMulticast(const char* interfaceAddress, const char* groupAddress, int port) {
  Close();
  m_address = groupAddress ? groupAddress : "";
  m_port = port;
  return Register(
      IpcOpenMulticast(interfaceAddress ? interfaceAddress : "", m_address.c_str(), port, VOKClientCallbacks::Table()));
}

bool VOKClient::IsConnected() {
  const IPCHANDLE handle = m_handle.load();
  return handle != 0 && m_open.load() && (IpcIsConnected(handle) & 0xff) != 0;
}

void VOKClient::Send(const VOKMessage& message) {
  if (!IsConnected()) return;
  const std::string& text = message.ToString();
  // Empty only when the message could not be written (no thread buffer): nothing to send.
  if (text.empty()) return;
  IpcSend(m_handle.load(), text.data(), static_cast<int>(text.size()));
}

bool VOKClient::Close() {
  DropTimerQueue();
  const IPCHANDLE handle = m_handle.load();
  if (handle != 0) {
    if (m_datagram) {
      IpcCloseDatagram(handle);
    } else {
      IpcCloseTcp(handle);
    }
    Detach();
  }
  WaitForCallbacks();
  return handle != 0;
}

void VOKClient::WaitForCallbacks() {
  // This thread's own callback, if it is one, is the caller and cannot be waited for.
  std::unique_lock<std::mutex> lock(m_dispatch->lock);
  const int own = t_dispatching == m_dispatch.get() ? 1 : 0;
  m_dispatch->idle.wait(lock, [&] { return m_dispatch->running <= own; });
}

void VOKClient::Detach() {
  DropTimerQueue();
  const IPCHANDLE handle = m_handle.exchange(0);
  m_open = false;
  if (handle == 0) return;
  SClientMap& map = ClientMap();
  vok::CCriticalSectionLock lock(map.lock);
  const auto it = map.clients.find(handle);
  if (it != map.clients.end() && it->second.client == this) map.clients.erase(it);
}

void VOKClient::DropTimerQueue() {
  std::unique_ptr<CTimerQueue> queue;
  {
    std::lock_guard<std::mutex> lock(m_dispatch->timerLock);
    queue = std::move(m_timerQueue);
  }
  // Destroyed without the timer lock: the queue's deletion does not wait for a running tick, and
  // a tick that closes the client comes back here.
}

void VOKClient::EnableHeartbeat(int interval) {
  DropTimerQueue();
  // Small values are seconds, anything else milliseconds; zero or less turns the heartbeat off.
  const int intervalMs = interval <= 0 ? 0 : interval < 1000 ? interval * 1000 : interval;
  m_heartbeatInterval = intervalMs;
  m_heartbeatAcknowledged = true;
  if (intervalMs == 0) return;
  auto queue = std::make_unique<CTimerQueue>();
  CTimerQueueEvent* event = nullptr;
  const auto period = static_cast<std::uint32_t>(intervalMs);
  if (queue->CreateTimer(&event, this, 1, 0, period, period, 0)) event->Release();
  std::lock_guard<std::mutex> lock(m_dispatch->timerLock);
  m_timerQueue = std::move(queue);
}

VOKClient* VOKClient::FromHandle(IPCHANDLE handle) {
  SClientMap& map = ClientMap();
  vok::CCriticalSectionLock lock(map.lock);
  const auto it = map.clients.find(handle);
  return it == map.clients.end() ? nullptr : it->second.client;
}

void VOKClient::SendHeartbeat() {
  if (m_heartbeatAcknowledged.exchange(false)) {
    VOKMessage heartbeat;
    heartbeat.SetType(wire::kMsgHeartbeat);
    Send(heartbeat);
    VOKTRACE_Printf(VOKTRACE_INFO, "VOKClient: sent HB to %s:%d", m_address.c_str(), m_port);
    return;
  }
  VOKTRACE_Printf(VOKTRACE_WARNING, "VOKClient: failed to receive HB, disconnecting %s:%d", m_address.c_str(), m_port);
  // A client already closed (its owner or a peer close got there first) has had its OnClosed.
  if (Close()) OnClosed();
}

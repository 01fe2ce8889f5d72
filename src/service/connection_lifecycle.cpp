// CConnectionLifecycle: Connect and Disconnect, the connection worker, the logon reply, connection
// events and notices, and the heartbeat and reconnect timers' work.
#include "service/connection_lifecycle.h"

#include <mutex>
#include <random>

#include "capture/capture_recorder.h"
#include "connection/feed_counters.h"
#include "connection/quote_client.h"
#include "handlers/handler_set.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "platform/bstr.h"
#include "platform/wait.h"
#include "service/com_guard.h"
#include "service/connection_times.h"
#include "service/module_lock.h"
#include "service/suite_message_service.h"
#include "service/user_settings.h"
#include "service/vok_quote_app.h"
#include "vkdll/vkdll.h"

namespace wire = vok::wire;

namespace {

std::atomic<std::uint32_t> g_workersStarted{0};
std::atomic<std::uint32_t> g_workersRunning{0};

// The reconnect delay's random part, 0 to 4 steps. Drawn from a generator of this process seeded
// with the system's entropy: processes that lost the server in the same second must not all
// come back in the same second.
std::uint32_t ReconnectSteps() {
  static std::mutex lock;
  static std::mt19937 generator{std::random_device{}()};
  std::lock_guard<std::mutex> hold(lock);
  return std::uniform_int_distribution<std::uint32_t>{0, 4}(generator);
}

}  // namespace

CConnectionLifecycle::CConnectionLifecycle(IConnectionEvents& events, CHandlerSet& handlers)
    : m_events(events), m_handlers(handlers) {}

std::uint32_t CConnectionLifecycle::WorkersStarted() { return g_workersStarted.load(); }
std::uint32_t CConnectionLifecycle::WorkersRunning() { return g_workersRunning.load(); }
std::uint32_t CConnectionLifecycle::ReconnectDelayMs() {
  const vok::SConnectionTimes& times = vok::ConnectionTimes();
  return times.reconnectBaseMs + ReconnectSteps() * times.reconnectStepMs;
}

HRESULT CConnectionLifecycle::Connect(LONG* plRetVal) {
  if (plRetVal == nullptr) return E_POINTER;
  *plRetVal = kConnectPending;
  LONG idle = 0;
  if (!m_connectBusy.compare_exchange_strong(idle, 1)) {
    // Another Connect is starting a connection: report whether the current one is usable.
    vok::CCriticalSectionLock lock(CQuoteClient::Lock());
    CQuoteClient* current = CQuoteClient::Current();
    if (current != nullptr && current->IsHealthy()) *plRetVal = 1;
    return S_OK;
  }
  const HRESULT result = vok::ComGuard("CVokQuotes::Connect", [&] {
    StartConnection();
    return S_OK;
  });
  m_connectBusy.exchange(0);
  return result;
}

void CConnectionLifecycle::StartConnection() {
  SQuoteClientSettings settings;
  // Copied under the object lock before any other lock: the order is always object lock first.
  m_events.ReadConnectionSettings(settings);
  // What the host left unset comes from the per-user settings, read outside every lock.
  vok::ApplyUserConnectionDefaults(settings);
  vok::ApplyUserCaptureSetting();
  bool closed = false;
  std::uint64_t attempt = 0;
  {
    vok::CCriticalSectionLock lock(CQuoteClient::Lock());
    CQuoteClient* current = CQuoteClient::Current();
    if (current != nullptr && !current->IsHealthy()) {
      CQuoteClient::DeleteCurrent();
      closed = true;
    }
    // A wanted attempt still opening is left to deliver; a healthy client stays, and the worker
    // started for it finds it and does nothing.
    if (!CQuoteClient::AttemptUnderWay()) attempt = CQuoteClient::StartAttempt();
  }
  if (closed) SocketOnClose(0);
  if (attempt != 0) StartWorker(std::move(settings), attempt);
}

HRESULT CConnectionLifecycle::Disconnect() {
  return vok::ComGuard("CVokQuotes::Disconnect", [&] {
    {
      vok::CCriticalSectionLock lock(CQuoteClient::Lock());
      ++m_disconnects;
      // A worker still opening is not waited for: its attempt is no longer wanted, so it closes
      // its client itself when the open ends.
      CQuoteClient::CancelAttempts();
      vok::App().ReconnectTimer().Cancel();
      if (CQuoteClient::Current() != nullptr) {
        vok::CFeedCounters::Process().Ended(vok::EDisconnectReason::Requested);
        // The client goes without a disconnection event of its own: the capture says it here.
        if (vok::capture::Recording())
          vok::capture::RecordEvent(vok::capture::kEventDisconnected, CQuoteClient::CurrentIdentity());
      }
      CQuoteClient::DeleteCurrent();
    }
    SocketOnClose(0);
    return S_OK;
  });
}

void CConnectionLifecycle::SocketOnClose(LONG errcode) {
  VOKTRACE_Printf(VOKTRACE_INFO, "CVokQuotes::SocketOnClose, errcode=%x", static_cast<unsigned>(errcode));
  m_events.FireClose(errcode);
}

void CConnectionLifecycle::ReapWorker() {
  vok::CCriticalSectionLock lock(m_workerLock);
  if (!m_connectWorker) return;
  VOKTRACE_Printf(VOKTRACE_INFO, "CVokQuotes::CreateClients: Waiting on previous worker tid=0x%x",
                  m_connectWorker->Id());
  // Only a worker that has ended is joined; one still opening is let go and ends on its own. It
  // holds nothing of this object, only a module lock that keeps the library loaded.
  const std::uint32_t result = vok::WaitForOne(m_connectWorker->EndHandle(), 0);
  VOKTRACE_Printf(VOKTRACE_INFO, "WaitForSingleObject returned %x", result);
  if (result == vok::kWaitObject0) {
    m_connectWorker->Join();
  } else {
    m_connectWorker->Detach();
  }
  m_connectWorker.reset();
}

void CConnectionLifecycle::StartWorker(SQuoteClientSettings settings, std::uint64_t attempt) {
  vok::CCriticalSectionLock lock(m_workerLock);
  ReapWorker();
  auto worker = std::make_unique<vok::CThreadHandle>();
  const std::uint32_t ordinal = ++g_workersStarted;
  ++g_workersRunning;
  const bool started =
      worker->Start([settings = std::move(settings), ordinal, attempt, keep = vok::CModuleLockHolder()] {
        CreateClientsRun(settings, ordinal, attempt);
        --g_workersRunning;
      });
  if (started) {
    m_connectWorker = std::move(worker);
    return;
  }
  --g_workersRunning;
  vok::CCriticalSectionLock clientLock(CQuoteClient::Lock());
  CQuoteClient::EndAttempt(attempt);
}

int CConnectionLifecycle::CreateClientsRun(const SQuoteClientSettings& settings, std::uint32_t worker,
                                           std::uint64_t attempt) {
  VOKTRACE_Printf(VOKTRACE_INFO, "CreateClientsRun hThread=%x tid=%x", worker, vok::CurrentThreadId());
  const int result = CQuoteClient::CreateClients(settings, &vok::App(), attempt);
  VOKTRACE_Printf(VOKTRACE_INFO, "CreateClientsRun return hThread=%x tid=%x", worker, vok::CurrentThreadId());
  return result;
}

void CConnectionLifecycle::OnHeartbeatTimer() { CQuoteClient::CheckCurrentHeartbeat(); }

void CConnectionLifecycle::OnReconnectTimer() {
  LONG result = 0;
  Connect(&result);
}

void CConnectionLifecycle::OnConnectionMessage(const VOKMessage& message) {
  switch (message.GetType()) {
    case wire::kMsgLogonReply:
      OnLogonReply(message);
      return;
    case wire::kMsgConnectionEvent:
      OnConnectionEvent(message);
      return;
    case wire::kMsgDisconnectNotice:
      OnDisconnectNotice(message);
      return;
    default:
      return;
  }
}

namespace {

// With the client lock held: whether the message names the current client; traces when not.
bool NamesCurrentClient(const VOKMessage& message, int type) {
  int id = 0;
  message.GetInt(wire::kFidClientId, id);
  const std::uint32_t client = static_cast<std::uint32_t>(id);
  if (client == CQuoteClient::CurrentIdentity() && client != 0) return true;
  VOKTRACE_Printf(VOKTRACE_INFO, "******ignoring msgtype %d for expired CQuoteClient 0x%x*****************", type,
                  client);
  return false;
}

}  // namespace

void CConnectionLifecycle::OnLogonReply(const VOKMessage& message) {
  {
    vok::CCriticalSectionLock lock(CQuoteClient::Lock());
    if (!NamesCurrentClient(message, wire::kMsgLogonReply)) return;
    CQuoteClient::Current()->SetState(csLoggedIn);
    VOKTRACE_Write(VOKTRACE_INFO, "Quotes: Received LogonSucceed");
    // Client lock, then each handler's lock.
    m_handlers.Resubscribe();
    std::string serverName;
    if (message.GetString(wire::kFidServerName, serverName)) {
      m_serverName = serverName;
      VOKTRACE_Printf(VOKTRACE_STATE, "Logged into uotes (%s)", m_serverName.c_str());
    }
    std::uint64_t permissions = 0;
    if (message.GetUInt64(wire::kFidPermissions, permissions)) m_quotePermissions = permissions;
    VOKTRACE_Printf(VOKTRACE_INFO, "QUOTE_PERMS = %X", static_cast<unsigned>(m_quotePermissions.load()));
  }
  m_events.FireLogonSucceed();
}

void CConnectionLifecycle::OnConnectionEvent(const VOKMessage& message) {
  int code = 0;
  message.GetInt(wire::kFidEventCode, code);
  std::string serverName;
  std::uint32_t disconnects = 0;
  {
    vok::CCriticalSectionLock lock(CQuoteClient::Lock());
    if (!NamesCurrentClient(message, wire::kMsgConnectionEvent)) return;
    if (code == wire::kEventDisconnected || code == wire::kEventConnectFailed) {
      CQuoteClient::DeleteCurrent();
    }
    serverName = m_serverName;
    disconnects = m_disconnects;
  }
  // Arms the reconnect timer unless a Disconnect came in since the client went: Disconnect
  // cancels under the client lock, so arming under it too cannot undo a cancel.
  auto armReconnect = [this, disconnects](DWORD delay) {
    vok::CCriticalSectionLock lock(CQuoteClient::Lock());
    if (m_disconnects == disconnects) vok::App().ReconnectTimer().SetOnceOffRelative(delay);
  };
  // Events fire with no lock held.
  const vok::SConnectionTimes& times = vok::ConnectionTimes();
  switch (code) {
    case wire::kEventConnected: {
      m_events.FireConnect(0);
      VOKTRACE_Write(VOKTRACE_STATE, "Quotes: CONNECTED");
      const std::uint32_t heartbeatMs = times.heartbeatMs;
      vok::App().HeartbeatTimer().SetPeriodicRelative(heartbeatMs, heartbeatMs);
      break;
    }
    case wire::kEventDisconnected:
      SocketOnClose(0);
      if (m_loggedInElsewhere.load() == 0) {
        const DWORD delay = ReconnectDelayMs();
        VOKTRACE_Printf(VOKTRACE_STATE, "Quotes: DISCONNECTED from %s, (%d)", serverName.c_str(),
                        static_cast<int>(delay));
        armReconnect(delay);
      } else {
        VOKTRACE_Printf(VOKTRACE_STATE, "Quotes: DISCONNECTED from %s -- user logged in elsewhere, NOT reconnecting",
                        serverName.c_str());
      }
      m_loggedInElsewhere = 0;
      break;
    case wire::kEventConnectFailed: {
      // The host learns at once why: the system's error code of the failed open.
      int error = 0;
      message.GetInt(wire::kFidErrorCode, error);
      m_events.FireConnect(error != 0 ? error : kConnectErrorUnknown);
      VOKTRACE_Write(VOKTRACE_STATE, "Quotes: CONNECTFAILED");
      armReconnect(times.connectRetryMs);
      break;
    }
    default:
      break;
  }
}

void CConnectionLifecycle::OnDisconnectNotice(const VOKMessage& message) {
  std::string text;
  if (!message.GetString(wire::kFidNoticeText, text)) return;
  m_loggedInElsewhere = 1;
  vok::ShowSuiteMessage(text);
}

vok::CCriticalSection& CConnectionLifecycle::ClientLock() { return CQuoteClient::Lock(); }

bool CConnectionLifecycle::LoggedIn() const {
  CQuoteClient* current = CQuoteClient::Current();
  return current != nullptr && current->State() == csLoggedIn;
}

void CConnectionLifecycle::Send(const VOKMessage& message) {
  if (CQuoteClient* current = CQuoteClient::Current()) current->Send(message);
}

enumConnectionState CConnectionLifecycle::State() const {
  vok::CCriticalSectionLock lock(CQuoteClient::Lock());
  return CQuoteClient::CurrentState();
}

std::string CConnectionLifecycle::ServerName() const {
  vok::CCriticalSectionLock lock(CQuoteClient::Lock());
  return m_serverName;
}

void CConnectionLifecycle::CancelTimers() {
  vok::App().HeartbeatTimer().Cancel();
  vok::App().ReconnectTimer().Cancel();
}

// CVokQuotes, connection side: Connect and Disconnect, the connection worker, the dispatcher of
// queued server messages (logon reply, connection events, notices, data), the heartbeat and
// reconnect timers' work, and the connection events fired to clients.
#include <cstdlib>

#include "connection/quote_client.h"
#include "handlers/l2_handler.h"
#include "handlers/options_handler.h"
#include "handlers/quote_handler.h"
#include "handlers/ts_handler.h"
#include "message/vok_message.h"
#include "platform/bstr.h"
#include "platform/wait.h"
#include "service/connection_times.h"
#include "service/suite_message_service.h"
#include "service/user_settings.h"
#include "service/vok_quotes.h"
#include "vkdll/vkdll.h"

namespace {

constexpr int kFidServerName = 8055;
constexpr int kFidPermissions = 154;
constexpr int kFidNoticeText = 1011;

std::atomic<std::uint32_t> g_workersStarted{0};

}  // namespace

std::uint32_t CVokQuotes::WorkersStarted() { return g_workersStarted.load(); }

STDMETHODIMP CVokQuotes::Connect(LONG* plRetVal) {
  if (plRetVal == nullptr) return E_POINTER;
  try {
    *plRetVal = kConnectPending;
    LONG idle = 0;
    if (!m_connectBusy.compare_exchange_strong(idle, 1)) {
      // Another Connect is starting a connection: report whether the current one is usable.
      vok::CCriticalSectionLock lock(CQuoteClient::Lock());
      CQuoteClient* current = CQuoteClient::Current();
      if (current != nullptr && current->IsHealthy()) *plRetVal = 1;
      return S_OK;
    }
    bool closed = false;
    {
      vok::CCriticalSectionLock lock(CQuoteClient::Lock());
      CQuoteClient* current = CQuoteClient::Current();
      if (current != nullptr && !current->IsHealthy()) {
        CQuoteClient::DeleteCurrent();
        closed = true;
      }
    }
    if (closed) SocketOnClose(0);
    // A healthy client stays: the worker finds it and does nothing.
    CreateClients(true);
    m_connectBusy.exchange(0);
    return S_OK;
  } catch (const std::bad_alloc&) {
    m_connectBusy.exchange(0);
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CVokQuotes::Disconnect() {
  // A worker that is still connecting would install its client after us: let it finish first.
  CreateClients(false);
  {
    vok::CCriticalSectionLock lock(CQuoteClient::Lock());
    ++m_disconnects;
    vok::App().ReconnectTimer().Cancel();
    CQuoteClient::DeleteCurrent();
  }
  SocketOnClose(0);
  return S_OK;
}

STDMETHODIMP CVokQuotes::get_ConnectionState(enumConnectionState* pVal) {
  if (pVal == nullptr) return E_POINTER;
  vok::CCriticalSectionLock lock(CQuoteClient::Lock());
  CQuoteClient* current = CQuoteClient::Current();
  *pVal = current == nullptr ? csDisconnected : current->State();
  return S_OK;
}

STDMETHODIMP CVokQuotes::get_ServerName(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  try {
    vok::CCriticalSectionLock lock(CQuoteClient::Lock());
    *pVal = vok::CBstr::FromNarrow(m_serverName).Detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    *pVal = nullptr;
    return E_OUTOFMEMORY;
  }
}

void CVokQuotes::SocketOnClose(LONG errcode) {
  VOKTRACE_Printf(VOKTRACE_INFO, "CVokQuotes::SocketOnClose, errcode=%x", static_cast<unsigned>(errcode));
  m_eventPoint.Fire_OnClose(errcode);
}

void CVokQuotes::CreateClients(bool start) {
  SQuoteClientSettings settings;
  // Copied under the object lock before any other lock: the order is always object lock first.
  if (start) ReadConnectionSettings(settings);
  // What the host left unset comes from the per-user settings, read outside every lock.
  if (start) vok::ApplyUserConnectionDefaults(settings);
  vok::CCriticalSectionLock lock(m_workerLock);
  if (m_connectWorker) {
    VOKTRACE_Printf(VOKTRACE_INFO, "CVokQuotes::CreateClients: Waiting on previous worker tid=0x%x",
                    m_connectWorker->Id());
    const std::uint32_t result = vok::WaitForOne(m_connectWorker->EndHandle(), vok::ConnectionTimes().workerWaitMs);
    VOKTRACE_Printf(VOKTRACE_INFO, "WaitForSingleObject returned %x", result);
    // A worker that is still running is never destroyed: it is let go and ends on its own. It
    // holds nothing of this object.
    if (result == vok::kWaitObject0) {
      m_connectWorker->Join();
    } else {
      m_connectWorker->Detach();
    }
    m_connectWorker.reset();
  }
  if (!start) return;
  auto worker = std::make_unique<vok::CThreadHandle>();
  const std::uint32_t ordinal = ++g_workersStarted;
  if (worker->Start([settings = std::move(settings), ordinal] { CreateClientsRun(settings, ordinal); })) {
    m_connectWorker = std::move(worker);
  }
}

int CVokQuotes::CreateClientsRun(const SQuoteClientSettings& settings, std::uint32_t worker) {
  VOKTRACE_Printf(VOKTRACE_INFO, "CreateClientsRun hThread=%x tid=%x", worker, vok::CurrentThreadId());
  const int result = CQuoteClient::CreateClients(settings, &vok::App());
  VOKTRACE_Printf(VOKTRACE_INFO, "CreateClientsRun return hThread=%x tid=%x", worker, vok::CurrentThreadId());
  return result;
}

void CVokQuotes::OnHeartbeatTimer() { CQuoteClient::CheckCurrentHeartbeat(); }

void CVokQuotes::OnReconnectTimer() {
  LONG result = 0;
  Connect(&result);
}

void CVokQuotes::ProcessMessage(const VOKMessage& message) {
  // The pump holds a reference on this object for the length of the call.
  const int type = message.GetType();
  switch (type) {
    case 'G':
      OnLogonReply(message);
      return;
    case '0':
      OnConnectionEvent(message);
      return;
    case '5':
      OnDisconnectNotice(message);
      return;
    default:
      break;
  }
  // Data goes to its handler whatever the connection state and whichever client received it.
  if (CHandler* handler = m_typeMap[static_cast<unsigned char>(type)]) handler->OnMessage(static_cast<char>(type), message);
}

namespace {

// With the client lock held: whether the message names the current client; traces when not.
bool NamesCurrentClient(const VOKMessage& message, int type) {
  int id = 0;
  message.GetInt(CQuoteClient::kFidClientId, id);
  const std::uint32_t client = static_cast<std::uint32_t>(id);
  if (client == CQuoteClient::CurrentIdentity() && client != 0) return true;
  VOKTRACE_Printf(VOKTRACE_INFO, "******ignoring msgtype %d for expired CQuoteClient 0x%x*****************", type,
                  client);
  return false;
}

}  // namespace

void CVokQuotes::OnLogonReply(const VOKMessage& message) {
  {
    vok::CCriticalSectionLock lock(CQuoteClient::Lock());
    if (!NamesCurrentClient(message, 'G')) return;
    CQuoteClient::Current()->SetState(csLoggedIn);
    VOKTRACE_Write(VOKTRACE_INFO, "Quotes: Received LogonSucceed");
    // Client lock, then each handler's lock.
    if (m_quoteHandler) m_quoteHandler->Resubscribe();
    if (m_tsHandler) m_tsHandler->Resubscribe();
    if (m_l2Handler) m_l2Handler->Resubscribe();
    if (m_optionsHandler) m_optionsHandler->Resubscribe();
    std::string serverName;
    if (message.GetString(kFidServerName, serverName)) {
      m_serverName = serverName;
      VOKTRACE_Printf(VOKTRACE_STATE, "Logged into uotes (%s)", m_serverName.c_str());
    }
    std::uint64_t permissions = 0;
    if (message.GetUInt64(kFidPermissions, permissions)) m_quotePermissions = permissions;
    VOKTRACE_Printf(VOKTRACE_INFO, "QUOTE_PERMS = %X", static_cast<unsigned>(m_quotePermissions.load()));
  }
  m_eventPoint.Fire_OnLogonSucceed();
}

void CVokQuotes::OnConnectionEvent(const VOKMessage& message) {
  int code = 0;
  message.GetInt(CQuoteClient::kFidEventCode, code);
  std::string serverName;
  std::uint32_t disconnects = 0;
  {
    vok::CCriticalSectionLock lock(CQuoteClient::Lock());
    if (!NamesCurrentClient(message, '0')) return;
    if (code == CQuoteClient::kEventDisconnected || code == CQuoteClient::kEventConnectFailed) {
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
    case CQuoteClient::kEventConnected: {
      m_eventPoint.Fire_OnConnect(0);
      VOKTRACE_Write(VOKTRACE_STATE, "Quotes: CONNECTED");
      const std::uint32_t heartbeatMs = times.heartbeatMs;
      vok::App().HeartbeatTimer().SetPeriodicRelative(heartbeatMs, heartbeatMs);
      break;
    }
    case CQuoteClient::kEventDisconnected:
      SocketOnClose(0);
      if (m_loggedInElsewhere.load() == 0) {
        const DWORD delay = times.reconnectBaseMs + static_cast<DWORD>(std::rand() % 5) * times.reconnectStepMs;
        VOKTRACE_Printf(VOKTRACE_STATE, "Quotes: DISCONNECTED from %s, (%d)", serverName.c_str(), static_cast<int>(delay));
        armReconnect(delay);
      } else {
        VOKTRACE_Printf(VOKTRACE_STATE, "Quotes: DISCONNECTED from %s -- user logged in elsewhere, NOT reconnecting",
                        serverName.c_str());
      }
      m_loggedInElsewhere = 0;
      break;
    case CQuoteClient::kEventConnectFailed:
      VOKTRACE_Write(VOKTRACE_STATE, "Quotes: CONNECTFAILED");
      armReconnect(times.connectRetryMs);
      break;
    default:
      break;
  }
}

void CVokQuotes::OnDisconnectNotice(const VOKMessage& message) {
  std::string text;
  if (!message.GetString(kFidNoticeText, text)) return;
  m_loggedInElsewhere = 1;
  vok::ShowSuiteMessage(text);
}

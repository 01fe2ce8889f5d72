// CQuoteClient: logon on open, parse-and-post of received messages, the connection events, the
// heartbeat check, and the module-wide current client with its lock.
#include "connection/quote_client.h"

#include <memory>

#include "message/vok_message.h"
#include "platform/thread.h"
#include "vkdll/vkdll.h"

namespace {

constexpr int kFidUserName = 100;
constexpr int kFidPassword = 133;

// The current client and the lock that guards it, its state and its creation and destruction.
struct SClientState {
  vok::CCriticalSection lock;
  std::unique_ptr<CQuoteClient> current;  // guarded by lock
};

SClientState& Shared() {
  static SClientState state;
  return state;
}

// Identities start at 1 and are never handed out twice, so a queued event of a destroyed client
// cannot match a later one (0 means "no client").
std::uint32_t NextIdentity() {
  static std::atomic<std::uint32_t> next{0};
  std::uint32_t id = ++next;
  while (id == 0) id = ++next;
  return id;
}

}  // namespace

CQuoteClient::CQuoteClient(const SQuoteClientSettings& settings, IQuoteMessageSink* sink)
    : VOKClient(settings.address.c_str(), settings.port, false, false, true),
      m_sink(sink),
      m_identity(NextIdentity()) {
  VOKTRACE_Write(VOKTRACE_INFO, "CQuoteClient::CQuoteClient");
  m_opened = IsConnected();
  if (m_opened) {
    // Queued before the logon goes out, so neither the reply nor a refusal's close can reach
    // the dispatcher ahead of it: every connection's first event is the connected one.
    PostEvent(kEventConnected);
    VOKMessage logon;
    logon.SetType('L');
    m_state.store(csLoggingIn);
    logon.SetString(kFidUserName, settings.userName);
    logon.SetString(kFidPassword, settings.password);
    Send(logon);
  }
}

CQuoteClient::~CQuoteClient() {
  // The transport's callbacks use m_sink and the flags: stop them before the members go.
  VOKTRACE_Printf(VOKTRACE_INFO, "CQuoteClient::~CQuoteClient 0x%x", vok::CurrentThreadId());
  Close();
  vok::CCriticalSectionLock lock(Lock());
  SClientState& state = Shared();
  if (state.current.get() == this) static_cast<void>(state.current.release());
}

void CQuoteClient::OnData(const char* text, int /*length*/) {
  // The transport's text ends with a NUL; its length is not needed.
  auto message = std::make_unique<VOKMessage>(text, -1);
  m_heartbeatReceived.store(true);
  switch (message->GetType()) {
    case 'G':
      message->SetInt(kFidClientId, static_cast<int>(m_identity));
      m_sink->QueueMessage(std::move(message));
      break;
    case '9':
      break;
    default:
      m_sink->QueueMessage(std::move(message));
      break;
  }
}

void CQuoteClient::OnClosed() { PostEvent(kEventDisconnected); }

void CQuoteClient::PostEvent(int eventCode) {
  auto event = std::make_unique<VOKMessage>();
  event->SetType('0');
  event->SetInt(kFidClientId, static_cast<int>(m_identity));
  event->SetInt(kFidEventCode, eventCode);
  m_sink->QueueMessage(std::move(event));
}

bool CQuoteClient::CheckHeartbeat() {
  if (m_heartbeatReceived.exchange(false)) {
    VOKMessage heartbeat;
    heartbeat.SetType('9');
    Send(heartbeat);
    return true;
  }
  VOKTRACE_Printf(VOKTRACE_STATE, "CQuoteClient 0x%x: failed to receive heartbeat", m_identity);
  OnClosed();
  return false;
}

bool CQuoteClient::IsHealthy() {
  const enumConnectionState state = State();
  return IsConnected() && (state == csLoggedIn || state == csConnected);
}

vok::CCriticalSection& CQuoteClient::Lock() { return Shared().lock; }

CQuoteClient* CQuoteClient::Current() { return Shared().current.get(); }

std::uint32_t CQuoteClient::CurrentIdentity() {
  CQuoteClient* current = Current();
  return current == nullptr ? 0 : current->Identity();
}

int CQuoteClient::CreateClients(const SQuoteClientSettings& settings, IQuoteMessageSink* sink) {
  VOKTRACE_Write(VOKTRACE_INFO, "begin CQuoteClient::CreateClients");
  vok::CCriticalSectionLock lock(Lock());
  SClientState& state = Shared();
  if (!state.current) {
    VOKTRACE_Printf(VOKTRACE_INFO, "Creating QuoteClient: IP=%s, port=%d", settings.address.c_str(), settings.port);
    // The blocking open and the logon send run here, with the client lock held: callers of
    // Connect, Disconnect and ConnectionState wait until the attempt is over.
    state.current = std::make_unique<CQuoteClient>(settings, sink);
    if (!state.current->m_opened) state.current->PostEvent(kEventConnectFailed);
  }
  VOKTRACE_Write(VOKTRACE_INFO, "end CQuoteClient::CreateClient");
  return 0;
}

bool CQuoteClient::CheckCurrentHeartbeat() {
  vok::CCriticalSectionLock lock(Lock());
  CQuoteClient* current = Current();
  if (current == nullptr || !current->IsConnected()) return false;
  return current->CheckHeartbeat();
}

void CQuoteClient::DeleteCurrent() {
  vok::CCriticalSectionLock lock(Lock());
  std::unique_ptr<CQuoteClient> doomed = std::move(Shared().current);
  doomed.reset();
}

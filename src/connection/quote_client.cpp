// CQuoteClient: the open outside the client lock, installation with the connected event before
// the logon, parse-and-post of received messages, the connection events, the heartbeat check, and
// the module-wide current client with its lock and the connection attempts.
#include "connection/quote_client.h"

#include <cstring>
#include <memory>
#include <new>

#include "capture/capture_recorder.h"
#include "connection/feed_counters.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "platform/thread.h"
#include "vkdll/vkdll.h"

namespace wire = vok::wire;

namespace {

// The current client and the lock that guards it, its state, its creation and destruction, and
// the connection attempts.
struct SClientState {
  vok::CCriticalSection lock;
  std::unique_ptr<CQuoteClient> current;  // guarded by lock
  std::uint64_t lastAttempt = 0;          // guarded by lock; numbers handed out so far
  std::uint64_t wantedAttempt = 0;        // guarded by lock; the one that may install, 0 none
};

SClientState& Shared() {
  // Never destroyed: a connection worker that outlived its service object may still take the
  // lock while the process exits.
  alignas(SClientState) static unsigned char storage[sizeof(SClientState)];
  static SClientState* const state = new (storage) SClientState();
  return *state;
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
    : VOKClient(settings.address.c_str(), settings.port, false, false, false),
      m_sink(sink),
      m_identity(NextIdentity()) {
  VOKTRACE_Write(VOKTRACE_INFO, "CQuoteClient::CQuoteClient");
}

CQuoteClient::~CQuoteClient() {
  VOKTRACE_Printf(VOKTRACE_INFO, "CQuoteClient::~CQuoteClient 0x%x", vok::CurrentThreadId());
  // A reader waiting for room in the queue must give up first: Close waits for it, and the
  // dispatching thread, the only one that makes room, is often the one destroying this client.
  m_closing.store(true);
  m_sink->ReleaseWaiters();
  // The transport's callbacks use m_sink and the flags: stop them before the members go.
  Close();
  vok::CCriticalSectionLock lock(Lock());
  SClientState& state = Shared();
  if (state.current.get() == this) static_cast<void>(state.current.release());
}

bool CQuoteClient::IsServerMessageType(int type) {
  switch (type) {
    case wire::kMsgLogonReply:
    case wire::kMsgHeartbeat:
    case wire::kMsgDisconnectNotice:
    case wire::kMsgLevel1:
    case wire::kMsgLevel1Alt:
    case wire::kMsgLevel2:
    case wire::kMsgTimeSales:
    case wire::kMsgOptions:
      return true;
    default:
      return false;
  }
}

void CQuoteClient::OnData(const char* text, int length) {
  vok::CFeedTally tally;
  std::unique_ptr<VOKMessage> message = Receive(text, length, tally);
  tally.AddTo(vok::CFeedCounters::Process());
  if (!message) return;
  m_readerWaiting.store(true, std::memory_order_relaxed);
  m_sink->QueueReceived(std::move(message), length > 0 ? static_cast<std::size_t>(length) : 0, m_closing);
  m_readerWaiting.store(false, std::memory_order_relaxed);
}

bool CQuoteClient::OnLines(const IPCLINE* lines, int count) {
  vok::CFeedTally tally;
  // A destructor that began meanwhile (on another thread; it waits for this call) wants no more.
  for (int i = 0; i < count && !m_closing.load(std::memory_order_relaxed); ++i) {
    const char* text = lines[i].text;
    const int length = lines[i].length;
    if (IsHeartbeatLine(text)) {
      // The client-level heartbeat's own path; with it off the text comes back to OnData, and a
      // heartbeat is never queued, so nothing overtakes the batch.
      OnHeartbeatData(text, length);
      continue;
    }
    if (std::unique_ptr<VOKMessage> message = Receive(text, length, tally)) {
      m_received.push_back({std::move(message), length > 0 ? static_cast<std::size_t>(length) : 0});
    }
  }
  tally.AddTo(vok::CFeedCounters::Process());
  if (m_received.empty()) return true;
  m_readerWaiting.store(true, std::memory_order_relaxed);
  m_sink->QueueReceivedBatch(m_received, m_closing);
  m_readerWaiting.store(false, std::memory_order_relaxed);
  return true;
}

std::unique_ptr<VOKMessage> CQuoteClient::Receive(const char* text, int length, vok::CFeedTally& tally) {
  // Recorded as it came, before anything is judged: a capture shows what the server sent.
  if (vok::capture::Recording()) [[unlikely]] {
    vok::capture::RecordReceived(std::string_view(text, std::strlen(text)));
  }
  // The transport's text ends with a NUL; its length only sizes the queue's accounting.
  auto message = std::make_unique<VOKMessage>(text, -1);
  // Read first: the flag is nearly always set already, and a store on every line would keep taking
  // the line from the heartbeat tick's processor. Relaxed: the tick only needs to see it eventually.
  if (!m_heartbeatReceived.load(std::memory_order_relaxed)) m_heartbeatReceived.store(true, std::memory_order_relaxed);
  const int type = message->GetType();
  tally.CountLine(type, length > 0 ? static_cast<std::uint64_t>(length) : 0);
  if (type == wire::kMsgDisconnectNotice) m_noticeReceived.store(true, std::memory_order_relaxed);
  if (!IsServerMessageType(type)) {
    // Internal event messages above all: a forged one would close or replace the connection.
    if (!m_droppingTypes) {
      VOKTRACE_Printf(VOKTRACE_WARNING, "CQuoteClient 0x%x: dropping messages of type %d from the server", m_identity,
                      type);
      m_droppingTypes = true;
    }
    return nullptr;
  }
  m_droppingTypes = false;
  if (type == wire::kMsgHeartbeat) return nullptr;
  if (type == wire::kMsgLogonReply) message->SetInt(wire::kFidClientId, static_cast<int>(m_identity));
  return message;
}

void CQuoteClient::OnClosed() {
  std::lock_guard<std::mutex> lock(m_eventLock);
  if (!m_installed) {
    // Not current yet: Install posts it after the connected event.
    m_closedEarly = true;
    return;
  }
  PostEvent(wire::kEventDisconnected);
}

void CQuoteClient::PostEvent(int eventCode, int errorCode) {
  vok::CFeedCounters& counters = vok::CFeedCounters::Process();
  if (eventCode == wire::kEventConnected) counters.Connected();
  if (eventCode == wire::kEventConnectFailed) counters.Ended(vok::EDisconnectReason::ConnectFailed, errorCode);
  if (eventCode == wire::kEventDisconnected) {
    counters.Ended(m_noticeReceived.load(std::memory_order_relaxed)  ? vok::EDisconnectReason::Notice
                   : m_heartbeatLost.load(std::memory_order_relaxed) ? vok::EDisconnectReason::Heartbeat
                                                                     : vok::EDisconnectReason::Closed);
  }
  if (vok::capture::Recording()) [[unlikely]] {
    if (eventCode == wire::kEventConnected) vok::capture::RecordEvent(vok::capture::kEventConnected, m_identity);
    if (eventCode == wire::kEventDisconnected) vok::capture::RecordEvent(vok::capture::kEventDisconnected, m_identity);
    if (eventCode == wire::kEventConnectFailed) vok::capture::RecordEvent(vok::capture::kEventFailed, errorCode);
  }
  auto event = std::make_unique<VOKMessage>();
  event->SetType(wire::kMsgConnectionEvent);
  event->SetInt(wire::kFidClientId, static_cast<int>(m_identity));
  event->SetInt(wire::kFidEventCode, eventCode);
  if (errorCode != 0) event->SetInt(wire::kFidErrorCode, errorCode);
  m_sink->QueueMessage(std::move(event));
}

void CQuoteClient::Install(const SQuoteClientSettings& settings) {
  {
    std::lock_guard<std::mutex> lock(m_eventLock);
    m_installed = true;
    // Queued before the logon goes out, so neither the reply nor a refusal's close can reach the
    // dispatcher ahead of it: every connection's first event is the connected one.
    PostEvent(wire::kEventConnected);
    if (m_closedEarly) PostEvent(wire::kEventDisconnected);
  }
  VOKMessage logon;
  logon.SetType(wire::kMsgLogon);
  m_state.store(csLoggingIn);
  logon.SetString(wire::kFidUserName, settings.userName);
  logon.SetString(wire::kFidPassword, settings.password);
  Send(logon);
}

bool CQuoteClient::CheckHeartbeat() {
  if (m_heartbeatReceived.exchange(false) || m_readerWaiting.load(std::memory_order_relaxed)) {
    VOKMessage heartbeat;
    heartbeat.SetType(wire::kMsgHeartbeat);
    Send(heartbeat);
    return true;
  }
  VOKTRACE_Printf(VOKTRACE_STATE, "CQuoteClient 0x%x: failed to receive heartbeat", m_identity);
  m_heartbeatLost.store(true, std::memory_order_relaxed);
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

enumConnectionState CQuoteClient::CurrentState() {
  if (CQuoteClient* current = Current()) return current->State();
  return AttemptUnderWay() ? csConnecting : csDisconnected;
}

std::uint64_t CQuoteClient::StartAttempt() {
  SClientState& state = Shared();
  state.wantedAttempt = ++state.lastAttempt;
  return state.wantedAttempt;
}

void CQuoteClient::CancelAttempts() { Shared().wantedAttempt = 0; }

bool CQuoteClient::AttemptUnderWay() { return Shared().wantedAttempt != 0; }

void CQuoteClient::EndAttempt(std::uint64_t attempt) {
  SClientState& state = Shared();
  if (state.wantedAttempt == attempt) state.wantedAttempt = 0;
}

int CQuoteClient::CreateClients(const SQuoteClientSettings& settings, IQuoteMessageSink* sink, std::uint64_t attempt) {
  VOKTRACE_Write(VOKTRACE_INFO, "begin CQuoteClient::CreateClients");
  SClientState& state = Shared();
  bool open = false;
  {
    vok::CCriticalSectionLock lock(Lock());
    open = !state.current && state.wantedAttempt == attempt;
    if (!open) EndAttempt(attempt);
  }
  if (open) {
    VOKTRACE_Printf(VOKTRACE_INFO, "Creating QuoteClient: IP=%s, port=%d", settings.address.c_str(), settings.port);
    // The blocking open runs with no lock held: ConnectionState, Connect and Disconnect answer at
    // once meanwhile, and a Disconnect simply makes this attempt unwanted.
    auto client = std::make_unique<CQuoteClient>(settings, sink);
    client->SetTls(ReadTlsSettings());
    const bool opened = client->Open(settings.address.c_str(), settings.port, false);
    const int error = opened ? 0 : IpcLastOpenError();
    {
      vok::CCriticalSectionLock lock(Lock());
      if (!state.current && state.wantedAttempt == attempt) {
        EndAttempt(attempt);
        CQuoteClient* installed = client.get();
        state.current = std::move(client);
        if (opened) {
          installed->Install(settings);
        } else {
          installed->PostEvent(wire::kEventConnectFailed, error);
        }
      }
    }
    if (client) {
      VOKTRACE_Printf(VOKTRACE_INFO, "CQuoteClient::CreateClients: attempt %llu was overtaken during the open",
                      static_cast<unsigned long long>(attempt));
      // Closed with no lock held: closing waits for the client's reader.
      client.reset();
    }
  }
  VOKTRACE_Write(VOKTRACE_INFO, "end CQuoteClient::CreateClient");
  return 0;
}

bool CQuoteClient::CheckCurrentHeartbeat() {
  if (vok::capture::Recording()) vok::capture::FlushRecording();
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

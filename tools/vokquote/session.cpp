// Creating, configuring, connecting and subscribing the quote service object.
#include "session.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "password.h"

namespace vok::cli {
namespace {

// The session the process's notice handler reports to.
struct SNoticeTarget {
  std::mutex lock;
  std::weak_ptr<CMailbox> mailbox;   // guarded by lock
  std::weak_ptr<SEventRelay> relay;  // guarded by lock
};

SNoticeTarget& NoticeTarget() {
  static SNoticeTarget target;
  return target;
}

void SetNoticeTarget(const std::shared_ptr<CMailbox>& mailbox, const std::shared_ptr<SEventRelay>& relay) {
  std::lock_guard<std::mutex> hold(NoticeTarget().lock);
  NoticeTarget().mailbox = mailbox;
  NoticeTarget().relay = relay;
}

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

}  // namespace

CSession::CSession(IQuoteListener& listener)
    : m_mailbox(std::make_shared<CMailbox>()), m_relay(std::make_shared<SEventRelay>()) {
  m_relay->listener = &listener;
  m_notify = CNotifySink::Create(&listener);
}

CSession::~CSession() { Close(); }

void CSession::Close() {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (m_noticeHandler) {
    VokSetSuiteMessageHandler(nullptr, nullptr);
    SetNoticeTarget(nullptr, nullptr);
  }
  m_noticeHandler = false;
  m_relay->listener = nullptr;
  if (m_notify) m_notify->Detach();
  if (m_quotes) {
    if (m_notify) m_quotes->UnadviseAll(m_notify.Get());
    m_quotes->Disconnect();
  }
  if (m_events && m_cookie != 0) m_events->Unadvise(m_cookie);
  m_cookie = 0;
  m_events.Reset();
  m_quotes.Reset();
}

bool CSession::Open(const SConnectSettings& settings, std::string& error) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (!m_notify) {
    error = "out of memory";
    return false;
  }
  if (settings.immediate) VokSetImmediateDelivery(1);
  HRESULT hr = VokQuotesCreate(IID_IVokQuotes, m_quotes.PutVoid());
  if (FAILED(hr) || !m_quotes) {
    error = "cannot create the quote service object (" + HresultText(hr) + ")";
    return false;
  }
  CComPtr<IVokQuotesPriv> priv;
  hr = m_quotes.QueryInterface(IID_IVokQuotesPriv, priv);
  if (FAILED(hr) || !priv) {
    error = "the quote service object has no settings interface (" + HresultText(hr) + ")";
    return false;
  }
  priv->SetRemoteAddress(CBstr::FromUtf8(settings.host).Get());
  priv->put_Port(settings.port);
  priv->put_UserName(CBstr::FromUtf8(settings.user).Get());
  {
    CBstr password = CBstr::FromUtf8(settings.password);
    priv->put_Password(password.Get());
    if (password.Get() != nullptr) std::memset(password.Get(), 0, password.Length() * sizeof(OLECHAR));
  }

  CComPtr<IConnectionPointContainer> container;
  hr = m_quotes.QueryInterface(IID_IConnectionPointContainer, container);
  if (SUCCEEDED(hr) && container) hr = container->FindConnectionPoint(DIID__IVokQuotesEvents, m_events.Put());
  // Events come on the library's threads: each is moved to the main thread's mailbox.
  const auto sink = vokquote::CConnectionEventSink::Create(
      [mailbox = m_mailbox, relay = std::weak_ptr<SEventRelay>(m_relay)](DISPID dispid, long code) {
        const EConnectionEvent event = dispid == vok::dispid::OnConnect ? EConnectionEvent::Connect
                                       : dispid == vok::dispid::OnClose ? EConnectionEvent::Close
                                                                        : EConnectionEvent::LogonSucceed;
        mailbox->Post([relay, event, code] {
          if (const auto live = relay.lock(); live && live->listener != nullptr) live->listener->OnEvent(event, code);
        });
      });
  if (SUCCEEDED(hr) && m_events && sink) hr = m_events->Advise(static_cast<IDispatch*>(sink.Get()), &m_cookie);
  if (FAILED(hr) || !m_events || !sink) {
    error = "cannot connect to the service object's events (" + HresultText(hr) + ")";
    return false;
  }
  // The "logged in elsewhere" notice reaches the host through this handler, on the library's
  // thread; like the events it is moved to the main thread.
  SetNoticeTarget(m_mailbox, m_relay);
  VokSetSuiteMessageHandler(&CSession::OnNoticeText, nullptr);
  m_noticeHandler = true;
  // The command line decides, whatever the user's settings say.
  VokOverrideTls(settings.tls ? 1 : 0, settings.caFile.c_str(), nullptr);
  LONG result = 0;
  hr = m_quotes->Connect(&result);
  if (FAILED(hr)) {
    error = "Connect failed (" + HresultText(hr) + ")";
    return false;
  }
  return true;
}

// On a thread of the library. The library may still run a handler it took just before the session
// unregistered, so the handler's context lives as long as the process and names the session's
// mailbox and relay only weakly.
void CSession::OnNoticeText(const char* text, void*) {
  std::shared_ptr<CMailbox> mailbox;
  std::weak_ptr<SEventRelay> relay;
  {
    std::lock_guard<std::mutex> hold(NoticeTarget().lock);
    mailbox = NoticeTarget().mailbox.lock();
    relay = NoticeTarget().relay;
  }
  if (!mailbox) return;
  mailbox->Post([relay, notice = std::string(text)] {
    if (const auto live = relay.lock(); live && live->listener != nullptr) live->listener->OnNotice(notice);
  });
}

bool CSession::Subscribe(const std::string& symbol, long serviceFlags) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (!m_quotes) return false;
  return SUCCEEDED(m_quotes->AdviseSymbol(m_notify.Get(), CBstr::FromUtf8(symbol).Get(), serviceFlags));
}

long CSession::AggregateSize(const std::string& symbol, double price, enumMarketSide side) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  LONG size = -1;
  if (!m_quotes || FAILED(m_quotes->GetCachedAggregateLevel2Size(CBstr::FromUtf8(symbol).Get(), price, side, &size)))
    return -1;
  return size;
}

bool CSession::SingleQuote(const std::string& symbol, long timeoutMs, QUOTERECORD& rec) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  std::memset(&rec, 0, sizeof rec);
  if (!m_quotes) return false;
  const HRESULT hr = m_quotes->GetSingleQuote(CBstr::FromUtf8(symbol).Get(), timeoutMs, &rec);
  return SUCCEEDED(hr) && rec.bstrSymbol != nullptr;
}

void CSession::FreeQuote(QUOTERECORD& rec) {
  for (BSTR* text : {&rec.bstrSymbol, &rec.bstrMarket, &rec.bstrCompany, &rec.bstrUnderlier}) {
    CBstr::Attach(*text);
    *text = nullptr;
  }
}

enumConnectionState CSession::State() {
  VOK_CLI_DCHECK_THREAD(m_thread);
  enumConnectionState state = csDisconnected;
  if (m_quotes) m_quotes->get_ConnectionState(&state);
  return state;
}

std::string CSession::ServerName() {
  VOK_CLI_DCHECK_THREAD(m_thread);
  CBstr name;
  if (m_quotes) m_quotes->get_ServerName(name.Put());
  return name.ToUtf8();
}

}  // namespace vok::cli

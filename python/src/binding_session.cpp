// The service object driven from the binding's loop thread, and the connection state its events
// keep.
#include "binding_session.h"

#include <vokquote/api.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>

namespace vok::py {

// What the connection events said, shared by the session and its event sink (which the library
// may call after the session is gone).
struct SConnectionState {
  std::mutex mutex;
  std::condition_variable changed;
  ELogon logon = ELogon::Waiting;                   // guarded by mutex
  std::int32_t connectCode = 0;                     // guarded by mutex
  bool connected = false;                           // guarded by mutex
  bool closed = false;                              // guarded by mutex
  std::vector<std::weak_ptr<CRecordQueue>> queues;  // guarded by mutex: the events streams

  void OnEvent(EEventKind kind, std::int32_t code, const std::string& note = {}) {
    {
      std::lock_guard lock(mutex);
      switch (kind) {
        case EEventKind::Connect:
          connected = code == 0;
          if (code != 0 && logon == ELogon::Waiting) {
            logon = ELogon::ConnectFailed;
            connectCode = code;
          }
          break;
        case EEventKind::LogonSucceed:
          if (logon == ELogon::Waiting) logon = ELogon::LoggedOn;
          break;
        case EEventKind::Close:
          // A connection closed before the first logon: the server refused the user.
          if (logon == ELogon::Waiting && connected) logon = ELogon::Refused;
          connected = false;
          break;
        case EEventKind::Notice:
          break;
      }
      std::erase_if(queues, [](const std::weak_ptr<CRecordQueue>& queue) { return queue.expired(); });
      for (const auto& weak : queues) {
        if (auto queue = weak.lock()) queue->Push(SBindingRecord::Event(kind, code, note));
      }
    }
    changed.notify_all();
  }
};

namespace {

// The library has one handler for server notices per process; it is registered while a session
// lives and reaches every live session.
std::mutex g_noticeMutex;
std::vector<std::weak_ptr<SConnectionState>> g_noticeTargets;  // guarded by g_noticeMutex

void OnSuiteMessage(const char* text, void*) {
  std::vector<std::weak_ptr<SConnectionState>> targets;
  {
    std::lock_guard lock(g_noticeMutex);
    targets = g_noticeTargets;
  }
  for (const auto& weak : targets) {
    if (auto state = weak.lock()) state->OnEvent(EEventKind::Notice, 0, text != nullptr ? text : "");
  }
}

void AddNoticeTarget(const std::shared_ptr<SConnectionState>& state) {
  std::lock_guard lock(g_noticeMutex);
  if (g_noticeTargets.empty()) VokSetSuiteMessageHandler(&OnSuiteMessage, nullptr);
  g_noticeTargets.push_back(state);
}

void RemoveNoticeTarget(const std::shared_ptr<SConnectionState>& state) {
  std::lock_guard lock(g_noticeMutex);
  const auto before = g_noticeTargets.size();
  std::erase_if(g_noticeTargets, [&](const std::weak_ptr<SConnectionState>& weak) {
    auto live = weak.lock();
    return !live || live == state;
  });
  if (before != 0 && g_noticeTargets.empty()) VokSetSuiteMessageHandler(nullptr, nullptr);
}

// A BSTR owned for the length of a call.
class CBstrText {
 public:
  explicit CBstrText(const std::u16string& text)
      : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (m_text == nullptr) throw std::bad_alloc();
  }
  CBstrText(const CBstrText&) = delete;
  CBstrText& operator=(const CBstrText&) = delete;
  ~CBstrText() {
    std::memset(m_text, 0, SysStringByteLen(m_text));  // a password must not linger in the heap
    SysFreeString(m_text);
  }
  BSTR Get() const { return m_text; }

 private:
  BSTR m_text;
};

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

void FreeTexts(std::initializer_list<BSTR*> texts) {
  for (BSTR* text : texts) {
    SysFreeString(*text);
    *text = nullptr;
  }
}

}  // namespace

CBindingSession::CBindingSession() : m_state(std::make_shared<SConnectionState>()) {}

CBindingSession::~CBindingSession() { Close(); }

CComRef<IVokQuotes> CBindingSession::Object() {
  std::lock_guard lock(m_objectMutex);
  return m_quotes;
}

bool CBindingSession::Open(SSessionSettings settings, std::string& error) {
  m_queueBound = settings.queueBound;
  if (!m_loop.Start()) {
    error = "cannot start the binding's thread";
    return false;
  }
  AddNoticeTarget(m_state);
  const bool opened = m_loop.Call([&]() -> bool {
    CComRef<IVokQuotes> quotes;
    HRESULT hr = VokQuotesCreate(IID_IVokQuotes, quotes.PutVoid());
    if (FAILED(hr) || !quotes) {
      error = "cannot create the quote service object (" + HresultText(hr) + ")";
      return false;
    }
    CComRef<IVokQuotesPriv> priv;
    hr = quotes->QueryInterface(IID_IVokQuotesPriv, priv.PutVoid());
    if (FAILED(hr) || !priv) {
      error = "the quote service object has no settings interface (" + HresultText(hr) + ")";
      return false;
    }
    priv->SetRemoteAddress(CBstrText(settings.address).Get());
    priv->put_UserName(CBstrText(settings.user).Get());
    priv->put_Password(CBstrText(settings.password).Get());
    std::fill(settings.password.begin(), settings.password.end(), u'\0');

    CComRef<IConnectionPointContainer> container;
    hr = quotes->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    if (SUCCEEDED(hr) && container) hr = container->FindConnectionPoint(DIID__IVokQuotesEvents, m_events.Put());
    const auto sink = vokquote::CConnectionEventSink::Create([state = m_state](DISPID dispid, long code) {
      const EEventKind kind = dispid == vok::dispid::OnConnect ? EEventKind::Connect
                              : dispid == vok::dispid::OnClose ? EEventKind::Close
                                                               : EEventKind::LogonSucceed;
      state->OnEvent(kind, static_cast<std::int32_t>(code));
    });
    if (SUCCEEDED(hr) && m_events && sink) hr = m_events->Advise(static_cast<IDispatch*>(sink.Get()), &m_cookie);
    if (FAILED(hr) || !m_events || !sink) {
      error = "cannot connect to the service object's events (" + HresultText(hr) + ")";
      return false;
    }
    {
      std::lock_guard lock(m_objectMutex);
      m_quotes = quotes;
    }
    LONG result = 0;
    hr = quotes->Connect(&result);
    if (FAILED(hr)) {
      error = "Connect failed (" + HresultText(hr) + ")";
      return false;
    }
    return true;
  });
  std::fill(settings.password.begin(), settings.password.end(), u'\0');
  return opened;
}

ELogon CBindingSession::WaitForLogon(int timeoutMs, std::int32_t& code) {
  std::unique_lock lock(m_state->mutex);
  m_state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return m_state->logon != ELogon::Waiting || m_state->closed; });
  code = m_state->connectCode;
  return m_state->closed && m_state->logon == ELogon::Waiting ? ELogon::Closed : m_state->logon;
}

std::shared_ptr<SStream> CBindingSession::Subscribe(const std::vector<std::u16string>& symbols, LONG serviceFlags,
                                                    bool& refused, std::u16string& badSymbol) {
  refused = false;
  auto stream = std::make_shared<SStream>();
  stream->queue = std::make_shared<CRecordQueue>(m_queueBound);
  stream->sink = CQueueNotifySink::Create(stream->queue);
  if (!stream->sink) throw std::bad_alloc();
  const bool subscribed = m_loop.Call([&]() -> bool {
    CComRef<IVokQuotes> quotes = Object();
    if (!quotes) return false;
    for (const auto& symbol : symbols) {
      const HRESULT hr = quotes->AdviseSymbol(stream->sink.Get(), CBstrText(symbol).Get(), serviceFlags);
      if (FAILED(hr)) {
        if (hr == E_INVALIDARG) {
          refused = true;
          badSymbol = symbol;
        }
        quotes->UnadviseAll(stream->sink.Get());
        return false;
      }
    }
    m_streams.push_back(stream);
    return true;
  });
  if (subscribed) return stream;
  stream->queue->Close();
  return nullptr;
}

void CBindingSession::Unsubscribe(const std::shared_ptr<SStream>& stream, bool wait) {
  auto end = [this, stream] {
    if (!stream->open) return;
    stream->open = false;
    if (CComRef<IVokQuotes> quotes = Object()) quotes->UnadviseAll(stream->sink.Get());
    stream->sink.Reset();
    std::erase(m_streams, stream);
  };
  if (wait) {
    m_loop.Call(end);
  } else if (!m_loop.Post(end)) {
    end();  // the loop thread has ended: Close already let go of the library's object
  }
  stream->queue->Close();
}

std::shared_ptr<CRecordQueue> CBindingSession::Events() {
  auto queue = std::make_shared<CRecordQueue>(1024);
  std::lock_guard lock(m_state->mutex);
  if (m_state->closed) {
    queue->Close();
  } else {
    m_state->queues.push_back(queue);
  }
  return queue;
}

bool CBindingSession::CachedQuote(const std::u16string& symbol, SBindingRecord& out, bool& invalid) {
  CComRef<IVokQuotes> quotes = Object();
  QUOTERECORD rec{};
  const HRESULT hr = quotes ? quotes->GetCachedQuote(CBstrText(symbol).Get(), &rec) : E_UNEXPECTED;
  invalid = hr == E_INVALIDARG;
  const bool found = SUCCEEDED(hr) && rec.bstrSymbol != nullptr;
  if (found) out = SBindingRecord::From(rec);
  FreeTexts({&rec.bstrSymbol, &rec.bstrMarket, &rec.bstrCompany, &rec.bstrUnderlier});
  return found;
}

bool CBindingSession::CachedOption(const std::u16string& symbol, SBindingRecord& out, bool& invalid) {
  CComRef<IVokQuotes> quotes = Object();
  OPTIONSRECORD rec{};
  const HRESULT hr = quotes ? quotes->GetCachedOptionsRecord(CBstrText(symbol).Get(), &rec) : E_UNEXPECTED;
  invalid = hr == E_INVALIDARG;
  const bool found = SUCCEEDED(hr) && rec.bstrSymbol != nullptr;
  if (found) out = SBindingRecord::From(rec);
  FreeTexts({&rec.bstrSymbol, &rec.bstrUnderlier});
  return found;
}

bool CBindingSession::SingleQuote(const std::u16string& symbol, int timeoutMs, SBindingRecord& out, bool& invalid) {
  CComRef<IVokQuotes> quotes = Object();
  QUOTERECORD rec{};
  // On the calling thread: the library pumps that thread's own loop while it waits.
  const HRESULT hr = quotes ? quotes->GetSingleQuote(CBstrText(symbol).Get(), timeoutMs, &rec) : E_UNEXPECTED;
  invalid = hr == E_INVALIDARG;
  const bool found = SUCCEEDED(hr) && rec.bstrSymbol != nullptr;
  if (found) out = SBindingRecord::From(rec);
  FreeTexts({&rec.bstrSymbol, &rec.bstrMarket, &rec.bstrCompany, &rec.bstrUnderlier});
  return found;
}

long CBindingSession::AggregateSize(const std::u16string& symbol, double price, enumMarketSide side, bool& invalid) {
  CComRef<IVokQuotes> quotes = Object();
  LONG size = 0;
  const HRESULT hr =
      quotes ? quotes->GetCachedAggregateLevel2Size(CBstrText(symbol).Get(), price, side, &size) : E_UNEXPECTED;
  invalid = hr == E_INVALIDARG;
  return SUCCEEDED(hr) ? size : 0;
}

enumConnectionState CBindingSession::State() {
  enumConnectionState state = csDisconnected;
  if (CComRef<IVokQuotes> quotes = Object()) quotes->get_ConnectionState(&state);
  return state;
}

std::u16string CBindingSession::ServerName() {
  BSTR name = nullptr;
  if (CComRef<IVokQuotes> quotes = Object()) quotes->get_ServerName(&name);
  std::u16string text = name != nullptr ? std::u16string(name, SysStringLen(name)) : std::u16string();
  SysFreeString(name);
  return text;
}

void CBindingSession::Close() {
  {
    std::lock_guard lock(m_state->mutex);
    m_state->closed = true;
  }
  RemoveNoticeTarget(m_state);
  m_loop.Call([this] {
    CComRef<IVokQuotes> quotes = Object();
    for (const auto& stream : m_streams) {
      stream->open = false;
      if (quotes) quotes->UnadviseAll(stream->sink.Get());
      stream->sink.Reset();
      stream->queue->Close();
    }
    m_streams.clear();
    if (m_events && m_cookie != 0) m_events->Unadvise(m_cookie);
    m_cookie = 0;
    m_events.Reset();
    if (quotes) quotes->Disconnect();
    {
      std::lock_guard lock(m_objectMutex);
      m_quotes.Reset();
    }
    quotes.Reset();  // the last reference, released on the thread that made the object
  });
  m_loop.Stop();
  std::vector<std::weak_ptr<CRecordQueue>> queues;
  {
    std::lock_guard lock(m_state->mutex);
    queues.swap(m_state->queues);
  }
  for (const auto& weak : queues) {
    if (auto queue = weak.lock()) queue->Close();
  }
  m_state->changed.notify_all();
}

}  // namespace vok::py

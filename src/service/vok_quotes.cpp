// CVokQuotes: construction and release, identity and aggregation, IDispatch, the connection point
// container, subscriptions, the connection settings, the cache reads and the host services the
// handlers use.
#include "service/vok_quotes.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "connection/quote_client.h"  // SQuoteClientSettings
#include "handlers/l2_handler.h"
#include "handlers/options_handler.h"
#include "handlers/quote_handler.h"
#include "platform/bstr.h"
#include "platform/thread.h"
#include "platform/wait_with_message_loop.h"
#include "service/com_guard.h"
#include "service/enum_connections.h"
#include "service/free_threaded_marshaler.h"
#include "service/record_dispatch.h"
#include "service/single_quote_sink.h"
#include "service/symbol_rule.h"
#include "service/type_library.h"
#include "service/vokquote_create.h"
#include "vkdll/vkdll.h"
#include "vokcommon/registry.h"
#include "vokipc/vokipc.h"

namespace {

// VokSetImmediateDelivery: on for every object created after it, whatever the user's setting.
std::atomic<bool> g_immediateDelivery{false};

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// Splits a server address as a host types it: "[v6]:port" (brackets stripped), "host:port" split at
// the last colon, or a host alone. A text with more than one colon and no brackets is an IPv6
// literal without a port ("::1", "fe80::1:5020"): a port can follow an IPv6 address only behind
// brackets. False when the text names no port; the host is trimmed.
bool SplitHostAndPort(const std::string& given, std::string& host, LONG& port) {
  const std::string text = Trim(given);
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close != std::string::npos) {
      host = Trim(text.substr(1, close - 1));
      if (close + 1 < text.size() && text[close + 1] == ':') {
        port = static_cast<LONG>(std::atol(text.c_str() + close + 2));
        return true;
      }
      return false;
    }
  }
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || text.find(':') != colon) {
    host = text;
    return false;
  }
  host = Trim(text.substr(0, colon));
  port = static_cast<LONG>(std::atol(text.c_str() + colon + 1));
  return true;
}

// The text up to the first "-", leading dashes skipped: the root an underlier is filed under.
std::string SymbolRoot(const std::string& symbol) {
  const std::size_t begin = symbol.find_first_not_of('-');
  if (begin == std::string::npos) return std::string();
  const std::size_t end = symbol.find('-', begin);
  return symbol.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

constexpr LONG kTestIntervalMs = 200;
// How long release waits for the test thread before leaving it to end on its own.
constexpr std::uint32_t kTestThreadWaitMs = 10000;

// The symbol under the common rule, back in wide form for the handlers; false when rejected.
bool NormalisedSymbol(BSTR given, vok::CBstr& symbol) {
  std::string narrow;
  if (!vok::NormaliseSymbol(vok::CBstr::ToNarrow(given), narrow)) return false;
  symbol = vok::CBstr::FromNarrow(narrow);
  if (symbol.Get() == nullptr) throw std::bad_alloc();
  return true;
}

// A record handed to a client starts all zero, strings null, whatever the caller left in it.
template <class Record>
void Clear(Record* record) {
  std::memset(static_cast<void*>(record), 0, sizeof(Record));
}

}  // namespace

HRESULT CVokQuotes::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  // Any interface but the inner unknown would hand out the outer object's identity twice.
  if (outer != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  std::unique_ptr<CVokQuotes> created(new (std::nothrow) CVokQuotes());
  if (!created) return E_OUTOFMEMORY;
  if (outer != nullptr) created->m_controllingUnknown = outer;
  // A reference held through construction, so a sink or handler that takes and drops one
  // cannot release the object half-built.
  created->m_refCount = 1;
  const HRESULT constructed = created->FinalConstruct();
  if (FAILED(constructed)) return constructed;
  CVokQuotes* self = created.release();
  const HRESULT queried = self->m_inner.QueryInterface(riid, object);
  self->m_inner.Release();
  return queried;
}

CVokQuotes::CVokQuotes()
    : m_eventPoint(static_cast<IVokQuotes*>(this), static_cast<IConnectionPointContainer*>(this), m_shuttingDown) {
  VOKTRACE_Write(VOKTRACE_INFO, "CVokQuotes::CVokQuoteFeed");
}

CVokQuotes::~CVokQuotes() {
  VOKTRACE_Write(VOKTRACE_INFO, "CVokQuotes::~CVokQuotes");
  ReleaseMarshaler();
}

HRESULT CVokQuotes::FinalConstruct() {
  VOKTRACE_Write(VOKTRACE_INFO, "CVokQuotes::FinalConstruct");
  m_borrowMap.reserve(503);
  m_underlierMap.reserve(503);
  const HRESULT marshaler = CreateMarshaler();
  if (FAILED(marshaler)) return marshaler;

  vok::CCriticalSectionLock clientLock(CConnectionLifecycle::ClientLock());
  bool testMode = false;
  {
    CVokRegistry settings;
    if (settings.Open()) {
      int value = 0;
      testMode = settings.Read("QuotesTestMode", value) && value != 0;
      value = 0;
      if (settings.Read("LogQuotes", value)) m_logQuotes = value;
      value = 0;
      m_immediateDelivery = settings.Read("ImmediateDelivery", value) && value != 0;
    }
  }
  m_immediateDelivery = m_immediateDelivery || g_immediateDelivery.load();
  m_handlers.Create(this);
  // Current only once its handlers and settings are in place: a pump already running for another
  // object hands data to the current one at once, without the client lock.
  vok::App().SetCurrent(this);
  // The test thread calls into the handlers, so it starts only once they exist.
  if (testMode) StartTestMode();
  vok::App().BeginProcessMessages();
  IpcStartup();
  return S_OK;
}

void CVokQuotes::FinalRelease() {
  VOKTRACE_Write(VOKTRACE_INFO, "CVokQuotes::FinalRelease");
  m_shuttingDown.store(true);
  m_connection.CancelTimers();
  StopTestMode();
  // A worker still opening is not waited for (Disconnect makes its attempt unwanted).
  m_connection.ReapWorker();
  Disconnect();
  IpcCleanup();
  m_handlers.Destroy();
  VOKTRACE_Write(VOKTRACE_INFO, "calling EndProcessMessages");
  vok::App().EndProcessMessages();
  vok::App().ClearCurrent(this);
  ReleaseMarshaler();
}

// ---- IUnknown ----

STDMETHODIMP CVokQuotes::QueryInterface(REFIID riid, void** ppv) {
  return m_controllingUnknown->QueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CVokQuotes::AddRef() { return m_controllingUnknown->AddRef(); }

STDMETHODIMP_(ULONG) CVokQuotes::Release() { return m_controllingUnknown->Release(); }

STDMETHODIMP CVokQuotes::CInnerUnknown::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  return vok::ComGuard("CVokQuotes::QueryInterface", [&] { return m_owner.FindInterface(this, riid, ppv); });
}

HRESULT CVokQuotes::FindInterface(IUnknown* inner, REFIID riid, void** ppv) {
  IUnknown* found = nullptr;
  if (riid == IID_IUnknown) {
    found = inner;
  } else if (riid == IID_IVokQuotes || riid == IID_IDispatch || riid == kIidVokQuotesObject) {
    found = static_cast<IVokQuotes*>(this);
  } else if (riid == IID_IConnectionPointContainer) {
    found = static_cast<IConnectionPointContainer*>(this);
  } else if (QueryMarshaler(riid, ppv)) {
    return S_OK;
  } else if (riid == IID_IVokQuotesPriv) {
    found = static_cast<IVokQuotesPriv*>(this);
  } else {
    return E_NOINTERFACE;
  }
  // Through the interface itself: the inner unknown counts here, the others on the controlling one.
  found->AddRef();
  *ppv = found;
  return S_OK;
}

STDMETHODIMP_(ULONG) CVokQuotes::CInnerUnknown::AddRef() { return ++m_owner.m_refCount; }

STDMETHODIMP_(ULONG) CVokQuotes::CInnerUnknown::Release() {
  CVokQuotes& owner = m_owner;
  const ULONG count = --owner.m_refCount;
  if (count == 0) {
    // Release has no HRESULT to report a failure with; the guard still keeps it inside.
    static_cast<void>(vok::ComGuard("CVokQuotes::Release", [&] {
      owner.FinalRelease();
      return S_OK;
    }));
    delete &owner;
  }
  return count;
}

bool CVokQuotes::TryAddRef() {
  ULONG count = m_refCount.load();
  while (count != 0) {
    if (m_refCount.compare_exchange_weak(count, count + 1)) return true;
  }
  return false;
}

// ---- IConnectionPointContainer ----

STDMETHODIMP CVokQuotes::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = nullptr;
  return vok::ComGuard("CVokQuotes::EnumConnectionPoints", [&] {
    return CEnumConnectionPoints::Create({vok::CComPtr<IConnectionPoint>(&m_eventPoint)}, ppEnum);
  });
}

STDMETHODIMP CVokQuotes::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (ppCP == nullptr) return E_POINTER;
  *ppCP = nullptr;
  return vok::ComGuard("CVokQuotes::FindConnectionPoint", [&] {
    if (riid != DIID__IVokQuotesEvents) return CONNECT_E_NOCONNECTION;
    *ppCP = &m_eventPoint;
    m_eventPoint.AddRef();
    return S_OK;
  });
}

// ---- Subscriptions ----

STDMETHODIMP CVokQuotes::AdviseSymbol(IVokQuotesNotify* pNotify, BSTR bstrSymbol, LONG lServiceFlags) {
  return vok::ComGuard("CVokQuotes::AdviseSymbol", [&] {
    std::string symbol;
    if (!vok::NormaliseSymbol(vok::CBstr::ToNarrow(bstrSymbol), symbol)) return E_INVALIDARG;
    // Object lock, then (inside each handler) the handler lock and, to send, the client lock.
    vok::CCriticalSectionLock lock(m_objectLock);
    return m_handlers.Advise(pNotify, symbol, lServiceFlags) ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP CVokQuotes::UnadviseSymbol(IVokQuotesNotify* pNotify, BSTR bstrSymbol, LONG lServiceFlags) {
  return vok::ComGuard("CVokQuotes::UnadviseSymbol", [&] {
    std::string symbol;
    if (!vok::NormaliseSymbol(vok::CBstr::ToNarrow(bstrSymbol), symbol)) return E_INVALIDARG;
    VOKTRACE_Printf(VOKTRACE_INFO, "UnadviseSymbol %s", symbol.c_str());
    vok::CCriticalSectionLock lock(m_objectLock);
    m_handlers.Unadvise(pNotify, symbol, lServiceFlags);
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::UnadviseAll(IVokQuotesNotify* pNotify) {
  return vok::ComGuard("CVokQuotes::UnadviseAll", [&] {
    vok::CCriticalSectionLock lock(m_objectLock);
    m_handlers.UnadviseAll(pNotify);
    return S_OK;
  });
}

// ---- Connection ----

STDMETHODIMP CVokQuotes::Connect(LONG* plRetVal) { return m_connection.Connect(plRetVal); }

STDMETHODIMP CVokQuotes::Disconnect() { return m_connection.Disconnect(); }

STDMETHODIMP CVokQuotes::get_ConnectionState(enumConnectionState* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_connection.State();
  return S_OK;
}

STDMETHODIMP CVokQuotes::get_ServerName(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  return vok::ComGuard("CVokQuotes::get_ServerName", [&] {
    *pVal = vok::CBstr::FromNarrow(m_connection.ServerName()).Detach();
    return S_OK;
  });
}

// ---- Connection settings ----

HRESULT CVokQuotes::CopyText(const char* method, const std::string& member, BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  return vok::ComGuard(method, [&] {
    vok::CCriticalSectionLock lock(m_objectLock);
    *pVal = vok::CBstr::FromNarrow(member).Detach();
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::get_RemoteAddress(BSTR* pVal) {
  return CopyText("CVokQuotes::get_RemoteAddress", m_remoteAddress, pVal);
}

STDMETHODIMP CVokQuotes::SetRemoteAddress(BSTR address) {
  return vok::ComGuard("CVokQuotes::SetRemoteAddress", [&] {
    std::string host;
    LONG port = 0;
    const bool hasPort = SplitHostAndPort(vok::CBstr::ToNarrow(address), host, port);
    vok::CCriticalSectionLock lock(m_objectLock);
    if (hasPort) m_port = port;
    m_remoteAddress = std::move(host);
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::get_Port(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_port.load();
  return S_OK;
}

STDMETHODIMP CVokQuotes::put_Port(LONG newVal) {
  m_port = newVal;
  return S_OK;
}

STDMETHODIMP CVokQuotes::put_Password(BSTR newVal) {
  return vok::ComGuard("CVokQuotes::put_Password", [&] {
    vok::CCriticalSectionLock lock(m_objectLock);
    std::string text = vok::CBstr::ToNarrow(newVal);
    // A text of 64 characters or more is taken as already transformed.
    if (SysStringLen(newVal) >= 64) {
      m_password = std::move(text);
      return S_OK;
    }
    char transformed[65] = {};
    VOK_TransformPassword(text.c_str(), transformed);
    m_password = transformed;
    // The clear text does not outlive this call.
    std::fill(text.begin(), text.end(), '\0');
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::get_Password(BSTR* pVal) { return CopyText("CVokQuotes::get_Password", m_password, pVal); }

STDMETHODIMP CVokQuotes::get_UserName(BSTR* pVal) { return CopyText("CVokQuotes::get_UserName", m_userName, pVal); }

STDMETHODIMP CVokQuotes::put_UserName(BSTR newVal) {
  return vok::ComGuard("CVokQuotes::put_UserName", [&] {
    vok::CCriticalSectionLock lock(m_objectLock);
    m_userName = Trim(vok::CBstr::ToNarrow(newVal));
    return S_OK;
  });
}

void CVokQuotes::ReadConnectionSettings(SQuoteClientSettings& settings) {
  vok::CCriticalSectionLock lock(m_objectLock);
  settings.address = m_remoteAddress;
  settings.port = m_port.load();
  settings.userName = m_userName;
  settings.password = m_password;
}

// ---- IHandlerHost ----

bool CVokQuotes::GetBorrowRate(const std::string& symbol, double& rate) {
  if (!m_hasBorrowRates.load(std::memory_order_acquire)) return false;
  vok::CCriticalSectionLock lock(m_mapsLock);
  auto it = m_borrowMap.find(symbol);
  if (it == m_borrowMap.end()) return false;
  rate = it->second;
  return true;
}

void CVokQuotes::AddOptionRoot(const std::string& root, const std::string& underlier) {
  vok::CCriticalSectionLock lock(m_mapsLock);
  m_underlierMap.emplace(root, underlier);
}

void CVokQuotes::AddUnderlier(const std::string& symbol, const std::string& underlier) {
  AddOptionRoot(SymbolRoot(symbol), underlier);
}

vok::CCriticalSection& CVokQuotes::ConnectionLock() { return CConnectionLifecycle::ClientLock(); }

bool CVokQuotes::ConnectionLoggedIn() { return m_connection.LoggedIn(); }

void CVokQuotes::Send(const VOKMessage& message) { m_connection.Send(message); }

// ---- IDispatch ----

STDMETHODIMP CVokQuotes::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 0;
  return vok::ComGuard("CVokQuotes::GetTypeInfoCount", [&] {
    vok::CComPtr<ITypeInfo> info;
    *pctinfo = SUCCEEDED(vok::VokQuotesTypeInfo(info.Put())) ? 1 : 0;
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  return vok::ComGuard("CVokQuotes::GetTypeInfo", [&] { return vok::VokQuotesTypeInfo(ppTInfo); });
}

STDMETHODIMP CVokQuotes::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return vok::ComGuard("CVokQuotes::GetIDsOfNames",
                       [&] { return vok::VokQuotesGetIDsOfNames(rgszNames, cNames, rgDispId); });
}

STDMETHODIMP CVokQuotes::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return vok::ComGuard("CVokQuotes::Invoke", [&] {
    // The record members are answered here: a type-information invoke may not marshal records.
    HRESULT recordResult = S_OK;
    if (vok::InvokeRecordMember(this, dispIdMember, wFlags, pDispParams, pVarResult, puArgErr, recordResult)) {
      return recordResult;
    }
    return vok::VokQuotesInvoke(static_cast<IVokQuotes*>(this), dispIdMember, wFlags, pDispParams, pVarResult,
                                pExcepInfo, puArgErr);
  });
}

// ---- Cache reads ----

STDMETHODIMP CVokQuotes::GetCachedQuote(BSTR bstrSymbol, QUOTERECORD* pRec) {
  if (pRec == nullptr) return E_POINTER;
  Clear(pRec);
  return vok::ComGuard("CVokQuotes::GetCachedQuote", [&] {
    vok::CBstr symbol;
    if (!NormalisedSymbol(bstrSymbol, symbol)) return E_INVALIDARG;
    if (CQuoteHandler* quotes = m_handlers.Quotes()) quotes->GetCachedQuote(symbol.Get(), pRec);
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::GetCachedOptionsRecord(BSTR bstrSymbol, OPTIONSRECORD* pRec) {
  if (pRec == nullptr) return E_POINTER;
  Clear(pRec);
  return vok::ComGuard("CVokQuotes::GetCachedOptionsRecord", [&] {
    vok::CBstr symbol;
    if (!NormalisedSymbol(bstrSymbol, symbol)) return E_INVALIDARG;
    // Only option symbols ("+" first) have an options record.
    if (COptionsHandler* options = m_handlers.Options(); options != nullptr && symbol.Get()[0] == '+')
      options->GetCachedOptionsRecord(symbol.Get(), pRec);
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::GetCachedAggregateLevel2Size(BSTR bstrSymbol, double dPrice, enumMarketSide side, LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = -1;
  return vok::ComGuard("CVokQuotes::GetCachedAggregateLevel2Size", [&] {
    vok::CBstr symbol;
    if (!NormalisedSymbol(bstrSymbol, symbol)) return E_INVALIDARG;
    if (CL2Handler* level2 = m_handlers.Level2()) *pVal = level2->GetAggregateSize(symbol.Get(), dPrice, side);
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::GetSingleQuote(BSTR bstrSymbol, LONG lTimeout, QUOTERECORD* pRec) {
  if (pRec == nullptr) return E_POINTER;
  Clear(pRec);
  return vok::ComGuard("CVokQuotes::GetSingleQuote", [&] {
    vok::CBstr symbol;
    if (!NormalisedSymbol(bstrSymbol, symbol)) return E_INVALIDARG;
    if (CQuoteHandler* quotes = m_handlers.Quotes()) ::GetSingleQuote(*quotes, symbol.Get(), lTimeout, pRec);
    return S_OK;
  });
}

// ---- Private settings ----

STDMETHODIMP CVokQuotes::SetNegBorrowPct(BSTR symbol, double percentage) {
  return vok::ComGuard("CVokQuotes::SetNegBorrowPct", [&] {
    // The exact text: a borrow rate belongs to the symbol as the host spelled it.
    const std::string key = vok::CBstr::ToNarrow(symbol);
    if (!vok::IsSafeExactSymbol(key)) return E_INVALIDARG;
    vok::CCriticalSectionLock objectLock(m_objectLock);
    {
      vok::CCriticalSectionLock mapsLock(m_mapsLock);
      auto found = m_borrowMap.find(key);
      if (found != m_borrowMap.end() && found->second == percentage) return S_OK;
      m_borrowMap[key] = percentage;
      m_hasBorrowRates.store(true, std::memory_order_release);
    }
    // Object lock, then the handler's lock; the maps lock is a leaf and is released first.
    if (CQuoteHandler* quotes = m_handlers.Quotes()) quotes->SetBorrowRate(key, percentage);
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::GetUnderlier(BSTR symbol, BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  return vok::ComGuard("CVokQuotes::GetUnderlier", [&] {
    const std::string text = vok::CBstr::ToNarrow(symbol);
    if (!vok::IsSafeExactSymbol(text)) return E_INVALIDARG;
    vok::CCriticalSectionLock objectLock(m_objectLock);
    const std::string root = SymbolRoot(text);
    vok::CCriticalSectionLock mapsLock(m_mapsLock);
    auto found = m_underlierMap.find(root);
    if (found != m_underlierMap.end()) *pVal = vok::CBstr::FromNarrow(found->second).Detach();
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::get_QuotePermissions(ULONGLONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_connection.QuotePermissions();
  return S_OK;
}

// ---- Free-threaded marshaler ----

HRESULT CVokQuotes::CreateMarshaler() {
  return vok::CreateFreeThreadedMarshaler(m_controllingUnknown, m_marshaler.Put());
}

void CVokQuotes::ReleaseMarshaler() { m_marshaler.Reset(); }

bool CVokQuotes::QueryMarshaler(REFIID riid, void** ppv) {
  if (!m_marshaler || !vok::IsMarshalerInterface(riid)) return false;
  return SUCCEEDED(m_marshaler->QueryInterface(riid, ppv));
}

// ---- Test mode ----

void CVokQuotes::StartTestMode() {
  m_testInterval = kTestIntervalMs;
  m_testThread = std::make_unique<vok::CThreadHandle>();
  const bool started = m_testThread->Start([this] {
    while (!m_testStop.load()) {
      vok::SleepMs(static_cast<std::uint32_t>(m_testInterval));
      if (m_testStop.load()) break;
      m_handlers.TestTick();
    }
  });
  if (!started) m_testThread.reset();
}

void CVokQuotes::StopTestMode() {
  if (!m_testThread) return;
  m_testStop.store(true);
  if (vok::WaitWithMessageLoop(m_testThread->EndHandle(), kTestThreadWaitMs) == 0) {
    m_testThread->Join();
  } else {
    m_testThread->Detach();
  }
  m_testThread.reset();
}

extern "C" void VokSetImmediateDelivery(int on) { g_immediateDelivery.store(on != 0); }

extern "C" HRESULT VokQuotesCreate(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return vok::ComGuard("VokQuotesCreate", [&] { return CVokQuotes::CreateInstance(riid, object); });
}

// CVokQuotes: construction and release, the connection settings, subscriptions, the connection
// point container, the handlers and the host services they use.
#include "service/vok_quotes.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <new>

#include "connection/quote_client.h"
#include "handlers/l2_handler.h"
#include "handlers/options_handler.h"
#include "handlers/quote_handler.h"
#include "handlers/ts_handler.h"
#include "platform/bstr.h"
#include "service/com_guard.h"
#include "service/enum_connections.h"
#include "service/symbol_rule.h"
#include "vkdll/vkdll.h"
#include "vokcommon/registry.h"
#include "vokipc/vokipc.h"

namespace {

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

  vok::CCriticalSectionLock clientLock(CQuoteClient::Lock());
  vok::App().SetCurrent(this);
  bool testMode = false;
  {
    CVokRegistry settings;
    if (settings.Open()) {
      int value = 0;
      testMode = settings.Read("QuotesTestMode", value) && value != 0;
      value = 0;
      if (settings.Read("LogQuotes", value)) m_logQuotes = value;
    }
  }
  CreateHandlers();
  // The test thread calls into the handlers, so it starts only once they exist.
  if (testMode) StartTestMode();
  vok::App().BeginProcessMessages();
  IpcStartup();
  return S_OK;
}

void CVokQuotes::FinalRelease() {
  VOKTRACE_Write(VOKTRACE_INFO, "CVokQuotes::FinalRelease");
  m_shuttingDown.store(true);
  vok::App().HeartbeatTimer().Cancel();
  vok::App().ReconnectTimer().Cancel();
  StopTestMode();
  // A worker still opening is not waited for (Disconnect makes its attempt unwanted).
  ReapWorker();
  Disconnect();
  IpcCleanup();
  DestroyHandlers();
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
  } else if (riid == IID_IVokQuotes || riid == IID_IDispatch) {
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
    // A handler fails only when this thread can have no thread map or dispatch queue.
    bool advised = true;
    if (m_quoteHandler) advised &= m_quoteHandler->Advise(pNotify, symbol, lServiceFlags);
    if (m_tsHandler) advised &= m_tsHandler->Advise(pNotify, symbol, lServiceFlags);
    if (m_l2Handler) advised &= m_l2Handler->Advise(pNotify, symbol, lServiceFlags);
    if (m_optionsHandler) advised &= m_optionsHandler->Advise(pNotify, symbol, lServiceFlags);
    return advised ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP CVokQuotes::UnadviseSymbol(IVokQuotesNotify* pNotify, BSTR bstrSymbol, LONG lServiceFlags) {
  return vok::ComGuard("CVokQuotes::UnadviseSymbol", [&] {
    std::string symbol;
    if (!vok::NormaliseSymbol(vok::CBstr::ToNarrow(bstrSymbol), symbol)) return E_INVALIDARG;
    VOKTRACE_Printf(VOKTRACE_INFO, "UnadviseSymbol %s", symbol.c_str());
    vok::CCriticalSectionLock lock(m_objectLock);
    if (m_quoteHandler) m_quoteHandler->Unadvise(pNotify, symbol, lServiceFlags);
    if (m_tsHandler) m_tsHandler->Unadvise(pNotify, symbol, lServiceFlags);
    if (m_l2Handler) m_l2Handler->Unadvise(pNotify, symbol, lServiceFlags);
    if (m_optionsHandler) m_optionsHandler->Unadvise(pNotify, symbol, lServiceFlags);
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::UnadviseAll(IVokQuotesNotify* pNotify) {
  return vok::ComGuard("CVokQuotes::UnadviseAll", [&] {
    vok::CCriticalSectionLock lock(m_objectLock);
    if (m_quoteHandler) m_quoteHandler->UnadviseAll(pNotify);
    if (m_tsHandler) m_tsHandler->UnadviseAll(pNotify);
    if (m_l2Handler) m_l2Handler->UnadviseAll(pNotify);
    if (m_optionsHandler) m_optionsHandler->UnadviseAll(pNotify);
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

// ---- Handlers ----

void CVokQuotes::CreateHandlers() {
  DestroyHandlers();
  m_quoteHandler.reset(new (std::nothrow) CQuoteHandler(this));
  m_tsHandler.reset(new (std::nothrow) CTSHandler(this));
  m_l2Handler.reset(new (std::nothrow) CL2Handler(this));
  m_optionsHandler.reset(new (std::nothrow) COptionsHandler(this));
  // A later handler that lists a type already taken replaces the earlier one.
  for (CHandler* handler : {static_cast<CHandler*>(m_quoteHandler.get()), static_cast<CHandler*>(m_tsHandler.get()),
                            static_cast<CHandler*>(m_l2Handler.get()), static_cast<CHandler*>(m_optionsHandler.get())}) {
    if (handler == nullptr) continue;
    for (char type : handler->MessageTypes()) m_typeMap[static_cast<unsigned char>(type)] = handler;
  }
}

void CVokQuotes::DestroyHandlers() {
  auto destroy = [this](auto& handler) {
    if (!handler) return;
    for (char type : handler->MessageTypes()) {
      CHandler*& slot = m_typeMap[static_cast<unsigned char>(type)];
      if (slot == handler.get()) slot = nullptr;
    }
    handler.reset();
  };
  destroy(m_quoteHandler);
  destroy(m_tsHandler);
  destroy(m_l2Handler);
  destroy(m_optionsHandler);
}

// ---- IHandlerHost ----

bool CVokQuotes::GetBorrowRate(const std::string& symbol, double& rate) {
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

vok::CCriticalSection& CVokQuotes::ConnectionLock() { return CQuoteClient::Lock(); }

bool CVokQuotes::ConnectionLoggedIn() {
  CQuoteClient* current = CQuoteClient::Current();
  return current != nullptr && current->State() == csLoggedIn;
}

void CVokQuotes::Send(const VOKMessage& message) {
  if (CQuoteClient* current = CQuoteClient::Current()) current->Send(message);
}

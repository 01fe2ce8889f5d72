// CVokQuotes, its COM surface: IDispatch from the type library, the cache-reading methods, the
// single quote, the borrow rate and underlier settings, the free-threaded marshaler, test mode
// and the one-call creation entry.
#include "service/vok_quotes.h"

#include <cstring>
#include <new>
#include <string>

#include "handlers/l2_handler.h"
#include "handlers/options_handler.h"
#include "handlers/quote_handler.h"
#include "handlers/ts_handler.h"
#include "platform/bstr.h"
#include "platform/thread.h"
#include "platform/wait_with_message_loop.h"
#include "records/vokquote.h"
#include "service/com_guard.h"
#include "service/free_threaded_marshaler.h"
#include "service/record_dispatch.h"
#include "service/single_quote_sink.h"
#include "service/symbol_rule.h"
#include "service/type_library.h"
#include "service/vokquote_create.h"
#include "vkdll/vkdll.h"

namespace {

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

// The first "-"-delimited token, leading dashes skipped: "+XYZ-270115-P-52.5" gives "+XYZ".
std::string Root(const std::string& symbol) {
  const std::size_t begin = symbol.find_first_not_of('-');
  if (begin == std::string::npos) return {};
  const std::size_t end = symbol.find('-', begin);
  return symbol.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

}  // namespace

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
    if (m_quoteHandler) m_quoteHandler->GetCachedQuote(symbol.Get(), pRec);
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
    if (symbol.Get()[0] == '+' && m_optionsHandler) m_optionsHandler->GetCachedOptionsRecord(symbol.Get(), pRec);
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::GetCachedAggregateLevel2Size(BSTR bstrSymbol, double dPrice, enumMarketSide side, LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = -1;
  return vok::ComGuard("CVokQuotes::GetCachedAggregateLevel2Size", [&] {
    vok::CBstr symbol;
    if (!NormalisedSymbol(bstrSymbol, symbol)) return E_INVALIDARG;
    if (m_l2Handler) *pVal = m_l2Handler->GetAggregateSize(symbol.Get(), dPrice, side);
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::GetSingleQuote(BSTR bstrSymbol, LONG lTimeout, QUOTERECORD* pRec) {
  if (pRec == nullptr) return E_POINTER;
  Clear(pRec);
  return vok::ComGuard("CVokQuotes::GetSingleQuote", [&] {
    vok::CBstr symbol;
    if (!NormalisedSymbol(bstrSymbol, symbol)) return E_INVALIDARG;
    if (m_quoteHandler) ::GetSingleQuote(*m_quoteHandler, symbol.Get(), lTimeout, pRec);
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
    }
    // Object lock, then the handler's lock; the maps lock is a leaf and is released first.
    if (m_quoteHandler) m_quoteHandler->SetBorrowRate(key, percentage);
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
    const std::string root = Root(text);
    vok::CCriticalSectionLock mapsLock(m_mapsLock);
    auto found = m_underlierMap.find(root);
    if (found != m_underlierMap.end()) *pVal = vok::CBstr::FromNarrow(found->second).Detach();
    return S_OK;
  });
}

STDMETHODIMP CVokQuotes::get_QuotePermissions(ULONGLONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_quotePermissions.load();
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
      // The periodic test operation of each handler, in member order.
      if (m_quoteHandler) m_quoteHandler->TestTick();
      if (m_tsHandler) m_tsHandler->TestTick();
      if (m_l2Handler) m_l2Handler->TestTick();
      if (m_optionsHandler) m_optionsHandler->TestTick();
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

extern "C" HRESULT VokQuotesCreate(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return vok::ComGuard("VokQuotesCreate", [&] { return CVokQuotes::CreateInstance(riid, object); });
}

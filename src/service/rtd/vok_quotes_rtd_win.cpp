// The real-time data server class: the host's arrays and variants in and out, the topic table
// between, and the host's callback released at ServerTerminate so nothing calls it afterwards.
#include "service/rtd/vok_quotes_rtd.h"

#include <new>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/bstr.h"
#include "service/com_guard.h"
#include "service/type_library.h"
#include "service/vok_quotes.h"
#include "vkdll/vkdll.h"

namespace {

// A VARIANT cleared when it goes.
struct CVariantHolder {
  VARIANT value;
  CVariantHolder() { ::VariantInit(&value); }
  ~CVariantHolder() { ::VariantClear(&value); }
  CVariantHolder(const CVariantHolder&) = delete;
  CVariantHolder& operator=(const CVariantHolder&) = delete;
};

// A SAFEARRAY destroyed unless handed on.
struct CSafeArrayHolder {
  SAFEARRAY* array = nullptr;
  ~CSafeArrayHolder() {
    if (array != nullptr) ::SafeArrayDestroy(array);
  }
  SAFEARRAY* Detach() { return std::exchange(array, nullptr); }
};

// The topic strings of one cell: a one-dimensional array of variants, each read as text. One
// string more than a topic takes is enough for the parser to refuse it.
bool ReadStrings(SAFEARRAY* array, std::vector<std::string>& strings) {
  if (array == nullptr || ::SafeArrayGetDim(array) != 1) return false;
  LONG lower = 0;
  LONG upper = -1;
  if (FAILED(::SafeArrayGetLBound(array, 1, &lower)) || FAILED(::SafeArrayGetUBound(array, 1, &upper))) return false;
  for (LONG i = lower; i <= upper && strings.size() <= vok::kMaxRtdTopicStrings; ++i) {
    CVariantHolder element;
    if (FAILED(::SafeArrayGetElement(array, &i, &element.value))) return false;
    if (element.value.vt != VT_BSTR && FAILED(::VariantChangeType(&element.value, &element.value, 0, VT_BSTR))) {
      return false;
    }
    strings.push_back(vok::CBstr::ToNarrow(element.value.bstrVal));
  }
  return true;
}

}  // namespace

HRESULT CVokQuotesRtd::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  CVokQuotesRtd* created = new (std::nothrow) CVokQuotesRtd();
  if (created == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = created->QueryInterface(riid, ppv);
  created->Release();
  return hr;
}

CVokQuotesRtd::~CVokQuotesRtd() { Terminate(); }

// ---- IUnknown ----

STDMETHODIMP CVokQuotesRtd::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IRtdServer) {
    *ppv = static_cast<IRtdServer*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CVokQuotesRtd::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CVokQuotesRtd::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

// ---- IDispatch ----

STDMETHODIMP CVokQuotesRtd::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  vok::CComPtr<ITypeInfo> info;
  *pctinfo = SUCCEEDED(vok::LibraryTypeInfo(IID_IRtdServer, info.Put())) ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CVokQuotesRtd::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  return vok::LibraryTypeInfo(IID_IRtdServer, ppTInfo);
}

STDMETHODIMP CVokQuotesRtd::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return vok::LibraryGetIDsOfNames(IID_IRtdServer, rgszNames, cNames, rgDispId);
}

STDMETHODIMP CVokQuotesRtd::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return vok::LibraryInvoke(IID_IRtdServer, static_cast<IRtdServer*>(this), dispIdMember, wFlags, pDispParams,
                            pVarResult, pExcepInfo, puArgErr);
}

// ---- IRtdServer ----

STDMETHODIMP CVokQuotesRtd::ServerStart(IRTDUpdateEvent* CallbackObject, LONG* pfRes) {
  if (pfRes == nullptr) return E_POINTER;
  *pfRes = 0;
  if (CallbackObject == nullptr) return E_POINTER;
  VOK_DCHECK_THREAD(m_thread);
  return vok::ComGuard("CVokQuotesRtd::ServerStart", [&] {
    if (m_table) {
      *pfRes = 1;
      return S_OK;
    }
    vok::CComPtr<IVokQuotes> quotes;
    const HRESULT hr = CVokQuotes::CreateInstance(IID_IVokQuotes, quotes.PutVoid());
    if (FAILED(hr)) return hr;
    m_callback = vok::CComPtr<IRTDUpdateEvent>(CallbackObject);
    // The table calls this only on this thread, and is gone before the callback is released.
    m_table = std::make_unique<vok::CRtdTopicTable>(quotes.Get(), [this] {
      if (m_callback) m_callback->UpdateNotify();
    });
    if (!m_table->Start()) {
      Terminate();
      return E_FAIL;
    }
    VOKTRACE_Write(VOKTRACE_INFO, "CVokQuotesRtd::ServerStart");
    *pfRes = 1;
    return S_OK;
  });
}

STDMETHODIMP CVokQuotesRtd::ConnectData(LONG TopicID, SAFEARRAY** Strings, VARIANT_BOOL* GetNewValues,
                                        VARIANT* pvarOut) {
  if (pvarOut == nullptr || GetNewValues == nullptr || Strings == nullptr) return E_POINTER;
  ::VariantInit(pvarOut);
  VOK_DCHECK_THREAD(m_thread);
  return vok::ComGuard("CVokQuotesRtd::ConnectData", [&] {
    if (!m_table) return E_UNEXPECTED;
    std::vector<std::string> strings;
    if (!ReadStrings(*Strings, strings)) return E_INVALIDARG;
    const vok::RtdValue value = m_table->Connect(TopicID, strings);
    // Without a value yet the host keeps what the cell showed (a saved workbook's value).
    *GetNewValues = std::holds_alternative<std::monostate>(value) ? VARIANT_FALSE : VARIANT_TRUE;
    return vok::RtdValueToVariant(value, pvarOut);
  });
}

STDMETHODIMP CVokQuotesRtd::RefreshData(LONG* TopicCount, SAFEARRAY** parrayOut) {
  if (TopicCount == nullptr || parrayOut == nullptr) return E_POINTER;
  *TopicCount = 0;
  *parrayOut = nullptr;
  VOK_DCHECK_THREAD(m_thread);
  return vok::ComGuard("CVokQuotesRtd::RefreshData", [&] {
    if (!m_table) return E_UNEXPECTED;
    m_table->TakeChanges(m_changes);
    // The host reads the array as (0 to 1, 0 to count - 1): row 0 the topic ids, row 1 the values.
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {static_cast<ULONG>(m_changes.size()), 0}};
    CSafeArrayHolder array;
    array.array = ::SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (array.array == nullptr) return E_OUTOFMEMORY;
    for (std::size_t i = 0; i < m_changes.size(); ++i) {
      LONG index[2] = {0, static_cast<LONG>(i)};
      CVariantHolder id;
      id.value.vt = VT_I4;
      id.value.lVal = m_changes[i].first;
      HRESULT hr = ::SafeArrayPutElement(array.array, index, &id.value);
      if (FAILED(hr)) return hr;
      index[0] = 1;
      CVariantHolder value;
      hr = vok::RtdValueToVariant(m_changes[i].second, &value.value);
      if (SUCCEEDED(hr)) hr = ::SafeArrayPutElement(array.array, index, &value.value);
      if (FAILED(hr)) return hr;
    }
    *TopicCount = static_cast<LONG>(m_changes.size());
    *parrayOut = array.Detach();
    return S_OK;
  });
}

STDMETHODIMP CVokQuotesRtd::DisconnectData(LONG TopicID) {
  VOK_DCHECK_THREAD(m_thread);
  return vok::ComGuard("CVokQuotesRtd::DisconnectData", [&] {
    if (m_table) m_table->Disconnect(TopicID);
    return S_OK;
  });
}

STDMETHODIMP CVokQuotesRtd::Heartbeat(LONG* pfRes) {
  if (pfRes == nullptr) return E_POINTER;
  VOK_DCHECK_THREAD(m_thread);
  *pfRes = m_table ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CVokQuotesRtd::ServerTerminate() {
  VOK_DCHECK_THREAD(m_thread);
  return vok::ComGuard("CVokQuotesRtd::ServerTerminate", [&] {
    if (m_table) VOKTRACE_Write(VOKTRACE_INFO, "CVokQuotesRtd::ServerTerminate");
    Terminate();
    return S_OK;
  });
}

void CVokQuotesRtd::Terminate() {
  // The table first: it unsubscribes and releases the service object, which disconnects; then
  // nothing is left that could call the host back.
  m_table.reset();
  m_callback.Reset();
  m_changes.clear();
}

// The connection-event sink: any library thread in, the session's handler out.
#include "event_sink.h"

#include <new>

namespace vok::py {

CComRef<CEventSink> CEventSink::Create(Handler handler) {
  CEventSink* sink = new (std::nothrow) CEventSink(std::move(handler));
  if (sink != nullptr) sink->AddRef();
  return CComRef<CEventSink>(sink);
}

STDMETHODIMP CEventSink::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IDispatch && riid != DIID__IVokQuotesEvents) return E_NOINTERFACE;
  *ppv = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CEventSink::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CEventSink::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;  // COM lifetime: the last reference owns the object
  return refs;
}

STDMETHODIMP CEventSink::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP CEventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  EEventKind kind;
  if (dispid == vok::dispid::OnConnect) {
    kind = EEventKind::Connect;
  } else if (dispid == vok::dispid::OnClose) {
    kind = EEventKind::Close;
  } else if (dispid == vok::dispid::OnLogonSucceed) {
    kind = EEventKind::LogonSucceed;
  } else {
    return DISP_E_MEMBERNOTFOUND;
  }
  std::int32_t code = 0;
  if (params != nullptr && params->cArgs >= 1 && params->rgvarg != nullptr && params->rgvarg[0].vt == VT_I4)
    code = params->rgvarg[0].lVal;
  try {
    m_handler(kind, code);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace vok::py

// The connection-event sink: any thread in, the main thread's mailbox out.
#include "event_sink.h"

#include <new>

namespace vok::cli {

CComPtr<CEventSink> CEventSink::Create(std::shared_ptr<CMailbox> mailbox, std::weak_ptr<SEventRelay> relay) {
  return CComPtr<CEventSink>(new (std::nothrow) CEventSink(std::move(mailbox), std::move(relay)));
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
  EConnectionEvent event;
  if (dispid == vok::dispid::OnConnect) {
    event = EConnectionEvent::Connect;
  } else if (dispid == vok::dispid::OnClose) {
    event = EConnectionEvent::Close;
  } else if (dispid == vok::dispid::OnLogonSucceed) {
    event = EConnectionEvent::LogonSucceed;
  } else {
    return DISP_E_MEMBERNOTFOUND;
  }
  long code = 0;
  if (params != nullptr && params->cArgs >= 1 && params->rgvarg != nullptr && params->rgvarg[0].vt == VT_I4)
    code = params->rgvarg[0].lVal;
  m_mailbox->Post([relay = m_relay, event, code] {
    if (const auto live = relay.lock(); live && live->listener != nullptr) live->listener->OnEvent(event, code);
  });
  return S_OK;
}

}  // namespace vok::cli

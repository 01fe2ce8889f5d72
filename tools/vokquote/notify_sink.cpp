// The data callback object of a vokquote session.
#include "notify_sink.h"

#include <new>

namespace vok::cli {

const char* EventName(EConnectionEvent event) {
  switch (event) {
    case EConnectionEvent::Connect:
      return "OnConnect";
    case EConnectionEvent::Close:
      return "OnClose";
    case EConnectionEvent::LogonSucceed:
      return "OnLogonSucceed";
  }
  return "";
}

CComPtr<CNotifySink> CNotifySink::Create(IQuoteListener* listener) {
  return CComPtr<CNotifySink>(new (std::nothrow) CNotifySink(listener));
}

STDMETHODIMP CNotifySink::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IVokQuotesNotify) return E_NOINTERFACE;
  *ppv = static_cast<IVokQuotesNotify*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CNotifySink::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CNotifySink::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;  // COM lifetime: the last reference owns the object
  return refs;
}

STDMETHODIMP CNotifySink::OnQuoteData(QUOTERECORD* pRec) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (pRec != nullptr && m_listener != nullptr) m_listener->OnQuote(*pRec);
  return S_OK;
}

STDMETHODIMP CNotifySink::OnLevel2Data(LEVEL2RECORD* pRec) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (pRec != nullptr && m_listener != nullptr) m_listener->OnLevel2(*pRec);
  return S_OK;
}

STDMETHODIMP CNotifySink::OnTSData(TSRECORD* pRec) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (pRec != nullptr && m_listener != nullptr) m_listener->OnTimeAndSales(*pRec);
  return S_OK;
}

STDMETHODIMP CNotifySink::OnOptionsData(OPTIONSRECORD* pRec) {
  VOK_CLI_DCHECK_THREAD(m_thread);
  if (pRec != nullptr && m_listener != nullptr) m_listener->OnOptions(*pRec);
  return S_OK;
}

}  // namespace vok::cli

// A stream's data callback: each record copied into the stream's queue.
#include "notify_sink.h"

#include <new>

namespace vok::py {

CComRef<CQueueNotifySink> CQueueNotifySink::Create(std::shared_ptr<CRecordQueue> queue) {
  CQueueNotifySink* sink = new (std::nothrow) CQueueNotifySink(std::move(queue));
  if (sink != nullptr) sink->AddRef();
  return CComRef<CQueueNotifySink>(sink);
}

STDMETHODIMP CQueueNotifySink::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IVokQuotesNotify) return E_NOINTERFACE;
  *ppv = static_cast<IVokQuotesNotify*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CQueueNotifySink::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CQueueNotifySink::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;  // COM lifetime: the last reference owns the object
  return refs;
}

template <class R>
HRESULT CQueueNotifySink::Take(const R* rec) {
  if (rec == nullptr) return E_POINTER;
  try {
    m_queue->Push(SBindingRecord::From(*rec));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

STDMETHODIMP CQueueNotifySink::OnQuoteData(QUOTERECORD* pRec) { return Take(pRec); }
STDMETHODIMP CQueueNotifySink::OnLevel2Data(LEVEL2RECORD* pRec) { return Take(pRec); }
STDMETHODIMP CQueueNotifySink::OnTSData(TSRECORD* pRec) { return Take(pRec); }
STDMETHODIMP CQueueNotifySink::OnOptionsData(OPTIONSRECORD* pRec) { return Take(pRec); }

}  // namespace vok::py

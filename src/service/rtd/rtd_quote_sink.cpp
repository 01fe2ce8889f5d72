// The server's callback and event sink: records straight to the table, events posted to its thread.
#include "service/rtd/rtd_quote_sink.h"

#include <new>

#include "service/com_guard.h"
#include "service/free_threaded_marshaler.h"
#include "service/rtd/rtd_topic_table.h"

namespace vok {

CComPtr<CRtdQuoteSink> CRtdQuoteSink::Create(std::weak_ptr<CRtdTopicTable*> table) {
  CComPtr<CRtdQuoteSink> sink = CComPtr<CRtdQuoteSink>::Attach(new (std::nothrow) CRtdQuoteSink(std::move(table)));
  // Without the marshaler the events still arrive, marshalled into the table's apartment.
  if (sink) CreateFreeThreadedMarshaler(static_cast<IVokQuotesNotify*>(sink.Get()), sink->m_marshaler.Put());
  return sink;
}

CRtdQuoteSink::CRtdQuoteSink(std::weak_ptr<CRtdTopicTable*> table)
    : m_table(std::move(table)), m_target(CurrentMessageTarget()) {}

STDMETHODIMP CRtdQuoteSink::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IVokQuotesNotify) {
    *ppv = static_cast<IVokQuotesNotify*>(this);
  } else if (riid == IID_IDispatch || riid == DIID__IVokQuotesEvents) {
    *ppv = static_cast<IDispatch*>(this);
  } else if (m_marshaler && IsMarshalerInterface(riid)) {
    return m_marshaler->QueryInterface(riid, ppv);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CRtdQuoteSink::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CRtdQuoteSink::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP CRtdQuoteSink::OnQuoteData(QUOTERECORD* pRec) {
  return ComGuard("CRtdQuoteSink::OnQuoteData", [&] {
    const std::shared_ptr<CRtdTopicTable*> table = m_table.lock();
    if (pRec != nullptr && table && *table != nullptr) (*table)->OnQuote(*pRec);
    return S_OK;
  });
}

STDMETHODIMP CRtdQuoteSink::OnLevel2Data(LEVEL2RECORD* pRec) {
  return ComGuard("CRtdQuoteSink::OnLevel2Data", [&] {
    const std::shared_ptr<CRtdTopicTable*> table = m_table.lock();
    if (pRec != nullptr && table && *table != nullptr) (*table)->OnLevel2(*pRec);
    return S_OK;
  });
}

STDMETHODIMP CRtdQuoteSink::OnTSData(TSRECORD*) { return S_OK; }

STDMETHODIMP CRtdQuoteSink::OnOptionsData(OPTIONSRECORD*) { return S_OK; }

STDMETHODIMP CRtdQuoteSink::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP CRtdQuoteSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo != nullptr) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CRtdQuoteSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP CRtdQuoteSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT*,
                                   EXCEPINFO*, UINT*) {
  LONG code = 0;
  if (pDispParams != nullptr && pDispParams->cArgs == 1 && pDispParams->rgvarg != nullptr &&
      pDispParams->rgvarg[0].vt == VT_I4) {
    code = pDispParams->rgvarg[0].lVal;
  }
  return ComGuard("CRtdQuoteSink::Invoke", [&] {
    // The weak pointer is copied here and locked there: the table lives and dies on its thread.
    std::weak_ptr<CRtdTopicTable*> table = m_table;
    m_target.PostCall([table = std::move(table), dispIdMember, code] {
      // Runs from the host's message loop, which must not see an exception either.
      ComGuard("CRtdTopicTable::OnConnectionEvent", [&] {
        const std::shared_ptr<CRtdTopicTable*> alive = table.lock();
        if (alive && *alive != nullptr) (*alive)->OnConnectionEvent(dispIdMember, code);
        return S_OK;
      });
    });
    return S_OK;
  });
}

}  // namespace vok

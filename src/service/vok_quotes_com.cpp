// CVokQuotes, its COM surface: IDispatch from the type library, the cache-reading methods, the
// single quote, the borrow rate and underlier settings, the free-threaded marshaler, test mode
// and the one-call creation entry. Placeholders until each is built.
#include "service/vok_quotes.h"

#include "records/vokquote.h"
#include "service/vokquote_create.h"

STDMETHODIMP CVokQuotes::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP CVokQuotes::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo != nullptr) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CVokQuotes::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP CVokQuotes::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return E_NOTIMPL;
}

STDMETHODIMP CVokQuotes::GetCachedQuote(BSTR, QUOTERECORD* pRec) {
  if (pRec == nullptr) return E_POINTER;
  return E_NOTIMPL;
}

STDMETHODIMP CVokQuotes::GetCachedOptionsRecord(BSTR, OPTIONSRECORD* pRec) {
  if (pRec == nullptr) return E_POINTER;
  return E_NOTIMPL;
}

STDMETHODIMP CVokQuotes::GetCachedAggregateLevel2Size(BSTR, double, enumMarketSide, LONG* pVal) {
  if (pVal != nullptr) *pVal = -1;
  return E_NOTIMPL;
}

STDMETHODIMP CVokQuotes::GetSingleQuote(BSTR, LONG, QUOTERECORD* pRec) {
  if (pRec == nullptr) return E_POINTER;
  return E_NOTIMPL;
}

STDMETHODIMP CVokQuotes::SetNegBorrowPct(BSTR, double) { return E_NOTIMPL; }

STDMETHODIMP CVokQuotes::GetUnderlier(BSTR, BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CVokQuotes::get_QuotePermissions(ULONGLONG* pVal) {
  *pVal = m_quotePermissions.load();
  return S_OK;
}

HRESULT CVokQuotes::CreateMarshaler() { return S_OK; }

void CVokQuotes::ReleaseMarshaler() { m_marshaler.Reset(); }

bool CVokQuotes::QueryMarshaler(REFIID, void**) { return false; }

void CVokQuotes::StartTestMode() {}

void CVokQuotes::StopTestMode() {}

extern "C" HRESULT VokQuotesCreate(REFIID riid, void** object) { return CVokQuotes::CreateInstance(riid, object); }

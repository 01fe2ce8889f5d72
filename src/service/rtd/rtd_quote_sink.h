// CRtdQuoteSink: the real-time data server's ear on its service object. It is the callback of the
// server's subscriptions (IVokQuotesNotify: level 1 and level 2 records, on the subscribing thread)
// and the sink of the service's connection events (_IVokQuotesEvents through IDispatch). Events
// are fired on the service's pump thread, so the sink posts them to the table's thread; it
// aggregates the free-threaded marshaler so that they reach it there directly.
//
// Threads: data callbacks and the posted events run on the table's thread; Invoke on any.
#pragma once

#include <atomic>
#include <memory>

#include "platform/com.h"
#include "platform/com_ptr.h"
#include "platform/message_loop.h"
#include "records/vokquote.h"

namespace vok {

class CRtdTopicTable;

class CRtdQuoteSink final : public IVokQuotesNotify, public IDispatch {
 public:
  // Created on the table's thread; `table` goes empty when the table closes.
  static CComPtr<CRtdQuoteSink> Create(std::weak_ptr<CRtdTopicTable*> table);

  // IUnknown (the identity is the IVokQuotesNotify one)
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // IVokQuotesNotify
  STDMETHOD(OnQuoteData)(QUOTERECORD* pRec) override;
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD* pRec) override;
  STDMETHOD(OnTSData)(TSRECORD* pRec) override;
  STDMETHOD(OnOptionsData)(OPTIONSRECORD* pRec) override;

  // IDispatch: the connection events by DISPID; no type information.
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  STDMETHOD(Invoke)
  (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

 private:
  explicit CRtdQuoteSink(std::weak_ptr<CRtdTopicTable*> table);
  ~CRtdQuoteSink() = default;
  CRtdQuoteSink(const CRtdQuoteSink&) = delete;
  CRtdQuoteSink& operator=(const CRtdQuoteSink&) = delete;

  std::atomic<ULONG> m_refs{1};
  const std::weak_ptr<CRtdTopicTable*> m_table;
  const CMessageTarget m_target;  // the table's thread
  CComPtr<IUnknown> m_marshaler;
};

}  // namespace vok

// CQueueNotifySink: the IVokQuotesNotify a stream hands to AdviseSymbol. The library calls it on
// the loop thread, from that thread's message loop; it copies each record into the stream's queue.
// Reference counted as COM requires; created with Create.
#pragma once

#include <atomic>
#include <memory>

#include <vokquote/records.h>

#include "com_ref.h"
#include "record_queue.h"

namespace vok::py {

class CQueueNotifySink final : public IVokQuotesNotify {
 public:
  static CComRef<CQueueNotifySink> Create(std::shared_ptr<CRecordQueue> queue);

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;
  STDMETHOD(OnQuoteData)(QUOTERECORD* pRec) override;
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD* pRec) override;
  STDMETHOD(OnTSData)(TSRECORD* pRec) override;
  STDMETHOD(OnOptionsData)(OPTIONSRECORD* pRec) override;

 private:
  explicit CQueueNotifySink(std::shared_ptr<CRecordQueue> queue) : m_queue(std::move(queue)) {}
  ~CQueueNotifySink() = default;
  template <class R>
  HRESULT Take(const R* rec);

  std::atomic<ULONG> m_refs{0};
  const std::shared_ptr<CRecordQueue> m_queue;
};

}  // namespace vok::py

// CNotifySink: vokquote's IVokQuotesNotify, the callback handed to AdviseSymbol. The component
// calls it on the subscribing (main) thread from that thread's message loop; it forwards each record
// to the listener until Detach. Reference counted as COM requires; created with Create.
#pragma once

#include <atomic>

#include "client_api.h"
#include "quote_listener.h"

namespace vok::cli {

class CNotifySink final : public IVokQuotesNotify {
 public:
  static CComPtr<CNotifySink> Create(IQuoteListener* listener);

  // No record reaches the listener after this.
  void Detach() {
    VOK_CLI_DCHECK_THREAD(m_thread);
    m_listener = nullptr;
  }

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;
  STDMETHOD(OnQuoteData)(QUOTERECORD* pRec) override;
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD* pRec) override;
  STDMETHOD(OnTSData)(TSRECORD* pRec) override;
  STDMETHOD(OnOptionsData)(OPTIONSRECORD* pRec) override;

 private:
  explicit CNotifySink(IQuoteListener* listener) : m_listener(listener) {}
  ~CNotifySink() = default;

  std::atomic<ULONG> m_refs{0};
  IQuoteListener* m_listener;  // main thread only
  CThreadChecker m_thread;
};

}  // namespace vok::cli

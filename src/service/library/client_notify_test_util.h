// The callback object of the library's client tests (Windows through COM, Linux through the shared
// library): counts what each service delivers, keeps the first symbols and the last level 2 price
// with a size, and notes a call on any thread but the one that made it. Lives on the test's stack,
// so its count never deletes it.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/thread.h"
#include "records/vokquote.h"

namespace vok::test {

class CClientNotify final : public IVokQuotesNotify {
 public:
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IVokQuotesNotify) return E_NOINTERFACE;
    *ppv = static_cast<IVokQuotesNotify*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override { return --m_refs; }
  STDMETHOD(OnQuoteData)(QUOTERECORD* rec) override { return Seen(0, rec->bstrSymbol); }
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD* rec) override {
    if (rec->lSize > 0) {
      m_l2Price = rec->dPrice;
      m_l2Side = rec->side;
    }
    return Seen(1, rec->bstrSymbol);
  }
  STDMETHOD(OnTSData)(TSRECORD* rec) override { return Seen(2, rec->bstrSymbol); }
  STDMETHOD(OnOptionsData)(OPTIONSRECORD* rec) override {
    if (m_optionSymbol.empty()) m_optionSymbol = CBstr::ToNarrow(rec->bstrSymbol);
    return Seen(3, rec->bstrUnderlier);
  }
  bool AllServices() const { return m_counts[0] > 0 && m_counts[1] > 0 && m_counts[2] > 0 && m_counts[3] > 0; }

  int m_counts[4] = {};
  std::vector<std::string> m_symbols[4];
  bool m_otherThread = false;
  double m_l2Price = 0;
  enumMarketSide m_l2Side = msBid;
  std::string m_optionSymbol;
  std::atomic<ULONG> m_refs{0};

 private:
  HRESULT Seen(int kind, BSTR symbol) {
    ++m_counts[kind];
    if (CurrentThreadId() != m_thread) m_otherThread = true;
    if (m_symbols[kind].size() < 4) m_symbols[kind].push_back(CBstr::ToNarrow(symbol));
    return S_OK;
  }
  const ThreadId m_thread = CurrentThreadId();
};

}  // namespace vok::test

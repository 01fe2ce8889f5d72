// CSingleQuoteSink and GetSingleQuote: one level 1 quote for a symbol without a standing
// subscription. A short-lived private sink is advised on the level 1 handler, the calling thread
// waits on the sink's event while it keeps pumping its own messages (that is how level 1 callbacks
// reach a subscriber), and the sink is unadvised again whatever happened.
// Threads: everything runs on the requesting thread; the sink is thread-affine and not shared.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com.h"
#include "platform/event.h"
#include "platform/thread_checker.h"
#include "records/vokquote.h"
#include "service/module_lock.h"

class CQuoteHandler;

class CSingleQuoteSink final : public IVokQuotesNotify {
 public:
  CSingleQuoteSink();
  CSingleQuoteSink(const CSingleQuoteSink&) = delete;
  CSingleQuoteSink& operator=(const CSingleQuoteSink&) = delete;

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // Sets the event for a quote that carries a bid, an ask or a last; an all-zero quote is a
  // subscription acknowledgement without prices and does not end the wait.
  STDMETHOD(OnQuoteData)(QUOTERECORD* pRec) override;
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD* pRec) override;
  STDMETHOD(OnTSData)(TSRECORD* pRec) override;
  STDMETHOD(OnOptionsData)(OPTIONSRECORD* pRec) override;

  // Advises itself on the handler for the symbol (taken as given), pumps the calling thread's
  // messages until a usable quote arrived or timeoutMs passed, unadvises, and returns 1 when pRec
  // was filled from the cache, else 0.
  int Wait(const OLECHAR* symbol, LONG timeoutMs, CQuoteHandler& handler, QUOTERECORD* pRec);

 private:
  ~CSingleQuoteSink();
  // Reads the cache after the event; 1 when pRec now holds the symbol's record.
  int ReadReceived(const std::string& symbol, const OLECHAR* wideSymbol, QUOTERECORD* pRec);

  ULONG m_refs = 0;  // one thread only: a plain count
  CQuoteHandler* m_handler = nullptr;
  vok::CEvent m_event{vok::EventReset::Auto, false};
  vok::CModuleLockHolder m_moduleLock;
  vok::CThreadChecker m_threadChecker;
};

// The level 1 handler's single-quote request. It lives in the service layer, over the handler's
// public calls, because the handlers may not depend on this layer (the sink holds a module lock).
// Answers from the cache at once when the symbol is cached (whatever timeoutMs is); otherwise runs
// a sink's Wait. pRec must be cleared (null strings) by the caller. Returns 1 when filled.
int GetSingleQuote(CQuoteHandler& handler, const OLECHAR* symbol, LONG timeoutMs, QUOTERECORD* pRec);

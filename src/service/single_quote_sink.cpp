// The single-quote request: a private level 1 sink and the wait that pumps the calling thread's
// messages until a usable quote has arrived or the time-out has passed.
#include "service/single_quote_sink.h"

#include <algorithm>
#include <new>

#include "handlers/quote_handler.h"
#include "platform/bstr.h"
#include "platform/message_loop.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "service/com_guard.h"
#include "vkdll/trace.h"
#include "vkdll/vkdll.h"

namespace {

std::string NarrowSymbol(const OLECHAR* symbol) {
  if (symbol == nullptr) return {};
  const auto* wide = reinterpret_cast<const vok::WideChar*>(symbol);
  return vok::NarrowFromWide(wide, std::char_traits<vok::WideChar>::length(wide));
}

}  // namespace

CSingleQuoteSink::CSingleQuoteSink() = default;

CSingleQuoteSink::~CSingleQuoteSink() {
  // No handler may keep a pointer to a sink that is gone, whatever path the request took.
  if (m_handler != nullptr) m_handler->UnadviseAll(this);
}

STDMETHODIMP CSingleQuoteSink::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IVokQuotesNotify) {
    *ppv = static_cast<IVokQuotesNotify*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CSingleQuoteSink::AddRef() {
  VOK_DCHECK_THREAD(m_threadChecker);
  return ++m_refs;
}

STDMETHODIMP_(ULONG) CSingleQuoteSink::Release() {
  VOK_DCHECK_THREAD(m_threadChecker);
  const ULONG refs = --m_refs;
  if (refs == 0) {
    // The destructor hands this to the handler once more; a stable count keeps that from
    // deleting the sink a second time.
    m_refs = 1;
    delete this;
  }
  return refs;
}

STDMETHODIMP CSingleQuoteSink::OnQuoteData(QUOTERECORD* pRec) {
  if (pRec == nullptr || pRec->bstrSymbol == nullptr) return S_OK;
  if (pRec->dBid == 0 && pRec->dAsk == 0 && pRec->dLast == 0) return S_OK;
  static_cast<void>(vok::ComGuard("CSingleQuoteSink::OnQuoteData", [&] {
    if (vok::TraceEnabled(VOKTRACE_DETAIL)) {
      VOKTRACE_Printf(VOKTRACE_DETAIL, "setting event for %s", vok::CBstr::ToNarrow(pRec->bstrSymbol).c_str());
    }
    return S_OK;
  }));
  m_event.Set();
  return S_OK;
}

STDMETHODIMP CSingleQuoteSink::OnLevel2Data(LEVEL2RECORD*) { return E_NOTIMPL; }
STDMETHODIMP CSingleQuoteSink::OnTSData(TSRECORD*) { return E_NOTIMPL; }
STDMETHODIMP CSingleQuoteSink::OnOptionsData(OPTIONSRECORD*) { return E_NOTIMPL; }

int CSingleQuoteSink::ReadReceived(const std::string& symbol, const OLECHAR* wideSymbol, QUOTERECORD* pRec) {
  VOKTRACE_Printf(VOKTRACE_INFO, "GetSingleQuote(%s): rec'd", symbol.c_str());
  return m_handler->GetCachedQuote(wideSymbol, pRec) ? 1 : 0;
}

int CSingleQuoteSink::Wait(const OLECHAR* wideSymbol, LONG timeoutMs, CQuoteHandler& handler, QUOTERECORD* pRec) {
  VOK_DCHECK_THREAD(m_threadChecker);
  const std::string symbol = NarrowSymbol(wideSymbol);
  VOKTRACE_Printf(VOKTRACE_INFO, "GetSingleQuote(%s): sending request %x", symbol.c_str(),
                  static_cast<unsigned>(vok::CurrentThreadId()));

  m_handler = &handler;
  handler.Advise(this, symbol, qsfLevelOne);

  // A 64-bit monotonic clock: start plus the time-out cannot wrap.
  const std::uint64_t deadline = vok::MonotonicMs() + static_cast<std::uint64_t>(std::max<LONG>(timeoutMs, 0));
  const vok::WaitHandle handles[] = {m_event.Handle()};
  int result = 0;
  bool received = false;
  bool waitEnded = false;
  while (!received && !waitEnded) {
    const std::uint64_t now = vok::MonotonicMs();
    if (now >= deadline) break;
    const std::uint32_t wait = vok::MsgWaitForAny(
        handles, static_cast<std::uint32_t>(std::min<std::uint64_t>(deadline - now, vok::kInfinite - 1)));
    if (wait == vok::kWaitObject0) {
      received = true;
    } else if (wait == std::size(handles)) {
      // Input: dispatch it (our own callbacks arrive this way), testing the event after each batch.
      while (vok::MonotonicMs() < deadline && vok::PumpMessages() > 0) {
        if (vok::WaitForOne(m_event.Handle(), 0) == vok::kWaitObject0) {
          received = true;
          break;
        }
      }
      // The host asked its thread to quit: the pump left the request for the host's own loop, and
      // waiting on would only spin until the time-out.
      if (!received && vok::QuitPending()) {
        VOKTRACE_Printf(VOKTRACE_STATE, "GetSingleQuote(%s): quit requested", symbol.c_str());
        waitEnded = true;
      }
    } else if (wait == vok::kWaitTimeout) {
      VOKTRACE_Printf(VOKTRACE_STATE, "GetSingleQuote(%s): WAIT_TIMEOUT", symbol.c_str());
      waitEnded = true;
    } else if (wait == vok::kWaitFailed) {
      VOKTRACE_Printf(VOKTRACE_FAILURE, "GetSingleQuote(%s): WAIT FAILED[%x]", symbol.c_str(), wait);
      waitEnded = true;
    } else {
      VOKTRACE_Printf(VOKTRACE_STATE, "GetSingleQuote(%s): request failed[%x]", symbol.c_str(), wait);
      waitEnded = true;
    }
  }

  if (received) result = ReadReceived(symbol, wideSymbol, pRec);
  if (result != 0) {
    result = pRec->bstrSymbol != nullptr ? 1 : 0;
    VOKTRACE_Printf(VOKTRACE_INFO, "GetSingleQuote(%s): OK b=%g a=%g", symbol.c_str(), pRec->dBid, pRec->dAsk);
  } else if (vok::MonotonicMs() >= deadline) {
    VOKTRACE_Printf(VOKTRACE_STATE, "GetSingleQuote(%s): timed out while waiting for response", symbol.c_str());
  }
  handler.Unadvise(this, symbol, qsfLevelOne);
  return result;
}

int GetSingleQuote(CQuoteHandler& handler, const OLECHAR* symbol, LONG timeoutMs, QUOTERECORD* pRec) {
  if (handler.GetCachedQuote(symbol, pRec) && pRec->bstrSymbol != nullptr) return 1;
  auto* sink = new (std::nothrow) CSingleQuoteSink();
  if (sink == nullptr) return 0;
  // The sink is reference counted like every COM object: this reference is its only owner.
  sink->AddRef();
  const int result = sink->Wait(symbol, timeoutMs, handler, pRec);
  sink->Release();
  return result;
}

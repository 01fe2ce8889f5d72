// A minimal VokQuote client: creates the quote service object, logs on to a quote server,
// subscribes level 1 quotes for some symbols, prints each update as it arrives on this thread,
// asks for one single quote, and shuts down. Builds on Linux (libvokquote.so) and Windows
// (VokQuote.dll); the callbacks run from this thread's message loop, so the program pumps it.
//
//   quote_client HOST:PORT USER PASSWORD SECONDS SYMBOL...
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/interface_table.h"
#include "platform/message_loop.h"
#include "records/vokquote.h"
#include "service/vokquote_create.h"

namespace {

// Prints level 1 updates. The record belongs to the component and is valid only during the call.
class CPrintingNotify final : public IVokQuotesNotify {
 public:
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = riid == IID_IUnknown || riid == IID_IVokQuotesNotify ? this : nullptr;
    return *ppv != nullptr ? S_OK : E_NOINTERFACE;
  }
  // Lives on main's stack for the whole program.
  STDMETHOD_(ULONG, AddRef)() override { return 2; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(OnQuoteData)(QUOTERECORD* rec) override {
    std::printf("%-8s bid %10.4f  ask %10.4f  last %10.4f  volume %ld\n", vok::CBstr::ToNarrow(rec->bstrSymbol).c_str(),
                rec->dBid, rec->dAsk, rec->dLast, static_cast<long>(rec->lVolume));
    std::fflush(stdout);
    return S_OK;
  }
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD*) override { return S_OK; }
  STDMETHOD(OnTSData)(TSRECORD*) override { return S_OK; }
  STDMETHOD(OnOptionsData)(OPTIONSRECORD*) override { return S_OK; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: %s HOST:PORT USER PASSWORD SECONDS SYMBOL...\n", argv[0]);
    return 2;
  }
  // Callbacks come back to this thread through its message loop.
  vok::CComApartment apartment(vok::CComApartment::kSingleThreaded);

  vok::CComPtr<IVokQuotes> quotes;
  if (FAILED(VokQuotesCreate(IID_IVokQuotes, quotes.PutVoid()))) {
    std::fprintf(stderr, "cannot create the quote service object\n");
    return 1;
  }
  vok::CComPtr<IVokQuotesPriv> settings;
  quotes.QueryInterface(IID_IVokQuotesPriv, settings);
  settings->SetRemoteAddress(vok::CBstr::FromNarrow(argv[1]).Get());
  settings->put_UserName(vok::CBstr::FromNarrow(argv[2]).Get());
  settings->put_Password(vok::CBstr::FromNarrow(argv[3]).Get());
  const int seconds = std::atoi(argv[4]);

  LONG started = 0;
  quotes->Connect(&started);

  // Subscriptions made before the logon are sent once it succeeds.
  CPrintingNotify notify;
  for (int i = 5; i < argc; ++i) quotes->AdviseSymbol(&notify, vok::CBstr::FromNarrow(argv[i]).Get(), qsfLevelOne);
  vok::RunMessageLoop(vok::WaitHandle{}, static_cast<std::uint32_t>(seconds) * 1000);

  enumConnectionState state = csDisconnected;
  quotes->get_ConnectionState(&state);
  vok::CBstr server;
  quotes->get_ServerName(server.Put());
  std::printf("connection state %d, server \"%s\"\n", static_cast<int>(state), server.ToNarrow().c_str());

  // One quote without a standing subscription, waiting at most 5 s.
  QUOTERECORD single{};
  quotes->GetSingleQuote(vok::CBstr::FromNarrow("IBM").Get(), 5000, &single);
  if (single.bstrSymbol != nullptr) {
    std::printf("single quote %s bid %.4f ask %.4f\n", vok::CBstr::ToNarrow(single.bstrSymbol).c_str(), single.dBid,
                single.dAsk);
  } else {
    std::printf("no single quote in time\n");
  }
  for (BSTR text : {single.bstrSymbol, single.bstrMarket, single.bstrCompany, single.bstrUnderlier}) {
    SysFreeString(text);
  }

  quotes->UnadviseAll(&notify);
  quotes->Disconnect();
  return state == csLoggedIn ? 0 : 1;
}

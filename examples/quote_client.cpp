// A minimal VokQuote client, written against the installed headers only: creates the quote service
// object, logs on to a quote server, subscribes level 1 quotes for some symbols, prints each update
// as it arrives on this thread, asks for one single quote, and shuts down. Builds on Linux
// (libvokquote.so) and Windows (VokQuote.dll); the callbacks run from this thread's message loop,
// so the program runs it while it waits.
//
//   quote_client HOST:PORT USER PASSWORD SECONDS SYMBOL...
#include <vokquote/vokquote.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// A BSTR owned for its scope. The arguments here are ASCII, so widening each byte is exact.
class CText {
 public:
  explicit CText(std::string_view text) {
    std::u16string wide(text.begin(), text.end());
    m_text = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
  }
  CText() = default;
  CText(const CText&) = delete;
  CText& operator=(const CText&) = delete;
  ~CText() { SysFreeString(m_text); }
  BSTR Get() const { return m_text; }
  BSTR* Put() {
    SysFreeString(m_text);
    m_text = nullptr;
    return &m_text;
  }

 private:
  BSTR m_text = nullptr;
};

std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; i < SysStringLen(text); ++i) out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  return out;
}

// An interface reference released at the end of its scope.
template <typename T>
class CRef {
 public:
  CRef() = default;
  CRef(const CRef&) = delete;
  CRef& operator=(const CRef&) = delete;
  ~CRef() {
    if (m_p != nullptr) m_p->Release();
  }
  T* operator->() const { return m_p; }
  void** PutVoid() { return reinterpret_cast<void**>(&m_p); }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  T* m_p = nullptr;
};

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
    std::printf("%-8s bid %10.4f  ask %10.4f  last %10.4f  volume %ld\n", Narrow(rec->bstrSymbol).c_str(), rec->dBid,
                rec->dAsk, rec->dLast, static_cast<long>(rec->lVolume));
    std::fflush(stdout);
    return S_OK;
  }
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD*) override { return S_OK; }
  STDMETHOD(OnTSData)(TSRECORD*) override { return S_OK; }
  STDMETHOD(OnOptionsData)(OPTIONSRECORD*) override { return S_OK; }
};

// Delivers this thread's callbacks for `seconds`.
void RunCallbacks(int seconds) {
#ifdef _WIN32
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
#else
  VokRunMessageLoop(-1, static_cast<uint32_t>(seconds) * 1000);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: %s HOST:PORT USER PASSWORD SECONDS SYMBOL...\n", argv[0]);
    return 2;
  }
#ifdef _WIN32
  // Callbacks come back to this thread, a single-threaded apartment, through its message loop.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
#endif
  std::printf("VokQuote %s\n", VokQuoteVersion());
  int status = 1;
  {
    CRef<IVokQuotes> quotes;
    CRef<IVokQuotesPriv> settings;
    if (FAILED(VokQuotesCreate(IID_IVokQuotes, quotes.PutVoid())) ||
        FAILED(quotes->QueryInterface(IID_IVokQuotesPriv, settings.PutVoid()))) {
      std::fprintf(stderr, "cannot create the quote service object\n");
      return 1;
    }
    settings->SetRemoteAddress(CText(argv[1]).Get());
    settings->put_UserName(CText(argv[2]).Get());
    settings->put_Password(CText(argv[3]).Get());

    LONG started = 0;
    quotes->Connect(&started);

    // Subscriptions made before the logon are sent once it succeeds.
    CPrintingNotify notify;
    for (int i = 5; i < argc; ++i) quotes->AdviseSymbol(&notify, CText(argv[i]).Get(), qsfLevelOne);
    RunCallbacks(std::atoi(argv[4]));

    enumConnectionState state = csDisconnected;
    quotes->get_ConnectionState(&state);
    CText server;
    quotes->get_ServerName(server.Put());
    std::printf("connection state %d, server \"%s\"\n", static_cast<int>(state), Narrow(server.Get()).c_str());

    // One quote without a standing subscription, waiting at most 5 s.
    QUOTERECORD single{};
    quotes->GetSingleQuote(CText("IBM").Get(), 5000, &single);
    if (single.bstrSymbol != nullptr) {
      std::printf("single quote %s bid %.4f ask %.4f\n", Narrow(single.bstrSymbol).c_str(), single.dBid, single.dAsk);
    } else {
      std::printf("no single quote in time\n");
    }
    for (BSTR text : {single.bstrSymbol, single.bstrMarket, single.bstrCompany, single.bstrUnderlier}) {
      SysFreeString(text);
    }

    quotes->UnadviseAll(&notify);
    quotes->Disconnect();
    status = state == csLoggedIn ? 0 : 1;
  }
#ifdef _WIN32
  CoUninitialize();
#endif
  return status;
}

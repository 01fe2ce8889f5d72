// libvokquote.so as a Linux client uses it: created with VokQuotesCreate or through the class
// factory, connected to the in-process quote server simulator, subscribed for all four services
// with callbacks pumped by the client's own message loop, the caches, the single quote, the private
// settings, late-bound calls, events, registration in the class registry file, and unloading.
#include <gtest/gtest.h>
#include <vokquote/api.h>
#include <vokquote/version.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/class_registry.h"
#include "platform/com_ptr.h"
#include "platform/environment.h"
#include "platform/thread.h"
#include "quote_server.h"
#include "records/vokquote.h"
#include "service/library/client_notify_test_util.h"
#include "service/vokquote_create.h"
#include "vkdll/vkdll.h"

namespace {

using vok::CBstr;
using vok::CComPtr;

constexpr LONG kAllServices = qsfLevelOne | qsfLevelTwo | qsfTimeAndSales | qsfOptions;

// Pumps this thread's message loop in the library (which runs the callbacks) until done() holds;
// bounded. Events arrive on other threads without waking the loop, so it is looked at in slices.
bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs = 20000) {
  const std::uint64_t deadline = vok::MonotonicMs() + timeoutMs;
  while (!done()) {
    if (vok::MonotonicMs() >= deadline) return false;
    VokRunMessageLoop(-1, 10);
  }
  return true;
}

std::string Text(BSTR text) { return CBstr::ToNarrow(text); }

struct CQuote {
  QUOTERECORD rec{};
  ~CQuote() {
    for (BSTR text : {rec.bstrSymbol, rec.bstrMarket, rec.bstrCompany, rec.bstrUnderlier}) SysFreeString(text);
  }
};

using vok::test::CClientNotify;

// Events arrive on the firing thread (no apartments here).
class CEventSink final : public IDispatch {
 public:
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    *ppv = riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__IVokQuotesEvents ? this : nullptr;
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override { return --m_refs; }
  STDMETHOD(GetTypeInfoCount)(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHOD(Invoke)(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    LONG arg = -1;
    if (params != nullptr && params->cArgs == 1 && params->rgvarg[0].vt == VT_I4) arg = params->rgvarg[0].lVal;
    std::lock_guard lock(m_mutex);
    m_events.emplace_back(dispid, arg);
    return S_OK;
  }
  bool Has(DISPID dispid, LONG arg = -1) {
    std::lock_guard lock(m_mutex);
    for (auto [d, a] : m_events) {
      if (d == dispid && (arg == -1 || a == arg)) return true;
    }
    return false;
  }
  std::atomic<ULONG> m_refs{0};

 private:
  std::mutex m_mutex;
  std::vector<std::pair<DISPID, LONG>> m_events;
};

// Settings and the class registry file live in a folder of the test's own.
class VokQuoteLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder =
        std::filesystem::temp_directory_path() / ("vokquote_library_" + std::to_string(vok::CurrentThreadId()) + "_" +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_folder);
    vok::SetEnvironmentValue("XDG_CONFIG_HOME", m_folder.string().c_str());
    vok::SetEnvironmentValue("VOKQUOTE_CONFIG", (m_folder / "vokquote.ini").string().c_str());
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }

  // A simulator that knows the test user, and a connected, logged-in service object.
  void StartServer() {
    vok::sim::SServerOptions options;
    char transformed[65] = {};
    VOK_TransformPassword("vokpass", transformed);
    options.users["vokuser"] = transformed;
    options.rate = 20;
    options.seed = 11;
    m_server = std::make_unique<vok::sim::CQuoteServer>(options);
    ASSERT_TRUE(m_server->Start());
  }
  void CreateAndConnect() {
    ASSERT_EQ(VokQuotesCreate(IID_IVokQuotes, m_quotes.PutVoid()), S_OK);
    ASSERT_EQ(m_quotes.QueryInterface(IID_IVokQuotesPriv, m_priv), S_OK);
    const std::string address = "127.0.0.1:" + std::to_string(m_server->Port());
    EXPECT_EQ(m_priv->SetRemoteAddress(CBstr::FromNarrow(address).Get()), S_OK);
    EXPECT_EQ(m_priv->put_UserName(CBstr::FromNarrow("  vokuser ").Get()), S_OK);
    EXPECT_EQ(m_priv->put_Password(CBstr::FromNarrow("vokpass").Get()), S_OK);

    CComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(m_quotes.QueryInterface(IID_IConnectionPointContainer, container), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(DIID__IVokQuotesEvents, m_point.Put()), S_OK);
    ASSERT_EQ(m_point->Advise(&m_events, &m_cookie), S_OK);
    LONG result = 0;
    ASSERT_EQ(m_quotes->Connect(&result), S_OK);
    EXPECT_EQ(result, 10035);
    ASSERT_TRUE(PumpUntil([&] { return m_events.Has(vok::dispid::OnLogonSucceed); }));
    EXPECT_TRUE(m_events.Has(vok::dispid::OnConnect, 0));
  }
  void Release() {
    if (m_point) {
      EXPECT_EQ(m_point->Unadvise(m_cookie), S_OK);
    }
    m_point = nullptr;
    m_priv = nullptr;
    m_quotes = nullptr;
  }

  std::filesystem::path m_folder;
  std::unique_ptr<vok::sim::CQuoteServer> m_server;
  CComPtr<IVokQuotes> m_quotes;
  CComPtr<IVokQuotesPriv> m_priv;
  CComPtr<IConnectionPoint> m_point;
  CEventSink m_events;
  DWORD m_cookie = 0;
};

TEST_F(VokQuoteLibrary, AClientConnectsSubscribesAllServicesReadsTheCachesAndReleases) {
  StartServer();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  CreateAndConnect();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // a live object holds the library
  ASSERT_TRUE(m_server->WaitForLogons(1, 5000));
  EXPECT_EQ(m_server->Session(1).user, "vokuser");

  enumConnectionState state = csDisconnected;
  EXPECT_EQ(m_quotes->get_ConnectionState(&state), S_OK);
  EXPECT_EQ(state, csLoggedIn);
  CBstr name;
  EXPECT_EQ(m_quotes->get_ServerName(name.Put()), S_OK);
  EXPECT_EQ(name.ToNarrow(), "VokSim");
  ULONGLONG permissions = 0;
  EXPECT_EQ(m_priv->get_QuotePermissions(&permissions), S_OK);
  EXPECT_EQ(permissions, 0xFFFFu);

  CClientNotify notify;
  ASSERT_EQ(m_quotes->AdviseSymbol(&notify, CBstr::FromNarrow(" msft\t").Get(), kAllServices), S_OK);
  ASSERT_TRUE(
      PumpUntil([&] { return notify.AllServices() && !notify.m_optionSymbol.empty() && notify.m_l2Price > 0; }));
  EXPECT_FALSE(notify.m_otherThread);
  for (int kind = 0; kind < 4; ++kind) EXPECT_EQ(notify.m_symbols[kind].front(), "MSFT") << kind;
  EXPECT_TRUE(m_server->WaitForLine(1, "H|", 2000));

  CQuote cached;
  ASSERT_EQ(m_quotes->GetCachedQuote(CBstr::FromNarrow("msft").Get(), &cached.rec), S_OK);
  EXPECT_EQ(Text(cached.rec.bstrSymbol), "MSFT");
  EXPECT_GT(cached.rec.dBid, 0);

  LONG aggregate = 0;
  EXPECT_EQ(m_quotes->GetCachedAggregateLevel2Size(CBstr::FromNarrow("MSFT").Get(), notify.m_l2Price, notify.m_l2Side,
                                                   &aggregate),
            S_OK);
  EXPECT_GT(aggregate, 0);

  OPTIONSRECORD option{};
  EXPECT_EQ(m_quotes->GetCachedOptionsRecord(CBstr::FromNarrow(notify.m_optionSymbol).Get(), &option), S_OK);
  EXPECT_EQ(Text(option.bstrSymbol), notify.m_optionSymbol);
  EXPECT_EQ(Text(option.bstrUnderlier), "MSFT");
  SysFreeString(option.bstrSymbol);
  SysFreeString(option.bstrUnderlier);

  // The option root's underlier was learnt from the chain; leading dashes are skipped.
  CBstr underlier;
  EXPECT_EQ(m_priv->GetUnderlier(CBstr::FromNarrow(notify.m_optionSymbol).Get(), underlier.Put()), S_OK);
  EXPECT_EQ(underlier.ToNarrow(), "MSFT");
  const std::string root = notify.m_optionSymbol.substr(0, notify.m_optionSymbol.find('-'));
  EXPECT_EQ(m_priv->GetUnderlier(CBstr::FromNarrow("--" + root + "-X").Get(), underlier.Put()), S_OK);
  EXPECT_EQ(underlier.ToNarrow(), "MSFT");
  EXPECT_EQ(m_priv->GetUnderlier(CBstr::FromNarrow("+NOPE-1").Get(), underlier.Put()), S_OK);
  EXPECT_EQ(underlier.Get(), nullptr);

  // A single quote for an uncached symbol subscribes, answers and unsubscribes again.
  CQuote single;
  ASSERT_EQ(m_quotes->GetSingleQuote(CBstr::FromNarrow("IBM").Get(), 15000, &single.rec), S_OK);
  EXPECT_EQ(Text(single.rec.bstrSymbol), "IBM");
  EXPECT_TRUE(single.rec.dBid != 0 || single.rec.dAsk != 0 || single.rec.dLast != 0);
  EXPECT_TRUE(m_server->WaitForLine(1, "U|", 5000));

  // A cached symbol is answered at once even with no time at all, and nothing more is sent.
  const std::size_t linesBefore = m_server->ReceivedLines(1).size();
  CQuote fromCache;
  ASSERT_EQ(m_quotes->GetSingleQuote(CBstr::FromNarrow("MSFT").Get(), 0, &fromCache.rec), S_OK);
  EXPECT_EQ(Text(fromCache.rec.bstrSymbol), "MSFT");
  const std::vector<std::string> lines = m_server->ReceivedLines(1);
  for (std::size_t i = linesBefore; i < lines.size(); ++i) EXPECT_NE(lines[i][0], 'H') << lines[i];

  EXPECT_EQ(m_quotes->UnadviseAll(&notify), S_OK);
  EXPECT_EQ(notify.m_refs.load(), 0u);
  EXPECT_EQ(m_quotes->Disconnect(), S_OK);
  EXPECT_TRUE(m_events.Has(vok::dispid::OnClose, 0));
  EXPECT_EQ(m_quotes->get_ConnectionState(&state), S_OK);
  EXPECT_EQ(state, csDisconnected);

  Release();
  EXPECT_EQ(m_events.m_refs.load(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(VokQuoteLibrary, BorrowRatesChangeTheCachedFlagsOfTheExactSymbolOnce) {
  StartServer();
  CreateAndConnect();
  CClientNotify notify;
  ASSERT_EQ(m_quotes->AdviseSymbol(&notify, CBstr::FromNarrow("XYZ").Get(), qsfLevelOne), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return notify.m_counts[0] > 0; }));

  auto cachedFlags = [&] {
    CQuote cached;
    EXPECT_EQ(m_quotes->GetCachedQuote(CBstr::FromNarrow("XYZ").Get(), &cached.rec), S_OK);
    return std::make_pair(cached.rec.lFlags & 0x19, cached.rec.dNegBorrowPct);
  };
  // The lower-case spelling is another symbol: the cached record of XYZ does not change.
  EXPECT_EQ(m_priv->SetNegBorrowPct(CBstr::FromNarrow("xyz").Get(), 2.5), S_OK);
  EXPECT_EQ(cachedFlags(), std::make_pair(0, 0.0));
  EXPECT_EQ(m_priv->SetNegBorrowPct(CBstr::FromNarrow("XYZ").Get(), 2.5), S_OK);
  EXPECT_EQ(cachedFlags(), std::make_pair(0x19, 2.5));
  EXPECT_EQ(m_priv->SetNegBorrowPct(CBstr::FromNarrow("XYZ").Get(), 2.5), S_OK);
  EXPECT_EQ(cachedFlags(), std::make_pair(0x19, 2.5));
  EXPECT_EQ(m_priv->SetNegBorrowPct(CBstr::FromNarrow("XYZ").Get(), -1.0), S_OK);
  EXPECT_EQ(cachedFlags(), std::make_pair(0x09, 0.0));
  EXPECT_EQ(m_quotes->UnadviseAll(&notify), S_OK);
  Release();
}

// The C registration hands each notice's text and the caller's context to the handler.
TEST_F(VokQuoteLibrary, ServerNoticesReachTheHandlerRegisteredInC) {
  struct SNotices {
    std::mutex mutex;
    std::vector<std::string> texts;
  } notices;
  VokSetSuiteMessageHandler(
      [](const char* text, void* context) {
        auto* seen = static_cast<SNotices*>(context);
        std::lock_guard lock(seen->mutex);
        seen->texts.emplace_back(text);
      },
      &notices);
  StartServer();
  CreateAndConnect();
  m_server->Run(1, vok::sim::CScript().Notice("logged in elsewhere").Drop());
  ASSERT_TRUE(PumpUntil([&] { return m_events.Has(vok::dispid::OnClose); }));
  VokSetSuiteMessageHandler(nullptr, nullptr);
  std::lock_guard lock(notices.mutex);
  EXPECT_EQ(notices.texts, std::vector<std::string>{"logged in elsewhere"});
  Release();
}

TEST_F(VokQuoteLibrary, NullOutputsAreRefusedAndReturnedRecordsStartEmpty) {
  ASSERT_EQ(VokQuotesCreate(IID_IVokQuotes, m_quotes.PutVoid()), S_OK);
  ASSERT_EQ(m_quotes.QueryInterface(IID_IVokQuotesPriv, m_priv), S_OK);
  const CBstr symbol = CBstr::FromNarrow("ABC");
  EXPECT_EQ(m_quotes->GetCachedQuote(symbol.Get(), nullptr), E_POINTER);
  EXPECT_EQ(m_quotes->GetCachedOptionsRecord(symbol.Get(), nullptr), E_POINTER);
  EXPECT_EQ(m_quotes->GetSingleQuote(symbol.Get(), 0, nullptr), E_POINTER);
  EXPECT_EQ(m_priv->GetUnderlier(symbol.Get(), nullptr), E_POINTER);

  // Whatever the caller left in a record is cleared, also when nothing is found or the symbol is
  // refused (an empty one names nothing).
  const struct {
    const char* symbol;
    bool single;
  } rows[] = {{"ABC", false}, {"", false}, {nullptr, false}, {"ABC", true}, {"", true}};
  for (const auto& row : rows) {
    QUOTERECORD rec;
    std::memset(&rec, 0x5A, sizeof(rec));
    const CBstr text = row.symbol == nullptr ? CBstr() : CBstr::FromNarrow(row.symbol);
    const bool refused = row.symbol == nullptr || *row.symbol == '\0';
    EXPECT_EQ(row.single ? m_quotes->GetSingleQuote(text.Get(), 0, &rec) : m_quotes->GetCachedQuote(text.Get(), &rec),
              refused ? E_INVALIDARG : S_OK);
    QUOTERECORD zero{};
    EXPECT_EQ(std::memcmp(&rec, &zero, sizeof(rec)), 0) << (row.symbol ? row.symbol : "<null>") << row.single;
  }
  for (const char* text : {"ABC", "+ABC-1", ""}) {
    OPTIONSRECORD rec;
    std::memset(&rec, 0x5A, sizeof(rec));
    EXPECT_EQ(m_quotes->GetCachedOptionsRecord(CBstr::FromNarrow(text).Get(), &rec),
              *text == '\0' ? E_INVALIDARG : S_OK);
    OPTIONSRECORD zero{};
    EXPECT_EQ(std::memcmp(&rec, &zero, sizeof(rec)), 0) << text;
  }
  LONG size = 0;
  EXPECT_EQ(m_quotes->GetCachedAggregateLevel2Size(symbol.Get(), 10.0, msAsk, &size), S_OK);
  EXPECT_EQ(size, -1);
  Release();
}

TEST_F(VokQuoteLibrary, LateBoundCallsReachTheMembersByName) {
  CComPtr<IDispatch> object;
  ASSERT_EQ(VokQuotesCreate(IID_IDispatch, object.PutVoid()), S_OK);
  CComPtr<IVokQuotesPriv> priv;
  ASSERT_EQ(object.QueryInterface(IID_IVokQuotesPriv, priv), S_OK);
  EXPECT_EQ(priv->SetRemoteAddress(CBstr::FromNarrow("quotes.example:5021").Get()), S_OK);

  const struct {
    const char16_t* name;
    DISPID id;
  } names[] = {{u"connectionstate", vok::dispid::ConnectionState},
               {u"ServerName", vok::dispid::ServerName},
               {u"RemoteAddress", vok::dispid::RemoteAddress},
               {u"Disconnect", vok::dispid::Disconnect},
               {u"GetSingleQuote", vok::dispid::GetSingleQuote}};
  for (const auto& row : names) {
    LPOLESTR text[] = {const_cast<LPOLESTR>(row.name)};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, text, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, row.id);
  }
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Reboot")};
  DISPID id = 0;
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);

  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  ASSERT_EQ(
      object->Invoke(vok::dispid::RemoteAddress, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr),
      S_OK);
  ASSERT_EQ(value.vt, VT_BSTR);
  EXPECT_EQ(Text(value.bstrVal), "quotes.example");
  VariantClear(&value);
  ASSERT_EQ(
      object->Invoke(vok::dispid::ConnectionState, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr),
      S_OK);
  EXPECT_EQ(value.vt, VT_I4);
  EXPECT_EQ(value.lVal, csDisconnected);
  LONG port = 0;
  EXPECT_EQ(priv->get_Port(&port), S_OK);
  EXPECT_EQ(port, 5021);
}

TEST_F(VokQuoteLibrary, TheClassFactoryCreatesAndLocksAndRegistrationWritesTheClassRegistry) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(IID_IVokQuotes, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  CComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_VokQuotes, IID_IClassFactory, factory.PutVoid()), S_OK);
  CComPtr<IClassFactory> again;
  ASSERT_EQ(DllGetClassObject(CLSID_VokQuotes, IID_IClassFactory, again.PutVoid()), S_OK);
  EXPECT_EQ(factory.Get(), again.Get());  // created once, cached

  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  CComPtr<IVokQuotes> quotes;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVokQuotes, quotes.PutVoid()), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  quotes = nullptr;
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  CEventSink outer;
  // Aggregated: only the inner unknown may be asked for, and it keeps the library loaded.
  void* refused = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IVokQuotes, &refused), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(refused, nullptr);
  CComPtr<IUnknown> inner;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.PutVoid()), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  inner = nullptr;
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  const std::string classKey = "CLSID\\{466E9EDA-E060-41BE-B14F-8DA1CAB8ECEF}";
  auto read = [](const std::string& key, const char* name = "") {
    std::string data;
    return vok::ReadClassValue(key, name, data) ? data : "<missing>";
  };
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(read("Vokhaldex.VokQuotes.1\\CLSID"), "{466E9EDA-E060-41BE-B14F-8DA1CAB8ECEF}");
    EXPECT_EQ(read("Vokhaldex.VokQuotes\\CurVer"), "Vokhaldex.VokQuotes.1");
    EXPECT_EQ(read(classKey), "VokQuotes Class");
    EXPECT_EQ(read(classKey + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_TRUE(read(classKey + "\\InprocServer32").ends_with("/libvokquote.so." VOKQUOTE_VERSION_STRING))
        << read(classKey + "\\InprocServer32");
    EXPECT_EQ(read(classKey + "\\TypeLib"), "{9E35848E-CBB2-4A29-881A-6944BBE593D5}");
    EXPECT_EQ(read("TypeLib\\{9E35848E-CBB2-4A29-881A-6944BBE593D5}\\2.0"), "VOKQUOTELib");
  }
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  for (const std::string& key :
       {std::string("Vokhaldex.VokQuotes.1"), std::string("Vokhaldex.VokQuotes\\CurVer"), classKey,
        classKey + "\\InprocServer32", std::string("TypeLib\\{9E35848E-CBB2-4A29-881A-6944BBE593D5}\\2.0")}) {
    EXPECT_EQ(read(key), "<missing>") << key;
  }
}

}  // namespace

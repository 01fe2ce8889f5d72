// VokQuote.dll as a real client sees it, under Wine: registered with regsvr32, created by ProgID
// through CoCreateInstance on a single-threaded apartment thread that pumps its messages,
// connected to the quote server simulator, subscribed for all four services, events through the
// connection point, the event interface found the way a script host finds it, registration keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "records/vokquote.h"
#include "service/library/client_notify_test_util.h"
#include "service/library/dll_registration_win_test_util.h"
#include "service/simulator_endpoint_test_util.h"

namespace {

using vok::CBstr;
using vok::CComPtr;

const wchar_t* const kClassKey = L"CLSID\\{466E9EDA-E060-41BE-B14F-8DA1CAB8ECEF}";

using vok::test::DllPath;
using vok::test::PumpUntil;
using vok::test::RunRegsvr32;

std::wstring ReadKey(const std::wstring& key, const wchar_t* name = nullptr) {
  wchar_t data[1024] = {};
  DWORD size = sizeof(data);
  if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  return data;
}

bool KeyExists(const std::wstring& key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  ::RegCloseKey(opened);
  return true;
}

using DllEntry = HRESULT(STDAPICALLTYPE*)();

DllEntry FindExport(HMODULE dll, const char* name) {
  return reinterpret_cast<DllEntry>(reinterpret_cast<void*>(::GetProcAddress(dll, name)));
}

HRESULT CallDllExport(const char* name) {
  HMODULE dll = ::GetModuleHandleW(L"VokQuote.dll");
  if (dll == nullptr) return E_HANDLE;
  DllEntry entry = FindExport(dll, name);
  return entry == nullptr ? E_NOTIMPL : entry();
}

// The client's callback object: what arrived for each service, and on which thread.
using vok::test::CClientNotify;

// An event sink answering IDispatch and the events dispinterface.
class CEventSink final : public IDispatch {
 public:
  explicit CEventSink(const IID& events) : m_events(events) {}
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != m_events) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
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
    m_events_seen.push_back({dispid, arg, ::GetCurrentThreadId()});
    return S_OK;
  }

  struct Event {
    DISPID dispid;
    LONG arg;
    DWORD thread;
  };
  std::vector<Event> Events() {
    std::lock_guard lock(m_mutex);
    return m_events_seen;
  }
  bool Has(DISPID dispid, LONG arg = -1) {
    for (const Event& e : Events()) {
      if (e.dispid == dispid && (arg == -1 || e.arg == arg)) return true;
    }
    return false;
  }
  std::atomic<ULONG> m_refs{0};

 private:
  const IID m_events;
  std::mutex m_mutex;
  std::vector<Event> m_events_seen;
};

// Every test runs on this thread, a single-threaded apartment, with the DLL registered.
class CDllEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(RunRegsvr32(L"\"" + DllPath() + L"\""), 0u);
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { ::CoUninitialize(); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new CDllEnvironment);

TEST(VokQuoteDll, RegistersOneConsistentSetOfKeysAndRemovesWhatItWrote) {
  HMODULE dll = ::LoadLibraryW(DllPath().c_str());
  ASSERT_NE(dll, nullptr);
  DllEntry registerServer = FindExport(dll, "DllRegisterServer");
  DllEntry unregisterServer = FindExport(dll, "DllUnregisterServer");
  ASSERT_NE(registerServer, nullptr);
  ASSERT_NE(unregisterServer, nullptr);
  const std::wstring classKey = kClassKey;

  // A leftover below the class key from some older registration is replaced, not merged.
  HKEY stale = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, (classKey + L"\\Stale").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &stale, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(stale);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(registerServer(), S_OK);
    EXPECT_EQ(ReadKey(L"Vokhaldex.VokQuotes.1"), L"VokQuotes Class");
    EXPECT_EQ(ReadKey(L"Vokhaldex.VokQuotes.1\\CLSID"), L"{466E9EDA-E060-41BE-B14F-8DA1CAB8ECEF}");
    EXPECT_EQ(ReadKey(L"Vokhaldex.VokQuotes"), L"VokQuotes Class");
    EXPECT_EQ(ReadKey(L"Vokhaldex.VokQuotes\\CLSID"), L"{466E9EDA-E060-41BE-B14F-8DA1CAB8ECEF}");
    EXPECT_EQ(ReadKey(L"Vokhaldex.VokQuotes\\CurVer"), L"Vokhaldex.VokQuotes.1");
    EXPECT_EQ(ReadKey(classKey), L"VokQuotes Class");
    EXPECT_EQ(ReadKey(classKey + L"\\ProgID"), L"Vokhaldex.VokQuotes.1");
    EXPECT_EQ(ReadKey(classKey + L"\\VersionIndependentProgID"), L"Vokhaldex.VokQuotes");
    EXPECT_TRUE(KeyExists(classKey + L"\\Programmable"));
    EXPECT_EQ(ReadKey(classKey + L"\\InprocServer32"), DllPath());
    EXPECT_EQ(ReadKey(classKey + L"\\InprocServer32", L"ThreadingModel"), L"Both");
    EXPECT_EQ(ReadKey(classKey + L"\\TypeLib"), L"{9E35848E-CBB2-4A29-881A-6944BBE593D5}");
    EXPECT_FALSE(KeyExists(classKey + L"\\Stale"));
    CComPtr<ITypeLib> library;
    EXPECT_EQ(::LoadRegTypeLib(LIBID_VOKQUOTELib, 2, 0, LOCALE_NEUTRAL, library.Put()), S_OK);
  }

  ASSERT_EQ(unregisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(L"Vokhaldex.VokQuotes.1"));
  EXPECT_FALSE(KeyExists(L"Vokhaldex.VokQuotes"));
  EXPECT_FALSE(KeyExists(classKey));
  EXPECT_TRUE(KeyExists(L"CLSID"));
  CComPtr<ITypeLib> library;
  EXPECT_NE(::LoadRegTypeLib(LIBID_VOKQUOTELib, 2, 0, LOCALE_NEUTRAL, library.Put()), S_OK);
  CLSID clsid{};
  EXPECT_NE(::CLSIDFromProgID(L"Vokhaldex.VokQuotes", &clsid), S_OK);

  // The other tests need it registered again.
  ASSERT_EQ(registerServer(), S_OK);
  ::FreeLibrary(dll);
}

TEST(VokQuoteDll, AClientCreatesByProgIdConnectsSubscribesAllServicesAndReleases) {
  std::string host;
  int port = 0;
  ASSERT_TRUE(vok::test::ReadSimulatorEndpoint(host, port)) << "no simulator endpoint";

  CLSID clsid{};
  ASSERT_EQ(::CLSIDFromProgID(L"Vokhaldex.VokQuotes", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_VokQuotes);
  CComPtr<IVokQuotes> quotes;
  ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IVokQuotes, quotes.PutVoid()), S_OK);
  EXPECT_EQ(CallDllExport("DllCanUnloadNow"), S_FALSE);

  CComPtr<IVokQuotesPriv> priv;
  ASSERT_EQ(quotes.QueryInterface(IID_IVokQuotesPriv, priv), S_OK);
  EXPECT_EQ(priv->SetRemoteAddress(CBstr::FromNarrow(host + ":" + std::to_string(port)).Get()), S_OK);
  EXPECT_EQ(priv->put_UserName(CBstr::FromNarrow(vok::test::kSimulatorUser).Get()), S_OK);
  EXPECT_EQ(priv->put_Password(CBstr::FromNarrow(vok::test::kSimulatorPassword).Get()), S_OK);
  LONG port32 = 0;
  EXPECT_EQ(priv->get_Port(&port32), S_OK);
  EXPECT_EQ(port32, port);

  CComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(quotes.QueryInterface(IID_IConnectionPointContainer, container), S_OK);
  CComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID__IVokQuotesEvents, point.Put()), S_OK);
  CEventSink events(DIID__IVokQuotesEvents);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&events, &cookie), S_OK);
  EXPECT_EQ(cookie, 1u);

  LONG result = 0;
  ASSERT_EQ(quotes->Connect(&result), S_OK);
  EXPECT_EQ(result, 10035);
  ASSERT_TRUE(PumpUntil([&] { return events.Has(vok::dispid::OnLogonSucceed); }));
  EXPECT_TRUE(events.Has(vok::dispid::OnConnect, 0));
  for (const CEventSink::Event& e : events.Events()) EXPECT_EQ(e.thread, ::GetCurrentThreadId());
  enumConnectionState state = csDisconnected;
  EXPECT_EQ(quotes->get_ConnectionState(&state), S_OK);
  EXPECT_EQ(state, csLoggedIn);
  CBstr serverName;
  EXPECT_EQ(quotes->get_ServerName(serverName.Put()), S_OK);
  EXPECT_FALSE(serverName.Empty());
  ULONGLONG permissions = 0;
  EXPECT_EQ(priv->get_QuotePermissions(&permissions), S_OK);
  EXPECT_NE(permissions, 0u);

  CClientNotify notify;
  ASSERT_EQ(quotes->AdviseSymbol(&notify, CBstr::FromNarrow(" msft ").Get(),
                                 qsfLevelOne | qsfLevelTwo | qsfTimeAndSales | qsfOptions),
            S_OK);
  ASSERT_TRUE(PumpUntil([&] {
    return notify.m_counts[0] > 0 && notify.m_counts[1] > 0 && notify.m_counts[2] > 0 && notify.m_counts[3] > 0;
  }));
  EXPECT_FALSE(notify.m_otherThread);  // every callback on the thread that advised
  for (int kind = 0; kind < 4; ++kind) EXPECT_EQ(notify.m_symbols[kind].front(), "MSFT") << kind;

  QUOTERECORD quote{};
  ASSERT_EQ(quotes->GetCachedQuote(CBstr::FromNarrow("msft").Get(), &quote), S_OK);
  EXPECT_EQ(CBstr::ToNarrow(quote.bstrSymbol), "MSFT");
  EXPECT_GT(quote.dBid, 0);
  for (BSTR text : {quote.bstrSymbol, quote.bstrMarket, quote.bstrCompany, quote.bstrUnderlier}) ::SysFreeString(text);

  LONG aggregate = 0;
  ASSERT_GT(notify.m_l2Price, 0);
  EXPECT_EQ(quotes->GetCachedAggregateLevel2Size(CBstr::FromNarrow("MSFT").Get(), notify.m_l2Price, notify.m_l2Side,
                                                 &aggregate),
            S_OK);
  EXPECT_GT(aggregate, 0);
  EXPECT_EQ(quotes->GetCachedAggregateLevel2Size(CBstr::FromNarrow("NOPE").Get(), 1.0, msBid, &aggregate), S_OK);
  EXPECT_EQ(aggregate, -1);

  OPTIONSRECORD option{};
  ASSERT_FALSE(notify.m_optionSymbol.empty());
  EXPECT_EQ(quotes->GetCachedOptionsRecord(CBstr::FromNarrow(notify.m_optionSymbol).Get(), &option), S_OK);
  EXPECT_EQ(CBstr::ToNarrow(option.bstrSymbol), notify.m_optionSymbol);
  EXPECT_EQ(CBstr::ToNarrow(option.bstrUnderlier), "MSFT");
  ::SysFreeString(option.bstrSymbol);
  ::SysFreeString(option.bstrUnderlier);

  // A symbol nobody subscribed: subscribed for the request, answered, unsubscribed.
  QUOTERECORD single{};
  ASSERT_EQ(quotes->GetSingleQuote(CBstr::FromNarrow("IBM").Get(), 15000, &single), S_OK);
  EXPECT_EQ(CBstr::ToNarrow(single.bstrSymbol), "IBM");
  EXPECT_TRUE(single.dBid != 0 || single.dAsk != 0 || single.dLast != 0);
  for (BSTR text : {single.bstrSymbol, single.bstrMarket, single.bstrCompany, single.bstrUnderlier}) {
    ::SysFreeString(text);
  }

  EXPECT_EQ(quotes->UnadviseAll(&notify), S_OK);
  EXPECT_EQ(notify.m_refs.load(), 0u);
  EXPECT_EQ(quotes->Disconnect(), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return events.Has(vok::dispid::OnClose, 0); }));
  EXPECT_EQ(quotes->get_ConnectionState(&state), S_OK);
  EXPECT_EQ(state, csDisconnected);

  EXPECT_EQ(point->Unadvise(cookie), S_OK);
  point = nullptr;
  container = nullptr;
  priv = nullptr;
  quotes = nullptr;
  EXPECT_EQ(events.m_refs.load(), 0u);
  EXPECT_EQ(CallDllExport("DllCanUnloadNow"), S_OK);
}

TEST(VokQuoteDll, AScriptHostFindsTheEventInterfaceThroughTheTypeInfoAndHearsOnClose) {
  CComPtr<IDispatch> object;
  CLSID clsid{};
  ASSERT_EQ(::CLSIDFromProgID(L"Vokhaldex.VokQuotes.1", &clsid), S_OK);
  ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()), S_OK);

  // IDispatch -> type info -> containing library -> the coclass's default source interface.
  UINT count = 0;
  ASSERT_EQ(object->GetTypeInfoCount(&count), S_OK);
  ASSERT_EQ(count, 1u);
  CComPtr<ITypeInfo> info;
  ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), S_OK);
  CComPtr<ITypeLib> library;
  UINT index = 0;
  ASSERT_EQ(info->GetContainingTypeLib(library.Put(), &index), S_OK);
  CComPtr<ITypeInfo> coclass;
  ASSERT_EQ(library->GetTypeInfoOfGuid(clsid, coclass.Put()), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  const WORD implemented = attributes->cImplTypes;
  coclass->ReleaseTypeAttr(attributes);
  IID events = IID_NULL;
  for (UINT i = 0; i < implemented; ++i) {
    INT flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
    if ((flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) {
      continue;
    }
    HREFTYPE reference = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &reference), S_OK);
    CComPtr<ITypeInfo> source;
    ASSERT_EQ(coclass->GetRefTypeInfo(reference, source.Put()), S_OK);
    ASSERT_EQ(source->GetTypeAttr(&attributes), S_OK);
    events = attributes->guid;
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    source->ReleaseTypeAttr(attributes);
  }
  ASSERT_EQ(events, DIID__IVokQuotesEvents);

  CComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(object.QueryInterface(IID_IConnectionPointContainer, container), S_OK);
  CComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(events, point.Put()), S_OK);
  CEventSink sink(events);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

  // Late-bound calls by name, as a script makes them.
  auto idOf = [&](const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << name;
    return id;
  };
  const struct {
    const wchar_t* name;
    DISPID id;
  } names[] = {{L"Connect", 1},     {L"Disconnect", 5},     {L"ConnectionState", 11},
               {L"ServerName", 16}, {L"RemoteAddress", 17}, {L"GetSingleQuote", 14}};
  for (const auto& row : names) EXPECT_EQ(idOf(row.name), row.id);

  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  ::VariantInit(&value);
  ASSERT_EQ(object->Invoke(idOf(L"ConnectionState"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                           nullptr, nullptr),
            S_OK);
  EXPECT_EQ(value.vt, VT_I4);
  EXPECT_EQ(value.lVal, csDisconnected);
  ::VariantClear(&value);
  ASSERT_EQ(object->Invoke(idOf(L"RemoteAddress"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                           nullptr, nullptr),
            S_OK);
  EXPECT_EQ(value.vt, VT_BSTR);
  ::VariantClear(&value);
  ASSERT_EQ(object->Invoke(idOf(L"Disconnect"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                           nullptr),
            S_OK);
  ASSERT_TRUE(PumpUntil([&] { return sink.Has(vok::dispid::OnClose, 0); }));
  EXPECT_EQ(sink.Events().size(), 1u);
  EXPECT_EQ(point->Unadvise(cookie), S_OK);

  // The marshaler: the object is free-threaded, so it answers IMarshal.
  CComPtr<IMarshal> marshal;
  EXPECT_EQ(object.QueryInterface(IID_IMarshal, marshal), S_OK);
}

}  // namespace

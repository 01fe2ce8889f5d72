// The shipped library as a client uses it, one story built for both platforms: libvokquote.so on
// Linux, the registered VokQuote.dll under Wine (client_host_*_test_util.cpp tell how each creates,
// pumps and finds a server). Connected to the quote server simulator, subscribed for all four
// services with callbacks pumped by the client's own thread, the caches, the single quote, the
// private settings, events, late-bound calls, the class factory, registration and unloading.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/class_registry.h"
#include "platform/com_ptr.h"
#include "platform/thread.h"
#include "records/vokquote.h"
#include "service/event_sink_test_util.h"
#include "service/library/client_host_test_util.h"
#include "service/library/client_notify_test_util.h"
#include "service/simulator_endpoint_test_util.h"

namespace {

using vok::CBstr;
using vok::CComPtr;
using vok::test::CallLibrary;
using vok::test::CClientNotify;
using vok::test::PumpUntil;

std::string Text(BSTR text) { return CBstr::ToNarrow(text); }
CBstr Bstr(const std::string& text) { return CBstr::FromNarrow(text); }

struct CQuote {
  QUOTERECORD rec{};
  ~CQuote() {
    for (BSTR text : {rec.bstrSymbol, rec.bstrMarket, rec.bstrCompany, rec.bstrUnderlier}) SysFreeString(text);
  }
};

TEST(VokQuoteClient, ConnectsSubscribesAllServicesReadsTheCachesAndReleases) {
  const std::string address = vok::test::ServerAddress();
  ASSERT_FALSE(address.empty()) << "no simulator";
  CComPtr<IVokQuotes> quotes;
  ASSERT_EQ(vok::test::CreateVokQuotes(IID_IVokQuotes, quotes.PutVoid()), S_OK);
  CComPtr<IVokQuotesPriv> priv;
  ASSERT_EQ(quotes.QueryInterface(IID_IVokQuotesPriv, priv), S_OK);
  EXPECT_EQ(priv->SetRemoteAddress(Bstr(address).Get()), S_OK);
  EXPECT_EQ(priv->put_UserName(Bstr(std::string("  ") + vok::test::kSimulatorUser + " ").Get()), S_OK);
  EXPECT_EQ(priv->put_Password(Bstr(vok::test::kSimulatorPassword).Get()), S_OK);
  CComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(quotes.QueryInterface(IID_IConnectionPointContainer, container), S_OK);
  CComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID__IVokQuotesEvents, point.Put()), S_OK);
  CTestEventSink events;
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&events, &cookie), S_OK);

  LONG result = 0;
  ASSERT_EQ(quotes->Connect(&result), S_OK);
  EXPECT_EQ(result, 10035);
  ASSERT_TRUE(PumpUntil([&] { return events.Has(vok::dispid::OnLogonSucceed, -12345); }));
  EXPECT_TRUE(events.Has(vok::dispid::OnConnect, 0));
  if (vok::test::kEventsOnClientThread) {
    for (const auto& call : events.Calls()) EXPECT_EQ(call.thread, vok::CurrentThreadId());
  }
  enumConnectionState state = csDisconnected;
  EXPECT_EQ(quotes->get_ConnectionState(&state), S_OK);
  EXPECT_EQ(state, csLoggedIn);
  CBstr name;
  EXPECT_EQ(quotes->get_ServerName(name.Put()), S_OK);
  EXPECT_EQ(name.ToNarrow(), "VokSim");
  ULONGLONG permissions = 0;
  EXPECT_EQ(priv->get_QuotePermissions(&permissions), S_OK);
  EXPECT_EQ(permissions, 0xFFFFu);

  CClientNotify notify;
  ASSERT_EQ(
      quotes->AdviseSymbol(&notify, Bstr(" msft\t").Get(), qsfLevelOne | qsfLevelTwo | qsfTimeAndSales | qsfOptions),
      S_OK);
  ASSERT_TRUE(
      PumpUntil([&] { return notify.AllServices() && !notify.m_optionSymbol.empty() && notify.m_l2Price > 0; }));
  EXPECT_FALSE(notify.m_otherThread);  // every callback on the thread that advised
  for (int kind = 0; kind < 4; ++kind) EXPECT_EQ(notify.m_symbols[kind].front(), "MSFT") << kind;

  CQuote cached;
  ASSERT_EQ(quotes->GetCachedQuote(Bstr("msft").Get(), &cached.rec), S_OK);
  EXPECT_EQ(Text(cached.rec.bstrSymbol), "MSFT");
  EXPECT_GT(cached.rec.dBid, 0);
  // The level last seen with a size may have gone again since: looked at until one is in the cache.
  EXPECT_TRUE(PumpUntil([&] {
    LONG aggregate = 0;
    return quotes->GetCachedAggregateLevel2Size(Bstr("MSFT").Get(), notify.m_l2Price, notify.m_l2Side, &aggregate) ==
               S_OK &&
           aggregate > 0;
  }));
  OPTIONSRECORD option{};
  EXPECT_EQ(quotes->GetCachedOptionsRecord(Bstr(notify.m_optionSymbol).Get(), &option), S_OK);
  EXPECT_EQ(Text(option.bstrSymbol), notify.m_optionSymbol);
  EXPECT_EQ(Text(option.bstrUnderlier), "MSFT");
  SysFreeString(option.bstrSymbol);
  SysFreeString(option.bstrUnderlier);

  // The option root's underlier was learnt from the chain; leading dashes are skipped.
  CBstr underlier;
  EXPECT_EQ(priv->GetUnderlier(Bstr(notify.m_optionSymbol).Get(), underlier.Put()), S_OK);
  EXPECT_EQ(underlier.ToNarrow(), "MSFT");
  const std::string root = notify.m_optionSymbol.substr(0, notify.m_optionSymbol.find('-'));
  EXPECT_EQ(priv->GetUnderlier(Bstr("--" + root + "-X").Get(), underlier.Put()), S_OK);
  EXPECT_EQ(underlier.ToNarrow(), "MSFT");
  EXPECT_EQ(priv->GetUnderlier(Bstr("+NOPE-1").Get(), underlier.Put()), S_OK);
  EXPECT_EQ(underlier.Get(), nullptr);

  // A borrow rate reaches the cached record (its flag rules are the level 1 handler's test).
  EXPECT_EQ(priv->SetNegBorrowPct(Bstr("MSFT").Get(), 2.5), S_OK);
  CQuote borrowed;
  EXPECT_EQ(quotes->GetCachedQuote(Bstr("MSFT").Get(), &borrowed.rec), S_OK);
  EXPECT_EQ(borrowed.rec.lFlags & 0x19, 0x19);
  EXPECT_EQ(borrowed.rec.dNegBorrowPct, 2.5);

  // A single quote for an uncached symbol subscribes, answers and unsubscribes again.
  CQuote single;
  ASSERT_EQ(quotes->GetSingleQuote(Bstr("IBM").Get(), 15000, &single.rec), S_OK);
  EXPECT_EQ(Text(single.rec.bstrSymbol), "IBM");
  EXPECT_TRUE(single.rec.dBid != 0 || single.rec.dAsk != 0 || single.rec.dLast != 0);
  // Where the server's side is visible: the single quote unsubscribed again, and a cached symbol is
  // answered at once even with no time at all, with nothing more sent.
  auto sent = [](char kind) {
    std::size_t count = 0;
    for (const std::string& line : vok::test::ServerLines().value_or(std::vector<std::string>{}))
      count += line.size() > 1 && line[0] == kind && line[1] == '|' ? 1 : 0;
    return count;
  };
  EXPECT_TRUE(!vok::test::ServerLines() || PumpUntil([&] { return sent('U') == 1; }, 5000));
  const std::size_t subscribes = sent('H');
  CQuote fromCache;
  ASSERT_EQ(quotes->GetSingleQuote(Bstr("MSFT").Get(), 0, &fromCache.rec), S_OK);
  EXPECT_EQ(Text(fromCache.rec.bstrSymbol), "MSFT");
  EXPECT_EQ(sent('H'), subscribes);

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
  EXPECT_EQ(events.Refs(), 0u);
  EXPECT_EQ(CallLibrary("DllCanUnloadNow"), S_OK);
}

TEST(VokQuoteClient, NullOutputsAreRefusedAndReturnedRecordsStartEmpty) {
  CComPtr<IVokQuotes> quotes;
  ASSERT_EQ(vok::test::CreateVokQuotes(IID_IVokQuotes, quotes.PutVoid()), S_OK);
  CComPtr<IVokQuotesPriv> priv;
  ASSERT_EQ(quotes.QueryInterface(IID_IVokQuotesPriv, priv), S_OK);
  const CBstr symbol = Bstr("ABC");
  EXPECT_EQ(quotes->GetCachedQuote(symbol.Get(), nullptr), E_POINTER);
  EXPECT_EQ(quotes->GetCachedOptionsRecord(symbol.Get(), nullptr), E_POINTER);
  EXPECT_EQ(quotes->GetSingleQuote(symbol.Get(), 0, nullptr), E_POINTER);
  EXPECT_EQ(priv->GetUnderlier(symbol.Get(), nullptr), E_POINTER);

  // Whatever the caller left in a record is cleared, also when nothing is found or the symbol is
  // refused (an empty one names nothing).
  for (const char* text : {"ABC", "+ABC-1", "", static_cast<const char*>(nullptr)}) {
    const CBstr symbol = text == nullptr ? CBstr() : Bstr(text);
    const HRESULT expected = text == nullptr || *text == '\0' ? E_INVALIDARG : S_OK;
    QUOTERECORD quote[2], zeroQuote{};
    OPTIONSRECORD option, zeroOption{};
    std::memset(quote, 0x5A, sizeof(quote));
    std::memset(&option, 0x5A, sizeof(option));
    EXPECT_EQ(quotes->GetCachedQuote(symbol.Get(), &quote[0]), expected);
    EXPECT_EQ(quotes->GetSingleQuote(symbol.Get(), 0, &quote[1]), expected);
    EXPECT_EQ(quotes->GetCachedOptionsRecord(symbol.Get(), &option), expected);
    for (const QUOTERECORD& rec : quote) EXPECT_EQ(std::memcmp(&rec, &zeroQuote, sizeof(rec)), 0) << text;
    EXPECT_EQ(std::memcmp(&option, &zeroOption, sizeof(option)), 0) << text;
  }
  LONG size = 0;
  EXPECT_EQ(quotes->GetCachedAggregateLevel2Size(symbol.Get(), 10.0, msAsk, &size), S_OK);
  EXPECT_EQ(size, -1);
}

TEST(VokQuoteClient, LateBoundCallsReachTheMembersByName) {
  CComPtr<IDispatch> object;
  ASSERT_EQ(vok::test::CreateVokQuotes(IID_IDispatch, object.PutVoid()), S_OK);
  CComPtr<IVokQuotesPriv> priv;
  ASSERT_EQ(object.QueryInterface(IID_IVokQuotesPriv, priv), S_OK);
  EXPECT_EQ(priv->SetRemoteAddress(Bstr("quotes.example:5021").Get()), S_OK);

  const struct {
    const char16_t* name;
    DISPID id;
  } names[] = {{u"connectionstate", vok::dispid::ConnectionState}, {u"ServerName", vok::dispid::ServerName},
               {u"RemoteAddress", vok::dispid::RemoteAddress},     {u"Disconnect", vok::dispid::Disconnect},
               {u"GetSingleQuote", vok::dispid::GetSingleQuote},   {u"Reboot", DISPID_UNKNOWN}};
  for (const auto& row : names) {
    LPOLESTR text[] = {reinterpret_cast<LPOLESTR>(const_cast<char16_t*>(row.name))};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, text, 1, LOCALE_USER_DEFAULT, &id),
              row.id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK);
    EXPECT_EQ(id, row.id);
  }
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
}

TEST(VokQuoteClient, TheClassFactoryCreatesAndLocksAndRegistrationWritesOneConsistentSetOfKeys) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(vok::test::LibraryClassObject(IID_IVokQuotes, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  CComPtr<IClassFactory> factory;
  ASSERT_EQ(vok::test::LibraryClassObject(CLSID_VokQuotes, IID_IClassFactory, factory.PutVoid()), S_OK);
  EXPECT_EQ(CallLibrary("DllCanUnloadNow"), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(CallLibrary("DllCanUnloadNow"), S_FALSE);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(CallLibrary("DllCanUnloadNow"), S_OK);
  // Aggregated: only the inner unknown may be asked for, and it keeps the library loaded.
  CTestEventSink outer;
  void* refused = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IVokQuotes, &refused), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(refused, nullptr);
  CComPtr<IUnknown> inner;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.PutVoid()), S_OK);
  EXPECT_EQ(CallLibrary("DllCanUnloadNow"), S_FALSE);
  EXPECT_EQ(outer.Refs(), 0u);  // the inner unknown does not count on the outer object
  {                             // the inner object's interfaces count on the outer one and answer with its identity
    CComPtr<IVokQuotes> viaInner;
    ASSERT_EQ(inner.QueryInterface(IID_IVokQuotes, viaInner), S_OK);
    CComPtr<IUnknown> identity;
    ASSERT_EQ(viaInner->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.Refs(), 2u);
  }
  EXPECT_EQ(outer.Refs(), 0u);
  inner = nullptr;
  EXPECT_EQ(CallLibrary("DllCanUnloadNow"), S_OK);

  const std::string classKey = "CLSID\\{466E9EDA-E060-41BE-B14F-8DA1CAB8ECEF}";
  auto read = [](const std::string& key, const char* name = "") {
    std::string data;
    return vok::ReadClassValue(key, name, data) ? data : "<missing>";
  };
  // A leftover below the class key from an older registration is replaced, not merged.
  ASSERT_TRUE(vok::WriteClassKey(classKey + "\\Stale", std::vector<vok::RegistryValue>{{"", "old"}}));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(CallLibrary("DllRegisterServer"), S_OK);
    EXPECT_EQ(read("Vokhaldex.VokQuotes.1\\CLSID"), "{466E9EDA-E060-41BE-B14F-8DA1CAB8ECEF}");
    EXPECT_EQ(read("Vokhaldex.VokQuotes\\CurVer"), "Vokhaldex.VokQuotes.1");
    EXPECT_EQ(read(classKey + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_TRUE(vok::test::IsLibraryPath(read(classKey + "\\InprocServer32"))) << read(classKey + "\\InprocServer32");
    EXPECT_EQ(read(classKey + "\\TypeLib"), "{9E35848E-CBB2-4A29-881A-6944BBE593D5}");
    EXPECT_EQ(read(classKey + "\\Stale"), "<missing>");
    EXPECT_NE(read("TypeLib\\{9E35848E-CBB2-4A29-881A-6944BBE593D5}\\2.0"), "<missing>");
  }
  ASSERT_EQ(CallLibrary("DllUnregisterServer"), S_OK);
  for (const std::string& key :
       {std::string("Vokhaldex.VokQuotes.1\\CLSID"), std::string("Vokhaldex.VokQuotes\\CurVer"), classKey,
        std::string("TypeLib\\{9E35848E-CBB2-4A29-881A-6944BBE593D5}\\2.0")}) {
    EXPECT_EQ(read(key), "<missing>") << key;
  }
  EXPECT_EQ(CallLibrary("DllRegisterServer"), S_OK);  // the other tests of the program create by ProgID
}

}  // namespace

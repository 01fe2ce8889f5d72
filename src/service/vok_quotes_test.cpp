// The service object without a server: construction and release, aggregation, the interfaces it
// answers, symbol normalisation, connection settings, the current-object rule, settings read at
// construction, connect retries and the exception guard of its interface methods.
#include "service/vok_quotes.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "handlers/handler_test_support.h"
#include "handlers/quote_handler.h"
#include "platform/environment.h"
#include "platform/interface_table.h"
#include "platform/settings_store.h"
#include "platform/thread.h"
#include "service/com_guard.h"
#include "service/connection_times_test_util.h"
#include "service/module_lock.h"
#include "service/vok_quotes_test_util.h"
#include "vkdll/vkdll.h"

namespace {

using vok::test::Bstr;
using vok::test::CQuotesSession;
using vok::test::CTraceRecorder;

class VokQuotes : public ::testing::Test {
 protected:
  vok::CComApartment m_apartment{vok::CComApartment::kMultiThreaded};
};

TEST_F(VokQuotes, ConstructionAndReleaseRunTheirStepsInOrderAndReleaseFiresNoClose) {
  CTraceRecorder trace;
  {
    CQuotesSession session;
    ASSERT_TRUE(session.m_quotes);
    EXPECT_TRUE(session.Object()->IsCurrentServiceObject());
    EXPECT_TRUE(vok::App().HasPumpThread());
    EXPECT_EQ(session.State(), csDisconnected);
    session.Release();
    EXPECT_FALSE(vok::App().HasPumpThread());
    EXPECT_EQ(session.EventCount(vok::dispid::OnClose), 0);
  }
  const char* order[] = {"CVokQuotes::CVokQuoteFeed",
                         "CVokQuotes::FinalConstruct",
                         "CVokQuoteApp::BeginProcessMessages: queue created in tid 0x",
                         "CVokQuotes::FinalRelease",
                         "CVokQuotes::SocketOnClose, errcode=0",
                         "calling EndProcessMessages",
                         "-Q- Queue thread destroyed.",
                         "CVokQuotes::~CVokQuotes"};
  int previous = -1;
  for (const char* line : order) {
    const int index = trace.IndexOf(line);
    EXPECT_GT(index, previous) << line;
    previous = index;
  }
}

// An outer object that aggregates the service object: it counts its own references and forwards
// every other interface to the inner unknown it holds.
class COuterObject final : public IUnknown {
 public:
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return m_inner->QueryInterface(riid, ppv);
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override { return --m_refs; }
  ULONG m_refs = 1;
  vok::CComPtr<IUnknown> m_inner;
};

TEST_F(VokQuotes, AggregatedObjectDelegatesItsIdentityAndLivesAsLongAsTheOuterHoldsIt) {
  const long locksBefore = vok::ModuleLockCount();
  COuterObject outer;
  ASSERT_EQ(CVokQuotes::CreateInstance(&outer, IID_IUnknown, outer.m_inner.PutVoid()), S_OK);
  EXPECT_EQ(outer.m_refs, 1u);  // the inner unknown does not count on the outer object
  {
    vok::CComPtr<IVokQuotes> quotes;
    ASSERT_EQ(outer.QueryInterface(IID_IVokQuotes, quotes.PutVoid()), S_OK);
    EXPECT_EQ(outer.m_refs, 2u);  // interfaces of the inner object count on the outer one
    vok::CComPtr<IUnknown> identity;
    ASSERT_EQ(quotes->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
  }
  EXPECT_EQ(outer.m_refs, 1u);
  EXPECT_GT(vok::ModuleLockCount(), locksBefore);
  outer.m_inner.Reset();  // the outer object's end releases the inner one
  EXPECT_EQ(vok::ModuleLockCount(), locksBefore);
}

TEST_F(VokQuotes, AnswersItsFiveInterfacesAndEnumeratesItsOneConnectionPoint) {
  CQuotesSession session;
  struct Case {
    const IID* iid;
    bool answered;
  } cases[] = {{&IID_IUnknown, true},
               {&IID_IVokQuotes, true},
               {&IID_IDispatch, true},
               {&IID_IConnectionPointContainer, true},
               {&IID_IVokQuotesPriv, true},
               {&IID_IVokQuotesNotify, false},
               {&DIID__IVokQuotesEvents, false},
               {&IID_IClassFactory, false}};
  vok::CComPtr<IUnknown> identity;
  ASSERT_EQ(session.m_quotes->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
  for (const Case& c : cases) {
    vok::CComPtr<IUnknown> result;
    const HRESULT hr = session.m_quotes->QueryInterface(*c.iid, result.PutVoid());
    EXPECT_EQ(hr, c.answered ? S_OK : E_NOINTERFACE);
    EXPECT_EQ(result.Get() != nullptr, c.answered);
    if (!result) continue;
    // Each interface leads back to the same identity.
    vok::CComPtr<IUnknown> back;
    ASSERT_EQ(result->QueryInterface(IID_IUnknown, back.PutVoid()), S_OK);
    EXPECT_EQ(back.Get(), identity.Get());
  }
  vok::CComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(session.m_quotes.QueryInterface(IID_IConnectionPointContainer, container), S_OK);
  vok::CComPtr<IConnectionPoint> other;
  EXPECT_EQ(container->FindConnectionPoint(IID_IVokQuotesNotify, other.Put()), CONNECT_E_NOCONNECTION);
  vok::CComPtr<IConnectionPoint> found;
  ASSERT_EQ(container->FindConnectionPoint(DIID__IVokQuotesEvents, found.Put()), S_OK);
  vok::CComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
  IConnectionPoint* fetched[2] = {};
  ULONG count = 0;
  EXPECT_EQ(points->Next(2, fetched, &count), S_FALSE);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(fetched[0], found.Get());
  fetched[0]->Release();
}

TEST_F(VokQuotes, SymbolsAreTrimmedUpperCasedAndCheckedBeforeTheyReachTheHandlers) {
  CQuotesSession session;
  vok::test::CRecordingNotify notify;
  CQuoteHandler* level1 = session.Object()->Handlers().Quotes();
  ASSERT_NE(level1, nullptr);
  struct Case {
    std::string given;
    std::string stored;  // empty: rejected
  } cases[] = {{"  msft\t", "MSFT"},
               {"+abc-xy", "+ABC-XY"},
               {std::string(64, 'q'), std::string(64, 'Q')},
               {"a;b", ""},
               {"IB\x7fM", ""}};
  for (const Case& c : cases) {
    EXPECT_EQ(session.m_quotes->AdviseSymbol(&notify, Bstr(c.given).Get(), qsfLevelOne),
              c.stored.empty() ? E_INVALIDARG : S_OK)
        << c.given;
    if (!c.stored.empty()) {
      EXPECT_EQ(level1->ThreadNotifyCount(c.stored), 1) << c.given;
    }
  }
  EXPECT_FALSE(level1->HasMasterRecord("A;B"));
  // Unadvise normalises the same way; one never advised is fine.
  CTraceRecorder trace;
  EXPECT_EQ(session.m_quotes->UnadviseSymbol(&notify, Bstr(" msft ").Get(), qsfLevelOne), S_OK);
  EXPECT_EQ(level1->ThreadNotifyCount("MSFT"), 0);
  EXPECT_EQ(trace.Count("UnadviseSymbol MSFT"), 1);
  EXPECT_EQ(session.m_quotes->UnadviseSymbol(&notify, Bstr("NEVER").Get(), qsfLevelOne), S_OK);
  EXPECT_EQ(session.m_quotes->UnadviseAll(&notify), S_OK);
  EXPECT_EQ(level1->ThreadNotifyCount("+ABC-XY"), 0);
}

// The public entry points share one symbol rule (the fault suite walks them); the private ones
// follow it too, and a refused symbol never reaches the wire.
TEST_F(VokQuotes, ThePrivateCallsRefuseSymbolsThatCouldChangeTheWireLine) {
  CQuotesSession session;
  IVokQuotesPriv* priv = session.m_priv.Get();
  for (const std::string& symbol :
       {std::string("IBM;2000=20001"), std::string("IBM\r\nL|100=x"), std::string("\x01IBM"), std::string(65, 'A')}) {
    EXPECT_EQ(priv->SetNegBorrowPct(Bstr(symbol).Get(), 1.5), E_INVALIDARG) << symbol;
    vok::CBstr underlier;
    EXPECT_EQ(priv->GetUnderlier(Bstr(symbol).Get(), underlier.Put()), E_INVALIDARG) << symbol;
  }
  EXPECT_EQ(priv->SetNegBorrowPct(Bstr("+xyz-1").Get(), 1.5), S_OK);
  // A single quote asks for the normalised symbol.
  CTraceRecorder trace;
  QUOTERECORD record{};
  EXPECT_EQ(session.m_quotes->GetSingleQuote(Bstr(" ibm ").Get(), 0, &record), S_OK);
  EXPECT_EQ(trace.Count("GetSingleQuote(IBM): sending request"), 1);
}

TEST_F(VokQuotes, ConnectionSettingsAreParsedTrimmedAndTransformed) {
  CQuotesSession session;
  IVokQuotesPriv* priv = session.m_priv.Get();
  LONG port = 0;
  ASSERT_EQ(priv->get_Port(&port), S_OK);
  EXPECT_EQ(port, 5020);

  struct Case {
    const char* text;
    const char* address;
    LONG port;
  } cases[] = {{"quotes.example.net", "quotes.example.net", 5020},
               {" quotes.example.net :5021", "quotes.example.net", 5021},
               {"host:", "host", 0},
               {"[::1]:5022", "::1", 5022},
               {" [fe80::1] ", "fe80::1", 5020},
               {"::1", "::1", 5020},
               {"::1:5023", "::1:5023", 5020},  // no brackets: all of it is the address
               {"10.0.0.1:7000:1", "10.0.0.1:7000:1", 5020}};
  for (const Case& c : cases) {
    ASSERT_EQ(priv->put_Port(5020), S_OK);
    ASSERT_EQ(priv->SetRemoteAddress(Bstr(c.text).Get()), S_OK);
    vok::CBstr address;
    ASSERT_EQ(session.m_quotes->get_RemoteAddress(address.Put()), S_OK);
    EXPECT_EQ(address.ToNarrow(), c.address) << c.text;
    priv->get_Port(&port);
    EXPECT_EQ(port, c.port) << c.text;
  }

  // A password of 64 characters or more is taken as transformed already (a short one is
  // transformed, as every logon against the simulator shows).
  vok::CBstr stored;
  const std::string longText(70, 'q');
  priv->put_Password(Bstr(longText).Get());
  session.Object()->get_Password(stored.Put());
  EXPECT_EQ(stored.ToNarrow(), longText);
}

TEST_F(VokQuotes, TheObjectCreatedLastIsCurrentAndReleasingTheOtherKeepsIt) {
  CQuotesSession first;
  CQuotesSession second;
  EXPECT_FALSE(first.Object()->IsCurrentServiceObject());
  EXPECT_TRUE(second.Object()->IsCurrentServiceObject());
  CVokQuotes* secondObject = second.Object();
  first.Release();
  EXPECT_TRUE(secondObject->IsCurrentServiceObject());
  EXPECT_TRUE(vok::App().HasPumpThread());
}

TEST_F(VokQuotes, SettingsAreReadAtConstruction) {
  const std::string path = ::testing::TempDir() + "vok_quotes_test_settings.ini";
  vok::SetEnvironmentValue("VOKQUOTE_CONFIG", path.c_str());
  ASSERT_TRUE(vok::CSettingsStore::WriteDword("", "LogQuotes", 1));
  ASSERT_TRUE(vok::CSettingsStore::WriteDword("", "QuotesTestMode", 1));
  {
    CQuotesSession session;
    EXPECT_TRUE(session.Object()->LogQuotes());
    EXPECT_EQ(session.Object()->TestInterval(), 200);
  }
  vok::CSettingsStore::DeleteValue("", "LogQuotes");
  vok::CSettingsStore::DeleteValue("", "QuotesTestMode");
  {
    CQuotesSession session;
    EXPECT_FALSE(session.Object()->LogQuotes());
    EXPECT_EQ(session.Object()->TestInterval(), 0);
  }
  std::remove(path.c_str());
  vok::SetEnvironmentValue("VOKQUOTE_CONFIG", nullptr);
}

TEST_F(VokQuotes, AFailedConnectFiresOnConnectAndRetriesUntilDisconnect) {
  vok::test::CScopedConnectionTimes times(30000, 10000, 1000, 250);
  CTraceRecorder trace;
  CQuotesSession session;
  // Nothing listens on port 1 of the loopback address.
  session.m_priv->SetRemoteAddress(Bstr("127.0.0.1:1").Get());
  const std::uint32_t workers = CConnectionLifecycle::WorkersStarted();
  EXPECT_EQ(session.Connect(), CVokQuotes::kConnectPending);
  ASSERT_TRUE(trace.WaitFor("Quotes: CONNECTFAILED", 2));
  ASSERT_TRUE(session.WaitForEvent(vok::dispid::OnConnect, 2));
  EXPECT_GE(CConnectionLifecycle::WorkersStarted(), workers + 2);
  EXPECT_EQ(trace.Count("Quotes: CONNECTED"), 0);
  for (const auto& [dispid, code] : session.Events()) {
    EXPECT_EQ(dispid, vok::dispid::OnConnect);
    EXPECT_NE(code, 0);  // the reason, which the fault suite checks
  }
  // Disconnect cancels the pending retry: no worker starts after it.
  session.m_quotes->Disconnect();
  const std::uint32_t after = CConnectionLifecycle::WorkersStarted();
  const int failures = trace.Count("Quotes: CONNECTFAILED");
  vok::SleepMs(800);  // three retry periods: a retry that was not cancelled would have run
  EXPECT_EQ(CConnectionLifecycle::WorkersStarted(), after);
  EXPECT_EQ(trace.Count("Quotes: CONNECTFAILED"), failures);
}

TEST_F(VokQuotes, TheInterfaceGuardTurnsExceptionsIntoResultsAndTracesNoExceptionText) {
  CTraceRecorder trace;
  EXPECT_EQ(vok::ComGuard("CTest::Fails", []() -> HRESULT { throw std::runtime_error("password=hunter2"); }),
            E_UNEXPECTED);
  EXPECT_EQ(vok::ComGuard("CTest::Exhausted", []() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
  EXPECT_EQ(vok::ComGuard("CTest::Works", [] { return S_FALSE; }), S_FALSE);
  ASSERT_EQ(trace.Count("CTest::Fails: unexpected exception"), 1);
  EXPECT_EQ(trace.Lines()[static_cast<std::size_t>(trace.IndexOf("CTest::Fails"))].level, VOKTRACE_FAILURE);
  EXPECT_FALSE(trace.AnyContains("hunter2"));
  EXPECT_FALSE(trace.AnyContains("CTest::Exhausted"));
}

}  // namespace

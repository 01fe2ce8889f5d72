// The service object without a server: construction and release, the interfaces it answers,
// symbol normalisation, connection settings, the handler routing, the current-object rule, and
// the connection dispatcher's handling of events that name no live client.
#include "service/vok_quotes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "connection/quote_client.h"
#include "handlers/quote_handler.h"
#include "message/vok_message.h"
#include "service/vokquote_create.h"
#include "platform/environment.h"
#include "platform/interface_table.h"
#include "platform/settings_store.h"
#include "platform/thread.h"
#include "service/com_guard.h"
#include "service/connection_times_test_util.h"
#include "service/module_lock.h"
#include "service/vok_quotes_test_util.h"
#include "vkdll/vkdll.h"
#include "vokipc/vokipc.h"

namespace {

using vok::test::Bstr;
using vok::test::CQuotesSession;
using vok::test::CTraceRecorder;

class CNullNotify final : public IVokQuotesNotify {
 public:
  STDMETHOD(QueryInterface)(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 2; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(OnQuoteData)(QUOTERECORD*) override { return S_OK; }
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD*) override { return S_OK; }
  STDMETHOD(OnTSData)(TSRECORD*) override { return S_OK; }
  STDMETHOD(OnOptionsData)(OPTIONSRECORD*) override { return S_OK; }
};

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
  void* refused = &outer;
  EXPECT_EQ(CVokQuotes::CreateInstance(&outer, IID_IVokQuotes, &refused), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(vok::ModuleLockCount(), locksBefore);

  ASSERT_EQ(CVokQuotes::CreateInstance(&outer, IID_IUnknown, outer.m_inner.PutVoid()), S_OK);
  EXPECT_EQ(outer.m_refs, 1u);  // the inner unknown does not count on the outer object
  {
    vok::CComPtr<IVokQuotes> quotes;
    ASSERT_EQ(outer.QueryInterface(IID_IVokQuotes, quotes.PutVoid()), S_OK);
    EXPECT_EQ(outer.m_refs, 2u);  // interfaces of the inner object count on the outer one
    vok::CComPtr<IUnknown> identity;
    ASSERT_EQ(quotes->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
    vok::CComPtr<IVokQuotesPriv> settings;
    EXPECT_EQ(quotes->QueryInterface(IID_IVokQuotesPriv, settings.PutVoid()), S_OK);
    enumConnectionState state = csILG;
    EXPECT_EQ(quotes->get_ConnectionState(&state), S_OK);
    EXPECT_EQ(state, csDisconnected);
  }
  EXPECT_EQ(outer.m_refs, 1u);
  EXPECT_GT(vok::ModuleLockCount(), locksBefore);
  outer.m_inner.Reset();  // the outer object's end releases the inner one
  EXPECT_EQ(vok::ModuleLockCount(), locksBefore);
}

TEST_F(VokQuotes, EnumeratesItsOneConnectionPointTheSameAsFindConnectionPoint) {
  CQuotesSession session;
  vok::CComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(session.m_quotes->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
  vok::CComPtr<IConnectionPoint> found;
  ASSERT_EQ(container->FindConnectionPoint(DIID__IVokQuotesEvents, found.Put()), S_OK);
  vok::CComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
  IConnectionPoint* fetched[2] = {};
  ULONG count = 0;
  EXPECT_EQ(points->Next(2, fetched, &count), S_FALSE);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(fetched[0], found.Get());
  IID iid{};
  EXPECT_EQ(fetched[0]->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(iid == DIID__IVokQuotesEvents);
  fetched[0]->Release();
}

TEST_F(VokQuotes, AnswersItsFiveInterfacesAndNoOther) {
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
}

TEST_F(VokQuotes, SymbolsAreTrimmedUpperCasedAndCheckedBeforeTheyReachTheHandlers) {
  CQuotesSession session;
  CNullNotify notify;
  CQuoteHandler* level1 = session.Object()->Handlers().Quotes();
  ASSERT_NE(level1, nullptr);
  struct Case {
    std::string given;
    std::string stored;  // empty: rejected
  } cases[] = {
      {"  msft\t", "MSFT"}, {"+abc-xy", "+ABC-XY"}, {"/es", "/ES"}, {std::string(64, 'q'), std::string(64, 'Q')},
      {"a;b", ""},          {"IB\x7fM", ""},        {"+", ""},      {" / ", ""},
      {"   ", ""}};
  for (const Case& c : cases) {
    EXPECT_EQ(session.m_quotes->AdviseSymbol(&notify, Bstr(c.given).Get(), qsfLevelOne),
              c.stored.empty() ? E_INVALIDARG : S_OK)
        << c.given;
    if (!c.stored.empty()) {
      EXPECT_EQ(level1->ThreadNotifyCount(c.stored), 1) << c.given;
    }
  }
  EXPECT_FALSE(level1->HasMasterRecord("A;B"));
  EXPECT_FALSE(level1->HasMasterRecord("+"));
  // Unadvise normalises the same way; one never advised is fine.
  CTraceRecorder trace;
  EXPECT_EQ(session.m_quotes->UnadviseSymbol(&notify, Bstr(" msft ").Get(), qsfLevelOne), S_OK);
  EXPECT_EQ(level1->ThreadNotifyCount("MSFT"), 0);
  EXPECT_EQ(trace.Count("UnadviseSymbol MSFT"), 1);
  EXPECT_EQ(session.m_quotes->UnadviseSymbol(&notify, Bstr("NEVER").Get(), qsfLevelOne), S_OK);
  EXPECT_EQ(session.m_quotes->UnadviseAll(&notify), S_OK);
  EXPECT_EQ(level1->ThreadNotifyCount("+ABC-XY"), 0);
  EXPECT_EQ(level1->ThreadNotifyCount("/ES"), 0);
  EXPECT_EQ(level1->ThreadNotifyCount(std::string(64, 'Q')), 0);
}

TEST_F(VokQuotes, EveryCallThatTakesASymbolRefusesOneThatCouldChangeTheWireLine) {
  CQuotesSession session;
  CNullNotify notify;
  IVokQuotes* quotes = session.m_quotes.Get();
  IVokQuotesPriv* priv = session.m_priv.Get();
  // Each call with a symbol; the exact-text calls keep case and blanks but not separators.
  const std::function<HRESULT(BSTR)> calls[] = {[&](BSTR s) { return quotes->AdviseSymbol(&notify, s, qsfLevelOne); },
                                                [&](BSTR s) { return quotes->UnadviseSymbol(&notify, s, qsfLevelOne); },
                                                [&](BSTR s) {
                                                  QUOTERECORD record{};
                                                  return quotes->GetCachedQuote(s, &record);
                                                },
                                                [&](BSTR s) {
                                                  OPTIONSRECORD record{};
                                                  return quotes->GetCachedOptionsRecord(s, &record);
                                                },
                                                [&](BSTR s) {
                                                  LONG size = 0;
                                                  const HRESULT hr =
                                                      quotes->GetCachedAggregateLevel2Size(s, 1.0, msBid, &size);
                                                  EXPECT_EQ(size, -1);
                                                  return hr;
                                                },
                                                [&](BSTR s) {
                                                  QUOTERECORD record{};
                                                  return quotes->GetSingleQuote(s, 0, &record);
                                                },
                                                [&](BSTR s) { return priv->SetNegBorrowPct(s, 1.5); },
                                                [&](BSTR s) {
                                                  vok::CBstr underlier;
                                                  return priv->GetUnderlier(s, underlier.Put());
                                                }};
  const char* refused[] = {"IBM;2000=20001", "IBM|X", "IBM\r\nL|100=x", "\x01IBM"};
  for (const auto& call : calls) {
    for (const char* symbol : refused) EXPECT_EQ(call(Bstr(symbol).Get()), E_INVALIDARG) << symbol;
    EXPECT_EQ(call(Bstr(std::string(65, 'A')).Get()), E_INVALIDARG);
    EXPECT_EQ(call(Bstr("+xyz-1").Get()), S_OK);
  }
  // An empty symbol is refused where it is normalised (it names nothing to look up).
  QUOTERECORD record{};
  EXPECT_EQ(quotes->GetCachedQuote(nullptr, &record), E_INVALIDARG);
  EXPECT_EQ(record.bstrSymbol, nullptr);
  // A single quote asks for the normalised symbol.
  CTraceRecorder trace;
  EXPECT_EQ(quotes->GetSingleQuote(Bstr(" ibm ").Get(), 0, &record), S_OK);
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

  priv->put_UserName(Bstr("  vokuser \t").Get());
  vok::CBstr user;
  priv->get_UserName(user.Put());
  EXPECT_EQ(user.ToNarrow(), "vokuser");

  // A short password is stored transformed; 64 characters or more are taken as transformed.
  char expected[65] = {};
  VOK_TransformPassword("vokpass", expected);
  priv->put_Password(Bstr("vokpass").Get());
  vok::CBstr stored;
  session.Object()->get_Password(stored.Put());
  EXPECT_EQ(stored.ToNarrow(), expected);
  EXPECT_EQ(stored.ToNarrow().size(), 64u);
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
  ASSERT_TRUE(vok::CSettingsStore::WriteDword("", "ImmediateDelivery", 1));
  {
    CQuotesSession session;
    EXPECT_TRUE(session.Object()->LogQuotes());
    EXPECT_TRUE(session.Object()->ImmediateDelivery());
    EXPECT_EQ(session.Object()->TestInterval(), 200);
    // Let the test thread tick through the handlers a few times; the release below must stop it.
    vok::SleepMs(700);
  }
  vok::CSettingsStore::DeleteValue("", "LogQuotes");
  vok::CSettingsStore::DeleteValue("", "QuotesTestMode");
  vok::CSettingsStore::DeleteValue("", "ImmediateDelivery");
  {
    CQuotesSession session;
    EXPECT_FALSE(session.Object()->LogQuotes());
    EXPECT_FALSE(session.Object()->ImmediateDelivery());
    EXPECT_EQ(session.Object()->TestInterval(), 0);
  }
  // The process-wide switch turns it on for objects created after it, until it is cleared.
  VokSetImmediateDelivery(1);
  EXPECT_TRUE(CQuotesSession().Object()->ImmediateDelivery());
  VokSetImmediateDelivery(0);
  EXPECT_FALSE(CQuotesSession().Object()->ImmediateDelivery());
  std::remove(path.c_str());
  vok::SetEnvironmentValue("VOKQUOTE_CONFIG", nullptr);
}

TEST_F(VokQuotes, AFailedConnectFiresOnConnectWithItsErrorAndRetriesAfterTheRetryDelay) {
  vok::test::CScopedConnectionTimes times(30000, 10000, 1000, 250);
  // What the transport tells of a refused connect on this machine; a reason it cannot tell
  // becomes the fixed code.
  static const IPCCALLBACKS kNoCallbacks{nullptr, nullptr, nullptr};
  IpcStartup();
  ASSERT_EQ(IpcOpenTcp("127.0.0.1", 1, &kNoCallbacks), 0u);
  const LONG expected = IpcLastOpenError() != 0 ? IpcLastOpenError() : CConnectionLifecycle::kConnectErrorUnknown;
  IpcCleanup();

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
  for (const auto& event : session.Events()) EXPECT_EQ(event, std::make_pair(vok::dispid::OnConnect, expected));
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

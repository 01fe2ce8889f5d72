// The service object without a server: construction and release, the current-object rule, the
// interfaces it answers, symbol normalisation, connection settings, connect retries and the
// exception guard of its interface methods.
#include "service/vok_quotes.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "handlers/handler_test_support.h"
#include "handlers/quote_handler.h"
#include "platform/interface_table.h"
#include "platform/thread.h"
#include "service/com_guard.h"
#include "service/connection_times_test_util.h"
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

// The object created last is current; releasing another keeps it, and the pump lives as long as
// any object. Release fires no OnClose and closes the connection before the pump stops.
TEST_F(VokQuotes, TheLastCreatedObjectIsCurrentAndReleaseStopsThePumpAfterTheConnection) {
  std::optional<CTraceRecorder> trace;
  {
    CQuotesSession first;
    CQuotesSession second;
    ASSERT_TRUE(second.m_quotes);
    EXPECT_FALSE(first.Object()->IsCurrentServiceObject());
    EXPECT_TRUE(second.Object()->IsCurrentServiceObject());
    EXPECT_EQ(second.State(), csDisconnected);
    CVokQuotes* secondObject = second.Object();
    first.Release();
    EXPECT_TRUE(secondObject->IsCurrentServiceObject());
    EXPECT_TRUE(vok::App().HasPumpThread());
    trace.emplace();
    second.Release();
    EXPECT_FALSE(vok::App().HasPumpThread());
    EXPECT_EQ(first.EventCount(vok::dispid::OnClose) + second.EventCount(vok::dispid::OnClose), 0);
  }
  const char* order[] = {"CVokQuotes::FinalRelease", "CVokQuotes::SocketOnClose, errcode=0",
                         "calling EndProcessMessages", "-Q- Queue thread destroyed.", "CVokQuotes::~CVokQuotes"};
  int previous = -1;
  for (const char* line : order) {
    const int index = trace->IndexOf(line);
    EXPECT_GT(index, previous) << line;
    previous = index;
  }
}

TEST_F(VokQuotes, AnswersItsFiveInterfacesWithOneIdentityAndEnumeratesItsOneConnectionPoint) {
  CQuotesSession session;
  vok::CComPtr<IUnknown> identity;
  ASSERT_EQ(session.m_quotes->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
  for (const IID* iid :
       {&IID_IVokQuotes, &IID_IDispatch, &IID_IConnectionPointContainer, &IID_IVokQuotesPriv, &IID_IUnknown}) {
    vok::CComPtr<IUnknown> result, back;
    ASSERT_EQ(session.m_quotes->QueryInterface(*iid, result.PutVoid()), S_OK);
    ASSERT_EQ(result->QueryInterface(IID_IUnknown, back.PutVoid()), S_OK);
    EXPECT_EQ(back.Get(), identity.Get());
  }
  for (const IID* iid : {&IID_IVokQuotesNotify, &DIID__IVokQuotesEvents, &IID_IClassFactory}) {
    void* result = reinterpret_cast<void*>(1);
    EXPECT_EQ(session.m_quotes->QueryInterface(*iid, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
  }
  vok::CComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(session.m_quotes.QueryInterface(IID_IConnectionPointContainer, container), S_OK);
  vok::CComPtr<IConnectionPoint> other;
  EXPECT_EQ(container->FindConnectionPoint(IID_IVokQuotesNotify, other.Put()), CONNECT_E_NOCONNECTION);
  vok::CComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
  IConnectionPoint* fetched[2] = {};
  ULONG count = 0;
  EXPECT_EQ(points->Next(2, fetched, &count), S_FALSE);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(fetched[0], session.m_point.Get());
  fetched[0]->Release();
}

// Symbols are trimmed and upper-cased before they reach a handler, the private calls included;
// the refusals every public entry point shares are the fault suite's.
TEST_F(VokQuotes, SymbolsAreNormalisedAndThePrivateCallsRefuseWhatCouldChangeTheWireLine) {
  CQuotesSession session;
  vok::test::CRecordingNotify notify;
  CQuoteHandler* level1 = session.Object()->Handlers().Quotes();
  IVokQuotesPriv* priv = session.m_priv.Get();
  // Given, and stored as (empty: refused).
  const std::pair<std::string, std::string> cases[] = {{"  msft ", "MSFT"},
                                                       {"+abc-xy", "+ABC-XY"},
                                                       {std::string(64, 'q'), std::string(64, 'Q')},
                                                       {std::string(65, 'A'), ""},
                                                       {"IBM;2000=20001", ""},
                                                       {"IBM\r\nL|100=x", ""},
                                                       {"\x01IBM", ""},
                                                       {"IB\x7fM", ""}};
  for (const auto& [given, stored] : cases) {
    const HRESULT expected = stored.empty() ? E_INVALIDARG : S_OK;
    EXPECT_EQ(session.m_quotes->AdviseSymbol(&notify, Bstr(given).Get(), qsfLevelOne), expected) << given;
    EXPECT_EQ(priv->SetNegBorrowPct(Bstr(given).Get(), 1.5), expected) << given;
    vok::CBstr underlier;
    EXPECT_EQ(priv->GetUnderlier(Bstr(given).Get(), underlier.Put()), expected) << given;
    if (!stored.empty()) {
      EXPECT_EQ(level1->ThreadNotifyCount(stored), 1) << given;
    }
  }
  CTraceRecorder trace;
  EXPECT_EQ(session.m_quotes->UnadviseSymbol(&notify, Bstr(" msft ").Get(), qsfLevelOne), S_OK);
  EXPECT_EQ(level1->ThreadNotifyCount("MSFT"), 0);
  EXPECT_EQ(trace.Count("UnadviseSymbol MSFT"), 1);
  EXPECT_EQ(session.m_quotes->UnadviseSymbol(&notify, Bstr("NEVER").Get(), qsfLevelOne), S_OK);
  EXPECT_EQ(session.m_quotes->UnadviseAll(&notify), S_OK);
  EXPECT_EQ(level1->ThreadNotifyCount("+ABC-XY"), 0);
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
  } cases[] = {{" quotes.example.net :5021", "quotes.example.net", 5021},
               {"host:", "host", 0},
               {"[::1]:5022", "::1", 5022},
               {" [fe80::1] ", "fe80::1", 5020},
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
  EXPECT_EQ(trace.All()[static_cast<std::size_t>(trace.IndexOf("CTest::Fails"))].first, VOKTRACE_FAILURE);
  EXPECT_FALSE(trace.AnyContains("hunter2"));
  EXPECT_FALSE(trace.AnyContains("CTest::Exhausted"));
}

}  // namespace

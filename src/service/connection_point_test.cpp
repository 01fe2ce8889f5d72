// The events connection point as a client of the service object sees it: cookies as slot
// positions, refused advises, every reference given back, events reaching every sink in cookie
// order past failing ones, and the snapshot enumerator. That release fires nothing is the service
// object's own test.
#include "service/connection_point.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/interface_table.h"
#include "service/event_sink_test_util.h"
#include "service/vok_quotes_test_util.h"

namespace {

class ConnectionPoint : public ::testing::Test {
 protected:
  vok::CComApartment m_apartment{vok::CComApartment::kMultiThreaded};
  vok::test::CQuotesSession m_session;  // its own sink holds cookie 1
  IConnectionPoint* Point() { return m_session.m_point.Get(); }
};

TEST_F(ConnectionPoint, CookiesAreSlotPositionsReusedFirstFreeAndEveryReferenceIsGivenBack) {
  DWORD cookie = 99;
  EXPECT_EQ(Point()->Advise(nullptr, &cookie), E_POINTER);
  EXPECT_EQ(Point()->Advise(m_session.m_quotes.Get(), &cookie), CONNECT_E_CANNOTCONNECT);  // no event sink
  EXPECT_EQ(cookie, 0u);
  std::vector<std::unique_ptr<CTestEventSink>> sinks;
  for (int i = 0; i < 5; ++i) sinks.push_back(std::make_unique<CTestEventSink>());
  EXPECT_EQ(Point()->Advise(sinks[0].get(), nullptr), E_POINTER);
  DWORD cookies[5] = {};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Point()->Advise(sinks[i].get(), &cookies[i]), S_OK);
  EXPECT_EQ(std::vector<DWORD>(cookies, cookies + 3), (std::vector<DWORD>{2, 3, 4}));
  EXPECT_EQ(Point()->Unadvise(3), S_OK);
  ASSERT_EQ(Point()->Advise(sinks[3].get(), &cookies[3]), S_OK);
  ASSERT_EQ(Point()->Advise(sinks[4].get(), &cookies[4]), S_OK);
  EXPECT_EQ(cookies[3], 3u);
  EXPECT_EQ(cookies[4], 5u);

  for (DWORD bad : {0u, 6u, 9u, 100u}) EXPECT_EQ(Point()->Unadvise(bad), CONNECT_E_NOCONNECTION) << bad;
  EXPECT_EQ(Point()->Unadvise(3), S_OK);
  EXPECT_EQ(Point()->Unadvise(3), CONNECT_E_NOCONNECTION);
  for (DWORD c : {2u, 4u, 5u}) EXPECT_EQ(Point()->Unadvise(c), S_OK);
  for (auto& sink : sinks) EXPECT_EQ(sink->Refs(), 0u);
}

TEST_F(ConnectionPoint, FiresFromAnyThreadToEverySinkInCookieOrderPastFailingSinks) {
  std::atomic<int> sequence{0};
  CTestEventSink first(&sequence), failing(&sequence, true), gone(&sequence), last(&sequence);
  CTestEventSink* advised[] = {&first, &failing, &gone, &last};
  DWORD c[4] = {};
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Point()->Advise(advised[i], &c[i]), S_OK);
  ASSERT_EQ(Point()->Unadvise(c[2]), S_OK);

  // Disconnect fires OnClose(0) on the thread that calls it.
  std::thread([this] {
    vok::CComApartment mta(vok::CComApartment::kMultiThreaded);
    m_session.m_quotes->Disconnect();
    m_session.m_quotes->Disconnect();
  }).join();
  int order = 0;
  for (int event = 0; event < 2; ++event) {
    for (CTestEventSink* sink : {&first, &failing, &last}) {
      const auto calls = sink->Calls();
      ASSERT_EQ(calls.size(), 2u);
      EXPECT_EQ(calls[event].dispid, vok::dispid::OnClose);
      EXPECT_EQ(calls[event].arg, 0);
      EXPECT_EQ(calls[event].order, order++);
    }
  }
  EXPECT_TRUE(gone.Calls().empty());

  // The enumerator is a snapshot: it keeps what it saw after a later Unadvise.
  EXPECT_EQ(Point()->EnumConnections(nullptr), E_POINTER);
  vok::CComPtr<IEnumConnections> connections;
  ASSERT_EQ(Point()->EnumConnections(connections.Put()), S_OK);
  ASSERT_EQ(Point()->Unadvise(c[1]), S_OK);
  CONNECTDATA data[5] = {};
  ULONG fetched = 0;
  EXPECT_EQ(connections->Next(5, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 4u);
  const IUnknown* sinks[] = {&m_session.m_sink, &first, &failing, &last};
  const DWORD cookies[] = {m_session.m_cookie, c[0], c[1], c[3]};
  for (ULONG i = 0; i < fetched; ++i) {
    vok::CComPtr<IUnknown> unknown = vok::CComPtr<IUnknown>::Attach(data[i].pUnk);
    EXPECT_EQ(unknown.Get(), sinks[i]);
    EXPECT_EQ(data[i].dwCookie, cookies[i]);
  }
  for (DWORD cookie : {c[0], c[3]}) EXPECT_EQ(Point()->Unadvise(cookie), S_OK);
}

}  // namespace

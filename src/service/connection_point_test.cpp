// Tests of the events connection point: cookies as slot positions, refused advises, firing from a
// worker in cookie order past failing sinks and not after shutdown began, and the snapshot
// enumerator.
#include "service/connection_point.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/com_ptr.h"
#include "platform/interface_table.h"
#include "service/event_sink_test_util.h"
#include "service/vok_quotes_events_proxy.h"

namespace {

// A minimal container owning one events connection point, as the service object does.
class CTestEventHost final : public IConnectionPointContainer {
 public:
  CTestEventHost() : m_point(this, this, m_shuttingDown) {}

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IConnectionPointContainer) {
      *ppv = static_cast<IConnectionPointContainer*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override { return --m_refs; }
  STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) override {
    if (ppCP == nullptr) return E_POINTER;
    *ppCP = nullptr;
    if (riid != DIID__IVokQuotesEvents) return CONNECT_E_NOCONNECTION;
    *ppCP = &m_point;
    m_point.AddRef();
    return S_OK;
  }

  std::atomic<bool> m_shuttingDown{false};
  std::atomic<ULONG> m_refs{0};
  CProxy_IVokQuotesEvents m_point;
};

class ConnectionPoint : public ::testing::Test {
 protected:
  vok::CComApartment m_apartment{vok::CComApartment::kMultiThreaded};
  std::atomic<int> m_sequence{0};
  CTestEventHost m_host;
  CProxy_IVokQuotesEvents& Point() { return m_host.m_point; }
};

TEST_F(ConnectionPoint, CookiesAreSlotPositionsReusedFirstFreeAndTheArrayDoubles) {
  // Refused: nulls, and an object that is no event sink (the host answers no event interface).
  DWORD cookie = 99;
  EXPECT_EQ(Point().Advise(nullptr, &cookie), E_POINTER);
  EXPECT_EQ(Point().Advise(&m_host, &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  std::vector<std::unique_ptr<CTestEventSink>> sinks;
  for (int i = 0; i < 6; ++i) sinks.push_back(std::make_unique<CTestEventSink>(&m_sequence));
  DWORD cookies[6] = {};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Point().Advise(sinks[i].get(), &cookies[i]), S_OK);
  EXPECT_EQ(cookies[0], 1u);
  EXPECT_EQ(cookies[1], 2u);
  EXPECT_EQ(cookies[2], 3u);
  EXPECT_EQ(Point().SlotCount(), 4u);
  EXPECT_EQ(Point().Unadvise(2), S_OK);
  ASSERT_EQ(Point().Advise(sinks[3].get(), &cookies[3]), S_OK);
  EXPECT_EQ(cookies[3], 2u);
  ASSERT_EQ(Point().Advise(sinks[4].get(), &cookies[4]), S_OK);
  EXPECT_EQ(cookies[4], 4u);
  ASSERT_EQ(Point().Advise(sinks[5].get(), &cookies[5]), S_OK);
  EXPECT_EQ(cookies[5], 5u);
  EXPECT_EQ(Point().SlotCount(), 8u);

  EXPECT_EQ(Point().Advise(sinks[0].get(), nullptr), E_POINTER);
  for (DWORD bad : {0u, 7u, 9u, 100u}) EXPECT_EQ(Point().Unadvise(bad), CONNECT_E_NOCONNECTION) << bad;
  EXPECT_EQ(Point().Unadvise(2), S_OK);
  EXPECT_EQ(Point().Unadvise(2), CONNECT_E_NOCONNECTION);
  for (DWORD c : {1u, 3u, 4u, 5u}) EXPECT_EQ(Point().Unadvise(c), S_OK);
  // Every reference the point took is given back.
  for (auto& sink : sinks) EXPECT_EQ(sink->Refs(), 0u);
}

TEST_F(ConnectionPoint, FiresFromAWorkerToEverySinkInCookieOrderPastFailingSinks) {
  CTestEventSink first(&m_sequence), failing(&m_sequence, true), gone(&m_sequence), last(&m_sequence);
  DWORD c1, c2, c3, c4;
  ASSERT_EQ(Point().Advise(&first, &c1), S_OK);
  ASSERT_EQ(Point().Advise(&failing, &c2), S_OK);
  ASSERT_EQ(Point().Advise(&gone, &c3), S_OK);
  ASSERT_EQ(Point().Advise(&last, &c4), S_OK);
  ASSERT_EQ(Point().Unadvise(c3), S_OK);

  std::thread([this] {
    vok::CComApartment mta(vok::CComApartment::kMultiThreaded);
    Point().Fire_OnConnect(0);
    Point().Fire_OnClose(7);
    Point().Fire_OnLogonSucceed();
  }).join();

  const struct {
    DISPID dispid;
    LONG arg;
  } expected[] = {{1, 0}, {2, 7}, {3, -12345}};
  int order = 0;
  for (int event = 0; event < 3; ++event) {
    for (CTestEventSink* sink : {&first, &failing, &last}) {
      const auto calls = sink->Calls();
      ASSERT_EQ(calls.size(), 3u);
      EXPECT_EQ(calls[event].dispid, expected[event].dispid);
      EXPECT_EQ(calls[event].arg, expected[event].arg);
      EXPECT_EQ(calls[event].order, order++);
    }
  }
  EXPECT_TRUE(gone.Calls().empty());

  // The enumerator is a snapshot: it keeps what it saw after a later Unadvise.
  EXPECT_EQ(Point().EnumConnections(nullptr), E_POINTER);
  vok::CComPtr<IEnumConnections> connections;
  ASSERT_EQ(Point().EnumConnections(connections.Put()), S_OK);
  ASSERT_EQ(Point().Unadvise(c2), S_OK);
  CONNECTDATA data[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(connections->Next(4, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 3u);
  CTestEventSink* sinks[] = {&first, &failing, &last};
  const DWORD cookies[] = {c1, c2, c4};
  for (ULONG i = 0; i < fetched; ++i) {
    vok::CComPtr<IUnknown> unknown = vok::CComPtr<IUnknown>::Attach(data[i].pUnk);
    EXPECT_EQ(unknown.Get(), static_cast<IUnknown*>(sinks[i]));
    EXPECT_EQ(data[i].dwCookie, cookies[i]);
  }

  // Once the owner's release has begun, nothing more is delivered.
  m_host.m_shuttingDown = true;
  Point().Fire_OnClose(0);
  EXPECT_EQ(first.Calls().size(), 3u);
  for (DWORD c : {c1, c4}) EXPECT_EQ(Point().Unadvise(c), S_OK);
}

}  // namespace

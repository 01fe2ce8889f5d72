// Service objects created, connected, subscribed and released while the feed runs, on one thread
// and then on two (the sanitizer builds run it too). An update of a released object that still
// reaches a callback shows as a stale symbol. VOK_FAULT_LIFECYCLES sets the cycles.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "fault_test_util.h"
#include "platform/message_loop.h"
#include "service/connection_times_test_util.h"
#include "vokcommon/record_copy.h"

namespace {

using vok::test::Bstr;
using vok::test::Eventually;

bool Cached(IVokQuotes* quotes, const std::string& symbol) {
  QUOTERECORD cached{};
  quotes->GetCachedQuote(Bstr(symbol).Get(), &cached);
  const bool found = cached.bstrSymbol != nullptr;
  FreeQuoteRecord(cached);
  return found;
}

// One subscriber thread's share of the stress: each cycle a new object connects, subscribes a
// new symbol from the client thread, waits (up to feedWaitMs) until the symbol's updates are in
// the cache and so queued for the thread, and is released, half the time after UnadviseAll.
void Cycles(const std::string& prefix, int cycles, std::uint32_t feedWaitMs, int port, vok::test::CClientThread& client,
            vok::fault::CMarkerNotify& notify) {
  vok::CComApartment apartment{vok::CComApartment::kMultiThreaded};
  for (int cycle = 0; cycle < cycles; ++cycle) {
    const std::string symbol = prefix + std::to_string(cycle);
    // On the subscriber thread, so a callback of the last object still running there ends first.
    client.Run([&] { notify.Expect(symbol); });
    // No event sink: the pump may still be firing into one when its object goes, and these
    // cycles are about the subscriber thread.
    vok::test::CQuotesSession session(false);
    ASSERT_TRUE(session.m_priv);
    session.Configure("127.0.0.1", port, vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
    session.Connect();
    IVokQuotes* quotes = session.m_quotes.Get();
    client.Run([&] { quotes->AdviseSymbol(&notify, Bstr(symbol).Get(), qsfLevelOne); });
    Eventually([&] { return Cached(quotes, symbol); }, feedWaitMs);
    if (cycle % 2 == 0) client.Run([&] { quotes->UnadviseAll(&notify); });
    session.Release();
  }
}

TEST(LifecycleStress, ObjectsReleasedUnderALiveFeedDeliverNothingStaleAndLeaveNothingBehind) {
  const int cycles = vok::fault::EnvCount("VOK_FAULT_LIFECYCLES", 1000);
  vok::test::CScopedConnectionTimes times(1000, 2, 1, 5);
  auto options = vok::fault::CLiveFeed::DefaultOptions();
  options.rate = 200;
  vok::sim::CQuoteServer server(options);
  ASSERT_TRUE(server.Start());

  // The first object makes the process-wide pump's timers and wake-up, which stay for the
  // process: one object before the counts are taken.
  {
    vok::CComApartment apartment{vok::CComApartment::kMultiThreaded};
    vok::test::CQuotesSession first;
    first.Configure("127.0.0.1", server.Port(), vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
    first.Connect();
    ASSERT_TRUE(first.WaitForEvent(vok::dispid::OnLogonSucceed));
  }

  const struct {
    int threads;
    std::uint32_t feedWaitMs;  // two objects at once take turns being the one the feed reaches
  } cases[] = {{1, 20000}, {2, 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.threads << " thread(s)");
    std::vector<std::unique_ptr<vok::test::CClientThread>> clients;
    std::vector<std::unique_ptr<vok::fault::CMarkerNotify>> notifies;
    for (int t = 0; t < c.threads; ++t) {
      clients.push_back(std::make_unique<vok::test::CClientThread>());
      notifies.push_back(std::make_unique<vok::fault::CMarkerNotify>());
      // Its message queue (three descriptors) exists before the counts are taken.
      clients.back()->Run([] { vok::CurrentMessageTarget(); });
    }
    const vok::fault::SResources baseline = vok::fault::Resources();
    const int connectionsBefore = server.ConnectionCount();
    const std::uint64_t start = vok::MonotonicMs();
    std::vector<std::thread> threads;
    for (int t = 0; t < c.threads; ++t) {
      threads.emplace_back([&, t] {
        Cycles("T" + std::to_string(t) + "S", cycles / c.threads, c.feedWaitMs, server.Port(), *clients[t],
               *notifies[t]);
      });
    }
    for (auto& thread : threads) thread.join();
    std::printf("[ figures  ] %d cycles on %d thread(s) in %llu ms, %d connections\n", cycles, c.threads,
                static_cast<unsigned long long>(vok::MonotonicMs() - start),
                server.ConnectionCount() - connectionsBefore);

    // A last object on the first thread still connects and delivers: nothing of the released
    // ones lingers in the process-wide state.
    {
      vok::CComApartment apartment{vok::CComApartment::kMultiThreaded};
      vok::test::CQuotesSession last;
      last.Configure("127.0.0.1", server.Port(), vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
      clients[0]->Run([&] { notifies[0]->Expect("LAST"); });
      const long before = notifies[0]->Calls(0);
      last.Connect();
      clients[0]->Run([&] { last.m_quotes->AdviseSymbol(notifies[0].get(), Bstr("LAST").Get(), qsfLevelOne); });
      EXPECT_TRUE(Eventually([&] { return notifies[0]->Calls(0) >= before + 2; }));
      clients[0]->Run([&] { last.m_quotes->UnadviseAll(notifies[0].get()); });
    }
    for (auto& client : clients) client->Run([] {});  // drains what is still queued
    for (auto& notify : notifies) EXPECT_EQ(notify->Stale(), 0) << "callbacks for a released object's symbol";
    vok::fault::ExpectBackTo(baseline);
  }
}

}  // namespace

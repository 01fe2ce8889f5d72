// Windows only: an event fired on a worker thread reaches a sink that lives in a single-threaded
// apartment inside that apartment, on its own thread, delivered by that thread's message loop.
#include <gtest/gtest.h>

#include <thread>

#include "platform/event.h"
#include "platform/interface_table.h"
#include "platform/message_loop.h"
#include "service/event_sink_test_util.h"

namespace {

TEST(StaEvents, WorkerFiredEventReachesStaSinkOnItsOwnThread) {
  vok::CComApartment mta(vok::CComApartment::kMultiThreaded);
  std::atomic<int> sequence{0};
  CTestEventHost host;
  std::atomic<bool> advised{false}, fired{false};
  std::atomic<vok::ThreadId> staThread{0};
  std::vector<CTestEventSink::CCall> calls;

  std::thread sta([&] {
    vok::CComApartment apartment(vok::CComApartment::kSingleThreaded);
    ASSERT_TRUE(apartment.Joined());
    CTestEventSink sink(&sequence);
    DWORD cookie = 0;
    ASSERT_EQ(host.m_point.Advise(&sink, &cookie), S_OK);
    staThread = vok::CurrentThreadId();
    advised = true;
    // Pump until both events arrived (the worker's calls are marshalled into this loop) and the
    // worker is done with its proxies, whose release also calls into this apartment.
    vok::RunMessageLoop([&] { return sink.Calls().size() >= 2 && fired; }, 10000);
    calls = sink.Calls();
    EXPECT_EQ(host.m_point.Unadvise(cookie), S_OK);
  });
  while (!advised) std::this_thread::yield();
  std::thread worker([&] {
    vok::CComApartment workerMta(vok::CComApartment::kMultiThreaded);
    host.m_point.Fire_OnConnect(0);
    host.m_point.Fire_OnLogonSucceed();
    fired = true;
  });
  worker.join();
  sta.join();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].dispid, 1);
  EXPECT_EQ(calls[0].arg, 0);
  EXPECT_EQ(calls[1].dispid, 3);
  for (const auto& call : calls) EXPECT_EQ(call.thread, staThread.load());
  EXPECT_TRUE(fired);
}

}  // namespace

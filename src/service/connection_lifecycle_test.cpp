// The connection's delays at their real lengths and the reconnect delays the lifecycle draws; the
// events it fires and the forged messages it ignores are shown against the simulator.
#include "service/connection_lifecycle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "service/connection_times.h"

namespace {

// The delays at their real lengths: the tests that run connections shorten them.
TEST(ConnectionLifecycle, TheRealDelaysAndReconnectDelaysDrawnInWholeStepsIndependentlyOfTheCLibrarySeed) {
  EXPECT_EQ(vok::ConnectionTimes().heartbeatMs.load(), 30000u);
  EXPECT_EQ(vok::ConnectionTimes().connectRetryMs.load(), 20000u);
  auto draw = [] {
    std::srand(7);
    std::vector<std::uint32_t> delays(40);
    for (auto& delay : delays) delay = CConnectionLifecycle::ReconnectDelayMs();
    return delays;
  };
  const std::vector<std::uint32_t> first = draw();
  std::set<std::uint32_t> seen(first.begin(), first.end());
  for (std::uint32_t delay : seen) EXPECT_TRUE(delay >= 10000 && delay <= 14000 && delay % 1000 == 0) << delay;
  EXPECT_GE(seen.size(), 3u);
  // The same C library seed (two processes started in the same second) gives another sequence.
  EXPECT_NE(draw(), first);
}

}  // namespace

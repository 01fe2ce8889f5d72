// Staleness of a live view's symbols: quiet past the limit, or since a reconnect, until the next
// record; each change reported once.
#include "staleness.h"

#include <gtest/gtest.h>

namespace vok::cli {
namespace {

TEST(Staleness, TurnsStaleWhenQuietOrReconnectedAndFreshWithTheNextRecord) {
  CStalenessTracker tracker({"IBM", "MSFT"}, 1000, 5000);
  EXPECT_EQ(tracker.NextCheckMs(), 6001u);
  EXPECT_TRUE(tracker.Check(6000).empty());
  EXPECT_FALSE(tracker.OnRecord("IBM", 5500));
  EXPECT_EQ(tracker.Check(6001), std::vector<std::string>{"MSFT"});
  EXPECT_TRUE(tracker.Check(6100).empty());  // said once
  EXPECT_EQ(tracker.Stale(), std::vector<std::string>{"MSFT"});
  EXPECT_EQ(tracker.NextCheckMs(), 6501u);
  EXPECT_TRUE(tracker.OnRecord("MSFT", 6200));
  EXPECT_FALSE(tracker.OnRecord("MSFT", 6300));
  EXPECT_FALSE(tracker.OnRecord("+IBM 1234", 6300));  // not a symbol of the view

  EXPECT_EQ(tracker.OnReconnect(), (std::vector<std::string>{"IBM", "MSFT"}));
  EXPECT_TRUE(tracker.OnReconnect().empty());
  EXPECT_TRUE(tracker.Check(100000).empty());
  EXPECT_EQ(tracker.NextCheckMs(), UINT64_MAX);
  EXPECT_TRUE(tracker.OnRecord("IBM", 7000));
  EXPECT_EQ(tracker.Stale(), std::vector<std::string>{"MSFT"});
}

}  // namespace
}  // namespace vok::cli

// The time of each subscribed symbol's last update: set by a data message of its own service,
// forgotten at every logon (resubscription) until the server sends the symbol again.
#include <gtest/gtest.h>

#include "handlers/handler_set.h"
#include "handlers/handler_test_support.h"

namespace {

using namespace vok::test;

std::int64_t LastUpdateOf(CHandlerSet& set, const std::string& symbol, long flag) {
  for (const SSymbolUpdate& update : set.LastUpdates())
    if (update.symbol == symbol && update.serviceFlag == flag) return update.lastUpdateNs;
  return -1;  // not subscribed
}

TEST(LastUpdate, ComesWithEachServicesDataAndIsForgottenAtResubscription) {
  CFakeHost host;
  CHandlerSet set;
  set.Create(&host);
  CRecordingNotify notify;
  CClientThread client;
  client.Run([&] { set.Advise(&notify, "IBM", qsfLevelOne | qsfTimeAndSales); });

  EXPECT_EQ(set.LastUpdates().size(), 2u);
  EXPECT_EQ(LastUpdateOf(set, "IBM", qsfLevelOne), 0);
  EXPECT_EQ(LastUpdateOf(set, "MSFT", qsfLevelOne), -1);

  auto feed = [&](const std::string& line) {
    VOKMessage message(line.c_str(), static_cast<int>(line.size()));
    set.Dispatch(message);
  };
  feed("1|1003=IBM;2002=1.5");
  feed("1|1003=MSFT;2002=2.5");  // a stray symbol is not tracked
  const std::int64_t level1 = LastUpdateOf(set, "IBM", qsfLevelOne);
  EXPECT_GT(level1, 0);
  EXPECT_EQ(LastUpdateOf(set, "IBM", qsfTimeAndSales), 0);
  EXPECT_EQ(LastUpdateOf(set, "MSFT", qsfLevelOne), -1);

  feed("3|1003=IBM;2002=1.5;2007=100");
  EXPECT_GT(LastUpdateOf(set, "IBM", qsfTimeAndSales), 0);
  EXPECT_EQ(LastUpdateOf(set, "IBM", qsfLevelOne), level1);

  set.Resubscribe();
  EXPECT_EQ(LastUpdateOf(set, "IBM", qsfLevelOne), 0);
  EXPECT_EQ(LastUpdateOf(set, "IBM", qsfTimeAndSales), 0);
  feed("1|1003=IBM;2002=1.6");
  EXPECT_GE(LastUpdateOf(set, "IBM", qsfLevelOne), level1);

  client.Run([&] { set.UnadviseAll(&notify); });
  EXPECT_TRUE(set.LastUpdates().empty());
  set.Destroy();
}

}  // namespace

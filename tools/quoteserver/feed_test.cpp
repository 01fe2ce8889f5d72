// The simulated market: determinism by seed, the fields each service's lines carry, option
// symbols, and the time texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "feed.h"
#include "message/vok_message.h"
#include "symbol_profile.h"
#include "time_text.h"
#include "vokcommon/vok_date_time.h"

namespace vok::sim {
namespace {

constexpr std::int64_t kStart = 1796482800000;  // 2026-12-05 15:00:00 UTC

SFeedSettings Settings(std::uint64_t seed, ETimeStyle times = ETimeStyle::Utc) {
  SFeedSettings settings;
  settings.seed = seed;
  settings.startMs = kStart;
  settings.stepMs = 250;
  settings.times = times;
  return settings;
}

// The snapshot and `updates` updates, parsed; every line must end with a line feed.
std::vector<VOKMessage> Feed(int service, const std::string& symbol, const SFeedSettings& settings, int updates) {
  auto feed = CFeed::Create(service, symbol, settings);
  std::string text;
  feed->Snapshot(text);
  for (int i = 0; i < updates; ++i) feed->Update(text);
  std::vector<VOKMessage> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.emplace_back(text.c_str() + start, static_cast<int>(end - start));
  EXPECT_EQ(start, text.size()) << "every line ends with a line feed";
  return lines;
}

std::string Text(const VOKMessage& message, int fid) {
  std::string value = "<absent>";
  message.GetString(fid, value);
  return value;
}

double Number(const VOKMessage& message, int fid) {
  double value = -1;
  message.GetDouble(fid, value);
  return value;
}

TEST(FeedTest, SameSeedGivesSameLinesAndOtherSeedsDiffer) {
  const auto text = [](int service, const char* symbol, std::uint64_t seed, int updates) {
    std::vector<std::string> lines;
    for (const auto& message : Feed(service, symbol, Settings(seed), updates)) lines.push_back(message.ToString());
    return lines;
  };
  for (int service : {kLevel1Service, kLevel2Service, kTimeSalesService, kOptionsService}) {
    SCOPED_TRACE(service);
    auto first = text(service, "ABC", 7, 50);
    text(service, "OTHER", 7, 10);  // another symbol's stream in between must not disturb this one
    EXPECT_EQ(first, text(service, "ABC", 7, 50));
    EXPECT_NE(first, text(service, "ABC", 8, 50));
    EXPECT_NE(first, text(service, "ABD", 7, 50));
  }
  EXPECT_EQ(CFeed::Create(20002, "ABC", Settings(1)), nullptr);
}

TEST(FeedTest, LevelOnePricesWalkInCentsWithTheBidBelowTheAsk) {
  auto lines = Feed(kLevel1Service, "MSFT", Settings(3), 200);
  EXPECT_EQ(Text(lines[0], 2043), "20261205-15:00:00.000");
  EXPECT_EQ(Text(lines.back(), 2043), "20261205-15:00:50.000") << "200 steps of 250 ms";
  int trades = 0, quotes = 0;
  std::set<double> lasts;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    ASSERT_EQ(Text(lines[i], 1003), "MSFT");
    if (const double bid = Number(lines[i], 2003), ask = Number(lines[i], 2004); bid > 0 && ask > 0) {
      ++quotes;
      EXPECT_LT(bid, ask);
    }
    if (const double last = Number(lines[i], 2002); last > 0) {
      ++trades;
      EXPECT_TRUE(Text(lines[i], 2013) == std::to_string(kTickUp) || Text(lines[i], 2013) == std::to_string(kTickDown));
      EXPECT_NEAR(last * 100, static_cast<double>(static_cast<long long>(last * 100 + 0.5)), 1e-6);
      lasts.insert(last);
    }
  }
  EXPECT_GT(trades, 50);
  EXPECT_GT(quotes, 50);
  EXPECT_GT(lasts.size(), 1u) << "the price walks";

  // An option's quote carries its contract; the client builds the description itself.
  const auto option = Feed(kLevel1Service, "+XYZ-270115-P-52.5", Settings(3), 0)[0];
  const std::pair<int, const char*> fields[] = {{2021, "<absent>"}, {2041, "100"}, {2036, "1"},  {2040, "2027"},
                                                {2035, "52.5"},     {2038, "P"},   {2034, "XYZ"}};
  for (const auto& [fid, expected] : fields) EXPECT_EQ(Text(option, fid), expected) << fid;
}

TEST(FeedTest, LevelTwoBookHasSeveralParticipantsOnBothSidesWhoWithdrawNowAndThen) {
  const std::size_t snapshot = Feed(kLevel2Service, "IBM", Settings(5), 0).size();
  const auto lines = Feed(kLevel2Service, "IBM", Settings(5), 400);
  std::set<std::string> bids, asks;
  for (std::size_t i = 0; i < snapshot; ++i) {
    EXPECT_GT(Number(lines[i], 2019), 0);
    EXPECT_EQ(Text(lines[i], 2024), "O");
    EXPECT_EQ(Text(lines[i], 2020), "12/05/2026 10:00:00");
    (Text(lines[i], 2017) == "20010" ? bids : asks).insert(Text(lines[i], 2016));
  }
  EXPECT_GE(bids.size(), 4u);
  EXPECT_EQ(bids, asks);
  int closed = 0;
  for (std::size_t i = snapshot; i < lines.size(); ++i) {
    EXPECT_EQ(bids.count(Text(lines[i], 2016)), 1u);
    if (Text(lines[i], 2024) == "C") {
      ++closed;
      EXPECT_EQ(Text(lines[i], 2019), "0");
    }
  }
  EXPECT_GT(closed, 0);
}

TEST(FeedTest, TimeAndSalesPrintsCarryThePriceAndSizeOfTheirType) {
  auto lines = Feed(kTimeSalesService, "T", Settings(9), 300);
  ASSERT_EQ(lines.size(), 300u) << "no snapshot for time and sales";
  std::set<std::string> types;
  for (const auto& print : lines) {
    const std::string type = print.HasField(2084) ? Text(print, 2084) : "0";  // a trade says no type
    types.insert(type);
    const int priceField = type == "0" ? 2002 : type == "1" ? 2003 : 2004;
    const int sizeField = type == "0" ? 2007 : type == "1" ? 2005 : 2006;
    EXPECT_GT(Number(print, priceField), 0) << print.ToString();
    EXPECT_GT(Number(print, sizeField), 0) << print.ToString();
  }
  EXPECT_EQ(types, (std::set<std::string>{"0", "1", "2"}));
}

TEST(FeedTest, OptionChainNamesTheUnderlyingAndParsesBack) {
  std::set<std::string> symbols;
  std::set<int> expiries;
  for (const auto& option : Feed(kOptionsService, "XYZ", Settings(11), 40)) {
    EXPECT_EQ(option.GetType(), '4');
    EXPECT_EQ(Text(option, 2034), "XYZ");
    const std::string symbol = Text(option, 1003);
    SOptionContract contract;
    ASSERT_TRUE(ParseOptionSymbol(symbol, contract)) << symbol;
    EXPECT_EQ(contract.underlying, "XYZ");
    EXPECT_EQ(FormatOptionSymbol(contract), symbol);
    EXPECT_DOUBLE_EQ(Number(option, 2035) * 100, static_cast<double>(contract.strikeCents));
    EXPECT_EQ(Text(option, 2038), contract.put ? "P" : "C");
    symbols.insert(symbol);
    expiries.insert(contract.expYear * 10000 + contract.expMonth * 100 + contract.expDay);
  }
  EXPECT_EQ(symbols.size(), 36u) << "9 strikes, 2 expiries, calls and puts";
  EXPECT_EQ(expiries, (std::set<int>{20270115, 20270219})) << "third Fridays of the next two months";

  SOptionContract contract;
  for (const char* bad :
       {"XYZ", "+XYZ", "+XYZ-2701-C-10", "+XYZ-270115-X-10", "+XYZ-270115-C-", "+XYZ-271315-C-10", "+-270115-C-10"}) {
    EXPECT_FALSE(ParseOptionSymbol(bad, contract)) << bad;
  }
}

TEST(FeedTest, TimesReadBackThroughTheClientsDateParser) {
  // Around both daylight-saving changes of 2026 and in plain winter and summer. Eastern texts in
  // the hour repeated in November are ambiguous and read as standard time, so none is taken here.
  for (const char* utc : {"20260308-06:59:59", "20260308-07:00:00", "20261101-04:59:59", "20261101-06:00:00",
                          "20260115-14:30:00", "20260715-23:59:59"}) {
    SCOPED_TRACE(utc);
    SFeedSettings settings = Settings(1);
    ASSERT_TRUE(ParseUtcTimestamp(utc, settings.startMs));
    const double expected = static_cast<double>(settings.startMs) / 86400000.0 + 25569.0;
    CVokDateTime fromUtc, fromEastern, fromLevel2;
    ASSERT_TRUE(fromUtc.ParseFIXUtcTimestamp(Text(Feed(kLevel1Service, "A", settings, 0)[0], 2043)));
    settings.times = ETimeStyle::Eastern;
    const auto eastern = Feed(kLevel1Service, "A", settings, 0)[0];
    ASSERT_TRUE(fromEastern.ParseETDateTime((Text(eastern, 2015) + " " + Text(eastern, 2014)).c_str()));
    ASSERT_TRUE(fromLevel2.ParseETDateTime(Text(Feed(kLevel2Service, "A", settings, 0)[0], 2020).c_str()));
    for (const CVokDateTime* parsed : {&fromUtc, &fromEastern, &fromLevel2}) EXPECT_NEAR(parsed->m_dt, expected, 1e-8);
  }
}

}  // namespace
}  // namespace vok::sim

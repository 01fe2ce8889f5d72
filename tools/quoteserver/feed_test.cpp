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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends with a line feed";
  return lines;
}

std::vector<std::string> FeedLines(int service, const std::string& symbol, const SFeedSettings& settings, int updates) {
  auto feed = CFeed::Create(service, symbol, settings);
  std::string text;
  feed->Snapshot(text);
  for (int i = 0; i < updates; ++i) feed->Update(text);
  return Lines(text);
}

VOKMessage Parse(const std::string& line) { return VOKMessage(line.c_str(), static_cast<int>(line.size())); }

std::string Text(const VOKMessage& message, int fid) {
  std::string value;
  EXPECT_TRUE(message.GetString(fid, value)) << "field " << fid << " missing";
  return value;
}

TEST(FeedTest, SameSeedGivesSameLinesAndOtherSeedsDiffer) {
  for (int service : {kLevel1Service, kLevel2Service, kTimeSalesService, kOptionsService}) {
    SCOPED_TRACE(service);
    auto first = FeedLines(service, "ABC", Settings(7), 50);
    // Another symbol's stream in between must not disturb this one.
    FeedLines(service, "OTHER", Settings(7), 10);
    EXPECT_EQ(first, FeedLines(service, "ABC", Settings(7), 50));
    EXPECT_NE(first, FeedLines(service, "ABC", Settings(8), 50));
    EXPECT_NE(first, FeedLines(service, "ABD", Settings(7), 50));
  }
  EXPECT_EQ(CFeed::Create(20002, "ABC", Settings(1)), nullptr);
}

TEST(FeedTest, LevelOneCarriesEveryFieldTheHandlerReads) {
  auto lines = FeedLines(kLevel1Service, "MSFT", Settings(3), 200);
  VOKMessage snapshot = Parse(lines[0]);
  EXPECT_EQ(snapshot.GetType(), '1');
  EXPECT_EQ(Text(snapshot, 1003), "MSFT");
  for (int fid : {2022, 2021, 2002, 2003, 2004, 2005, 2006, 2009, 2010, 2007, 2012, 2011, 2013, 2008, 2032, 2031}) {
    EXPECT_TRUE(snapshot.HasField(fid)) << fid;
  }
  EXPECT_EQ(Text(snapshot, 2043), "20261205-15:00:00.000");

  int trades = 0, quotes = 0;
  double low = 1e18, high = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    VOKMessage update = Parse(lines[i]);
    ASSERT_EQ(Text(update, 1003), "MSFT");
    double bid = 0, ask = 0, last = 0;
    if (update.GetDouble(2003, bid) && update.GetDouble(2004, ask)) {
      ++quotes;
      EXPECT_LT(bid, ask);
    }
    if (update.GetDouble(2002, last)) {
      ++trades;
      int tick = 0;
      EXPECT_TRUE(update.GetInt(2013, tick));
      EXPECT_TRUE(tick == kTickUp || tick == kTickDown);
      EXPECT_NEAR(last * 100, static_cast<double>(static_cast<long long>(last * 100 + 0.5)), 1e-6);
      low = std::min(low, last);
      high = std::max(high, last);
    }
  }
  EXPECT_GT(trades, 50);
  EXPECT_GT(quotes, 50);
  EXPECT_GT(high, low) << "the price walks";
  // The 200th update is stamped 200 steps of 250 ms after the start.
  EXPECT_EQ(Text(Parse(lines.back()), 2043), "20261205-15:00:50.000");

  VOKMessage eastern = Parse(FeedLines(kLevel1Service, "MSFT", Settings(3, ETimeStyle::Eastern), 0)[0]);
  EXPECT_FALSE(eastern.HasField(2043));
  EXPECT_EQ(Text(eastern, 2015), "12/05/2026");
  EXPECT_EQ(Text(eastern, 2014), "10:00:00");

  VOKMessage option = Parse(FeedLines(kLevel1Service, "+XYZ-270115-P-52.5", Settings(3), 0)[0]);
  EXPECT_FALSE(option.HasField(2021)) << "the client builds an option's description itself";
  int contract = 0, month = 0, year = 0;
  double strike = 0;
  EXPECT_TRUE(option.GetInt(2041, contract) && option.GetInt(2036, month) && option.GetInt(2040, year) &&
              option.GetDouble(2035, strike));
  EXPECT_EQ(contract, 100);
  EXPECT_EQ(month, 1);
  EXPECT_EQ(year, 2027);
  EXPECT_DOUBLE_EQ(strike, 52.5);
  EXPECT_EQ(Text(option, 2038), "P");
  EXPECT_EQ(Text(option, 2034), "XYZ");
}

TEST(FeedTest, LevelTwoBookHasSeveralParticipantsOnBothSides) {
  auto feed = CFeed::Create(kLevel2Service, "IBM", Settings(5));
  std::string text;
  feed->Snapshot(text);
  std::set<std::string> bids, asks;
  bool tdfx = false, arca = false;
  for (const std::string& line : Lines(text)) {
    VOKMessage message = Parse(line);
    EXPECT_EQ(message.GetType(), '2');
    EXPECT_EQ(Text(message, 1003), "IBM");
    std::string mmid = Text(message, 2016);
    int side = 0, size = 0;
    double price = 0;
    ASSERT_TRUE(message.GetInt(2017, side) && message.GetInt(2019, size) && message.GetDouble(2018, price));
    EXPECT_GT(size, 0);
    EXPECT_EQ(Text(message, 2024), "O");
    EXPECT_EQ(Text(message, 2020), "12/05/2026 10:00:00");
    (side == 20010 ? bids : asks).insert(mmid);
    tdfx = tdfx || mmid.rfind("TDFX", 0) == 0;
    arca = arca || mmid.rfind("ARCA", 0) == 0;
    if (mmid.rfind("ARCA", 0) == 0) {
      EXPECT_FALSE(message.HasField(2033));
    }
  }
  EXPECT_GE(bids.size(), 4u);
  EXPECT_EQ(bids, asks);
  EXPECT_TRUE(tdfx);
  EXPECT_TRUE(arca);

  int closed = 0;
  for (int i = 0; i < 400; ++i) {
    text.clear();
    feed->Update(text);
    VOKMessage message = Parse(Lines(text).at(0));
    EXPECT_TRUE(bids.count(Text(message, 2016)));
    if (Text(message, 2024) == "C") {
      ++closed;
      int size = -1;
      EXPECT_TRUE(message.GetInt(2019, size));
      EXPECT_EQ(size, 0);
    }
  }
  EXPECT_GT(closed, 0) << "participants withdraw now and then";
}

TEST(FeedTest, TimeAndSalesPrintsCarryThePriceAndSizeOfTheirType) {
  auto lines = FeedLines(kTimeSalesService, "T", Settings(9), 300);
  ASSERT_EQ(lines.size(), 300u) << "no snapshot for time and sales";
  std::set<int> types;
  for (const std::string& line : lines) {
    VOKMessage message = Parse(line);
    int type = 0;
    message.GetInt(2084, type);
    types.insert(type);
    const int priceField = type == 0 ? 2002 : type == 1 ? 2003 : 2004;
    const int sizeField = type == 0 ? 2007 : type == 1 ? 2005 : 2006;
    double price = 0;
    int size = 0;
    EXPECT_TRUE(message.GetDouble(priceField, price) && price > 0) << line;
    EXPECT_TRUE(message.GetInt(sizeField, size) && size > 0) << line;
    for (int fid : {2022, 2039, 2015, 2014, 2083, 2013, 2082}) EXPECT_TRUE(message.HasField(fid)) << line;
  }
  EXPECT_EQ(types, (std::set<int>{0, 1, 2}));
}

TEST(FeedTest, OptionChainNamesTheUnderlyingAndParsesBack) {
  auto lines = FeedLines(kOptionsService, "XYZ", Settings(11), 40);
  std::set<std::string> symbols;
  std::set<int> expiries;
  int puts = 0;
  for (const std::string& line : lines) {
    VOKMessage message = Parse(line);
    EXPECT_EQ(message.GetType(), '4');
    EXPECT_EQ(Text(message, 2034), "XYZ");
    std::string symbol = Text(message, 1003);
    EXPECT_EQ(symbol.substr(0, symbol.find('-')), "+XYZ");
    SOptionContract contract;
    ASSERT_TRUE(ParseOptionSymbol(symbol, contract)) << symbol;
    EXPECT_EQ(contract.underlying, "XYZ");
    EXPECT_EQ(FormatOptionSymbol(contract), symbol);
    double strike = 0;
    EXPECT_TRUE(message.GetDouble(2035, strike));
    EXPECT_DOUBLE_EQ(strike * 100, static_cast<double>(contract.strikeCents));
    EXPECT_EQ(Text(message, 2038), contract.put ? "P" : "C");
    puts += contract.put ? 1 : 0;
    symbols.insert(symbol);
    expiries.insert(contract.expYear * 10000 + contract.expMonth * 100 + contract.expDay);
  }
  EXPECT_EQ(symbols.size(), 36u) << "9 strikes, 2 expiries, calls and puts";
  EXPECT_EQ(expiries, (std::set<int>{20270115, 20270219})) << "third Fridays of the next two months";
  EXPECT_GT(puts, 0);

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

    VOKMessage level1 = Parse(FeedLines(kLevel1Service, "A", settings, 0)[0]);
    CVokDateTime fromUtc;
    ASSERT_TRUE(fromUtc.ParseFIXUtcTimestamp(Text(level1, 2043)));
    EXPECT_NEAR(fromUtc.m_dt, expected, 1e-8);

    settings.times = ETimeStyle::Eastern;
    VOKMessage eastern = Parse(FeedLines(kLevel1Service, "A", settings, 0)[0]);
    CVokDateTime fromEastern;
    ASSERT_TRUE(fromEastern.ParseETDateTime((Text(eastern, 2015) + " " + Text(eastern, 2014)).c_str()));
    EXPECT_NEAR(fromEastern.m_dt, expected, 1e-8);

    VOKMessage level2 = Parse(FeedLines(kLevel2Service, "A", settings, 0)[0]);
    CVokDateTime fromLevel2;
    ASSERT_TRUE(fromLevel2.ParseETDateTime(Text(level2, 2020).c_str()));
    EXPECT_NEAR(fromLevel2.m_dt, expected, 1e-8);
  }
}

}  // namespace
}  // namespace vok::sim

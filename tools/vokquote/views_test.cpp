// The terminal views checked by what they render: board rows in the asked order, book levels, the
// stale marks of both, the option chain by expiry and strike, the tape newest first, and the
// number and frame layout.
#include <gtest/gtest.h>

#include "board_view.h"
#include "book_view.h"
#include "chain_view.h"
#include "client_api.h"
#include "number_format.h"
#include "screen.h"
#include "tape_view.h"

namespace vok::cli {
namespace {

TEST(Views, BoardKeepsTheAskedOrderAndColoursByTick) {
  CBoardView board({"MSFT", "IBM"}, true);
  CBstr msft = CBstr::FromUtf8("MSFT"), other = CBstr::FromUtf8("AAPL");
  QUOTERECORD rec{};
  rec.bstrSymbol = msft.Get();
  rec.dLast = 310.52;
  rec.dPrevClose = 311.0;
  rec.dBid = 310.51;
  rec.lBidSize = 4300;
  rec.dAsk = 310.55;
  rec.lAskSize = 4200;
  rec.lVolume = 478700;
  rec.dHigh = 312;
  rec.dLow = 309.125;
  rec.UTCDateTime = 25569.0 + 0.625;  // 15:00:00
  rec.tick = tickDown;
  EXPECT_TRUE(board.Update(rec));
  rec.bstrSymbol = other.Get();
  EXPECT_FALSE(board.Update(rec));
  rec.bstrSymbol = nullptr;
  EXPECT_FALSE(board.Update(rec));

  const auto plain = board.Render(false);
  ASSERT_EQ(plain.size(), 3u);
  EXPECT_EQ(plain[0].rfind("SYMBOL", 0), 0u);
  EXPECT_TRUE(plain[0].ends_with("TIME (UTC)")) << plain[0];
  EXPECT_EQ(plain[1],
            "MSFT           310.52     -0.48      310.51 x 4,300      310.55 x 4,200     478,700     312.00   "
            "309.1250  15:00:00");
  EXPECT_EQ(plain[2], "IBM               ...");
  const auto coloured = board.Render(true);
  EXPECT_NE(coloured[1].find(std::string(kRed) + "    310.52" + kReset), std::string::npos) << coloured[1];
  EXPECT_EQ(StripEscapes(coloured[1]), plain[1]);

  // A stale row is tagged and dimmed whole, without its tick colour, until its next update.
  EXPECT_TRUE(board.SetStale("MSFT", true));
  EXPECT_TRUE(board.SetStale("IBM", true));
  EXPECT_FALSE(board.SetStale("IBM", true));
  EXPECT_FALSE(board.SetStale("AAPL", true));
  const auto stale = board.Render(true);
  EXPECT_EQ(stale[1], std::string(kDim) + plain[1] + "  STALE" + kReset);
  EXPECT_EQ(StripEscapes(stale[2]), plain[2] + "  STALE");
  rec.bstrSymbol = msft.Get();
  EXPECT_TRUE(board.Update(rec));
  EXPECT_EQ(board.Render(false)[1], plain[1]);
  EXPECT_TRUE(board.SetStale("IBM", false));
  EXPECT_EQ(board.Render(false)[2], plain[2]);
}

TEST(Views, BookGroupsEntriesIntoPriceLevelsBestFirst) {
  CBookView book("XYZ");
  struct SEntry {
    const char* mmid;
    enumMarketSide side;
    double price;
    long size;
    bool closed;
  };
  const SEntry entries[] = {
      {"NSDQ", msBid, 12.50, 300, false}, {"ARCA", msBid, 12.50, 500, false}, {"TDFX1", msBid, 12.55, 100, false},
      {"GONE", msBid, 12.60, 900, false}, {"GONE", msBid, 12.60, 0, true},    {"NSDQ", msAsk, 12.70, 200, false},
      {"ARCA", msAsk, 12.65, 400, false}, {"NSDQ", msAsk, 12.75, 250, false},  // NSDQ's ask moved up
  };
  const CBstr symbol = CBstr::FromUtf8("XYZ");
  auto update = [&](const SEntry& e) {
    const CBstr mmid = CBstr::FromUtf8(e.mmid);
    LEVEL2RECORD rec{};
    rec.bstrSymbol = symbol.Get();
    rec.bstrMMID = mmid.Get();
    rec.side = e.side;
    rec.dPrice = e.price;
    rec.lSize = e.size;
    rec.bClosed = e.closed ? VARIANT_TRUE : VARIANT_FALSE;
    return book.Update(rec);
  };
  for (const auto& e : entries) EXPECT_TRUE(update(e));
  // A level's aggregate is the cache's figure where it has one, else the sum of its entries; the
  // larger entry of a level comes first.
  const AggregateSize cache = [](double price, enumMarketSide side) -> long {
    return side == msAsk && price == 12.65 ? 1400 : -1;
  };
  const auto lines = book.Render(cache, 10, false);
  ASSERT_EQ(lines.size(), 5u);  // title, header, three bid rows beside two ask rows
  EXPECT_EQ(lines[0], "XYZ  level 2: 2 bid and 2 ask price levels");
  EXPECT_EQ(lines[2], "     12.55       100 TDFX1          100         |      12.65     1,400 ARCA           400");
  EXPECT_EQ(lines[3], "     12.50       800 ARCA           500         |      12.75       250 NSDQ           250");
  EXPECT_EQ(lines[4], "                     NSDQ           300         |");
  EXPECT_EQ(book.Render(cache, 1, false).size(), 3u);

  // A stale book says so in its title until the symbol's next update.
  EXPECT_FALSE(book.SetStale("ABC", true));
  EXPECT_TRUE(book.SetStale("XYZ", true));
  EXPECT_EQ(book.Render(cache, 10, false)[0], lines[0] + "  STALE");
  EXPECT_TRUE(update(entries[0]));
  EXPECT_EQ(book.Render(cache, 10, false)[0], lines[0]);
}

TEST(Views, ChainPairsCallsAndPutsByExpiryAndStrike) {
  CChainView chain("XYZ");
  struct SOption {
    const char* symbol;
    int year, month;
    double strike;
    enumPutCall side;
    double bid;
  };
  const SOption options[] = {
      {"+XYZ-270219-C-55", 2027, 2, 55, pcCall, 1.1},     {"+XYZ-270115-P-52.5", 2027, 1, 52.5, pcPut, 2.2},
      {"+XYZ-270115-C-52.5", 2027, 1, 52.5, pcCall, 3.3}, {"+XYZ-270115-C-50", 2027, 1, 50, pcCall, 4.4},
      {"+XYZ-270115-C-50", 2027, 1, 50, pcCall, 4.5},  // an update replaces
  };
  CBstr under = CBstr::FromUtf8("XYZ");
  std::vector<CBstr> names;
  for (const auto& o : options) {
    names.push_back(CBstr::FromUtf8(o.symbol));
    OPTIONSRECORD rec{};
    rec.bstrSymbol = names.back().Get();
    rec.bstrUnderlier = under.Get();
    rec.lExpYear = o.year;
    rec.lExpMonth = o.month;
    rec.dStrikePrice = o.strike;
    rec.putcall = o.side;
    rec.dBid = o.bid;
    EXPECT_TRUE(chain.Update(rec));
  }
  const auto lines = chain.Render(100, false);
  ASSERT_EQ(lines.size(), 1u + 2 * 3 + 3);  // title; per expiry a blank, a title and a header; one per strike
  EXPECT_EQ(lines[0], "XYZ options: 4 in 2 expiries");
  EXPECT_EQ(lines[2].rfind("2027-01", 0), 0u);
  // The later update of a contract replaced the first; a strike without a put leaves that side blank.
  const std::string blank(44, ' ');
  EXPECT_EQ(lines[4], "    4.50     0.00     0.00        0        0    50.00 " + blank);
  EXPECT_EQ(lines[5],
            "    3.30     0.00     0.00        0        0    52.50     2.20     0.00     0.00        0        0");
  EXPECT_EQ(lines[6], "");
  EXPECT_EQ(lines[7].rfind("2027-02", 0), 0u);
  EXPECT_EQ(lines[9], "    1.10     0.00     0.00        0        0    55.00 " + blank);
  EXPECT_EQ(chain.Render(3, false).size(), 3u);
}

TEST(Views, TapeShowsNewestFirstUpToItsCapacity) {
  CTapeView tape(3);
  CBstr symbol = CBstr::FromUtf8("XYZ");
  for (int i = 1; i <= 5; ++i) {
    TSRECORD rec{};
    rec.bstrSymbol = symbol.Get();
    rec.dPrice = i;
    rec.lSize = 100 * i;
    EXPECT_TRUE(tape.Add(rec));
  }
  const auto lines = tape.Render(10, false);
  ASSERT_EQ(lines.size(), 4u) << "a header and the three newest";
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(lines[i], "              XYZ        TRADE       " + std::to_string(6 - i) + ".00        " +
                            std::to_string(6 - i) + "00            0");
  }
  EXPECT_EQ(tape.Render(2, false).size(), 3u);
}

TEST(Views, NumbersAndFramesFitTheirColumns) {
  const std::pair<std::string, std::string> numbers[] = {
      {FormatPrice(12.5), "12.50"},   {FormatPrice(0.0625), "0.0625"}, {FormatChange(0.52), "+0.52"},
      {FormatChange(-1.25), "-1.25"}, {FormatChange(0), "0.00"},       {FormatSize(1234567), "1,234,567"},
      {FormatSize(999), "999"},       {FormatSize(-1000), "-1,000"},   {FormatSize(0), "0"},
  };
  for (const auto& [actual, expected] : numbers) EXPECT_EQ(actual, expected);

  const std::string red = std::string(kRed) + "abcdef" + kReset + "gh";
  EXPECT_EQ(VisibleWidth(red), 8u);
  EXPECT_EQ(CutToWidth(red, 3), std::string(kRed) + "abc\x1b[0m");
  EXPECT_EQ(CutToWidth("caf\xC3\xA9!", 4), "caf\xC3\xA9");

  // Rows that do not fit the height are counted on the last row; plain frames carry no escapes.
  EXPECT_EQ(ComposeFrame({"one", "two"}, "status", 20, 3),
            "\x1b[Hone\x1b[K\r\ntwo\x1b[K\r\n\x1b[J\x1b[3;1H\x1b[7mstatus             \x1b[0m");
  EXPECT_EQ(ComposeFrame({"one", "two", "three", "four"}, "status", 20, 3),
            "\x1b[Hone\x1b[K\r\n... 3 more rows\x1b[K\r\n\x1b[J\x1b[3;1H\x1b[7mstatus             \x1b[0m");
  EXPECT_EQ(ComposePlainFrame({red, "two", "three"}, "status", 20, 3), "abcdefgh\n... 2 more rows\nstatus\n\n");
}

}  // namespace
}  // namespace vok::cli

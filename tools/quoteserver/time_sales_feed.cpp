// Time and sales simulation.
#include "time_sales_feed.h"

#include "time_text.h"

namespace vok::sim {

namespace {

constexpr const char* kExchanges[] = {"Q", "N", "P", "Z", "K", "D"};
// A few trade conditions besides the regular sale (0): cash, opening, out of sequence, odd lot.
constexpr int kTradeConditions[] = {5, 10, 11, 56};
constexpr int kQuoteConditions[] = {100, 101, 104, 107, 110};

}  // namespace

CTimeSalesFeed::CTimeSalesFeed(std::string_view symbol, const SFeedSettings& settings)
    : CFeed(symbol, kTimeSalesService, settings), m_last(m_profile.startCents) {}

void CTimeSalesFeed::WriteUpdate(std::string& out) {
  const std::int64_t previous = m_last;
  m_last = Walk(m_last);
  const std::uint32_t kind = m_random.Below(10);  // 0-5 trade, 6-7 bid, 8-9 ask
  const std::int64_t now = TimeMs();
  m_writer.Begin(wire::kMsgTimeSales);
  m_writer.Text(wire::kFidSymbol, m_symbol);
  if (kind < 6) {
    // The type code is left out now and then: a print without 2084 is a trade.
    if (kind != 0) m_writer.Int(wire::kFidPrintKind, wire::kPrintTrade);
    m_writer.Price(wire::kFidLast, m_last);
    m_writer.Int(wire::kFidLastSize, Lots(10));
    m_writer.Int(wire::kFidPrintCondition, m_random.Percent(80) ? 0 : kTradeConditions[m_random.Below(4)]);
  } else if (kind < 8) {
    m_writer.Int(wire::kFidPrintKind, wire::kPrintBid);
    m_writer.Price(wire::kFidBid, m_last - 1 < 1 ? 1 : m_last - 1);
    m_writer.Int(wire::kFidBidSize, Lots(20));
    m_writer.Int(wire::kFidPrintCondition, kQuoteConditions[m_random.Below(5)]);
  } else {
    m_writer.Int(wire::kFidPrintKind, wire::kPrintAsk);
    m_writer.Price(wire::kFidAsk, m_last + 1);
    m_writer.Int(wire::kFidAskSize, Lots(20));
    m_writer.Int(wire::kFidPrintCondition, kQuoteConditions[m_random.Below(5)]);
  }
  m_writer.Text(wire::kFidExchange, kExchanges[m_random.Below(6)]);
  m_writer.Int(wire::kFidPrintType, 0);
  m_writer.Text(wire::kFidEasternDate, FormatEasternDate(now));
  m_writer.Text(wire::kFidEasternTime, FormatEasternTime(now));
  m_writer.Int(wire::kFidPrintStatus, m_random.Percent(95) ? 0 : static_cast<int>(1 + m_random.Below(3)));
  m_writer.Int(wire::kFidTick, m_last >= previous ? kTickUp : kTickDown);
  m_writer.AppendTo(out);
}

}  // namespace vok::sim

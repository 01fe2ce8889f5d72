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
  m_writer.Begin('3');
  m_writer.Text(1003, m_symbol);
  if (kind < 6) {
    // The type code is left out now and then: a print without 2084 is a trade.
    if (kind != 0) m_writer.Int(2084, 0);
    m_writer.Price(2002, m_last);
    m_writer.Int(2007, Lots(10));
    m_writer.Int(2082, m_random.Percent(80) ? 0 : kTradeConditions[m_random.Below(4)]);
  } else if (kind < 8) {
    m_writer.Int(2084, 1);
    m_writer.Price(2003, m_last - 1 < 1 ? 1 : m_last - 1);
    m_writer.Int(2005, Lots(20));
    m_writer.Int(2082, kQuoteConditions[m_random.Below(5)]);
  } else {
    m_writer.Int(2084, 2);
    m_writer.Price(2004, m_last + 1);
    m_writer.Int(2006, Lots(20));
    m_writer.Int(2082, kQuoteConditions[m_random.Below(5)]);
  }
  m_writer.Text(2022, kExchanges[m_random.Below(6)]);
  m_writer.Int(2039, 0);
  m_writer.Text(2015, FormatEasternDate(now));
  m_writer.Text(2014, FormatEasternTime(now));
  m_writer.Int(2083, m_random.Percent(95) ? 0 : static_cast<int>(1 + m_random.Below(3)));
  m_writer.Int(2013, m_last >= previous ? kTickUp : kTickDown);
  m_writer.AppendTo(out);
}

}  // namespace vok::sim

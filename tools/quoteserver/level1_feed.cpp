// Level 1 simulation: a random-walk last price with a quote around it.
#include "level1_feed.h"

#include <algorithm>

namespace vok::sim {

CLevel1Feed::CLevel1Feed(std::string_view symbol, const SFeedSettings& settings)
    : CFeed(symbol, kLevel1Service, settings) {
  m_last = m_profile.startCents;
  m_prevClose = Walk(Walk(m_last));
  m_open = Walk(m_prevClose);
  m_high = std::max({m_last, m_open});
  m_low = std::min({m_last, m_open});
  m_volume = Lots(5000);
  m_lastSize = Lots(10);
  Requote();
}

void CLevel1Feed::Requote() {
  m_bid = std::max<std::int64_t>(1, m_last - m_random.Between(0, 3));
  m_ask = m_bid + m_random.Between(1, 5);
  m_bidSize = Lots(50);
  m_askSize = Lots(50);
}

void CLevel1Feed::AddContract() {
  if (m_profile.isOption) {
    const SOptionContract& c = m_profile.option;
    m_writer.Int(wire::kFidContractSize, 100);
    m_writer.Price(wire::kFidStrike, c.strikeCents);
    m_writer.Int(wire::kFidExpMonth, c.expMonth);
    m_writer.Int(wire::kFidExpYear, c.expYear);
    m_writer.Text(wire::kFidPutCall, c.put ? "P" : "C");
    m_writer.Text(wire::kFidUnderlier, c.underlying);
  } else if (!m_symbol.empty() && m_symbol[0] == '/') {
    m_writer.Int(wire::kFidContractSize, 50);
  } else {
    m_writer.Int(wire::kFidFlags, 0);
    m_writer.Double(wire::kFidMarginMultiplier, 0.25 * static_cast<double>(1 + m_random.Below(4)));
  }
}

void CLevel1Feed::Snapshot(std::string& out) {
  m_writer.Begin(wire::kMsgLevel1);
  m_writer.Text(wire::kFidSymbol, m_symbol);
  m_writer.Text(wire::kFidExchange, m_profile.market);
  if (!m_profile.isOption) m_writer.Text(wire::kFidCompany, m_profile.company);
  m_writer.Price(wire::kFidLast, m_last);
  m_writer.Price(wire::kFidBid, m_bid);
  m_writer.Price(wire::kFidAsk, m_ask);
  m_writer.Int(wire::kFidBidSize, m_bidSize);
  m_writer.Int(wire::kFidAskSize, m_askSize);
  m_writer.Price(wire::kFidHigh, m_high);
  m_writer.Price(wire::kFidLow, m_low);
  m_writer.Int(wire::kFidLastSize, m_lastSize);
  m_writer.Int(wire::kFidVolume, m_volume);
  m_writer.Price(wire::kFidOpen, m_open);
  m_writer.Int(wire::kFidTick, m_up ? kTickUp : kTickDown);
  m_writer.Price(wire::kFidPrevClose, m_prevClose);
  AddTime();
  AddContract();
  m_writer.AppendTo(out);
}

void CLevel1Feed::WriteUpdate(std::string& out) {
  m_writer.Begin(wire::kMsgLevel1);
  m_writer.Text(wire::kFidSymbol, m_symbol);
  if (m_random.Percent(50)) {
    std::int64_t last = Walk(m_last);
    m_up = last >= m_last;
    m_last = last;
    m_lastSize = Lots(10);
    m_volume += m_lastSize;
    m_writer.Price(wire::kFidLast, m_last);
    m_writer.Int(wire::kFidLastSize, m_lastSize);
    m_writer.Int(wire::kFidVolume, m_volume);
    m_writer.Int(wire::kFidTick, m_up ? kTickUp : kTickDown);
    if (m_last > m_high) {
      m_high = m_last;
      m_writer.Price(wire::kFidHigh, m_high);
    }
    if (m_last < m_low) {
      m_low = m_last;
      m_writer.Price(wire::kFidLow, m_low);
    }
  } else {
    Requote();
    m_writer.Price(wire::kFidBid, m_bid);
    m_writer.Price(wire::kFidAsk, m_ask);
    m_writer.Int(wire::kFidBidSize, m_bidSize);
    m_writer.Int(wire::kFidAskSize, m_askSize);
  }
  AddTime();
  m_writer.AppendTo(out);
}

}  // namespace vok::sim

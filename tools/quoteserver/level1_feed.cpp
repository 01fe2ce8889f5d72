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
    m_writer.Int(2041, 100);
    m_writer.Price(2035, c.strikeCents);
    m_writer.Int(2036, c.expMonth);
    m_writer.Int(2040, c.expYear);
    m_writer.Text(2038, c.put ? "P" : "C");
    m_writer.Text(2034, c.underlying);
  } else if (!m_symbol.empty() && m_symbol[0] == '/') {
    m_writer.Int(2041, 50);
  } else {
    m_writer.Int(2032, 0);
    m_writer.Double(2031, 0.25 * static_cast<double>(1 + m_random.Below(4)));
  }
}

void CLevel1Feed::Snapshot(std::string& out) {
  m_writer.Begin('1');
  m_writer.Text(1003, m_symbol);
  m_writer.Text(2022, m_profile.market);
  if (!m_profile.isOption) m_writer.Text(2021, m_profile.company);
  m_writer.Price(2002, m_last);
  m_writer.Price(2003, m_bid);
  m_writer.Price(2004, m_ask);
  m_writer.Int(2005, m_bidSize);
  m_writer.Int(2006, m_askSize);
  m_writer.Price(2009, m_high);
  m_writer.Price(2010, m_low);
  m_writer.Int(2007, m_lastSize);
  m_writer.Int(2012, m_volume);
  m_writer.Price(2011, m_open);
  m_writer.Int(2013, m_up ? kTickUp : kTickDown);
  m_writer.Price(2008, m_prevClose);
  AddTime();
  AddContract();
  m_writer.AppendTo(out);
}

void CLevel1Feed::WriteUpdate(std::string& out) {
  m_writer.Begin('1');
  m_writer.Text(1003, m_symbol);
  if (m_random.Percent(50)) {
    std::int64_t last = Walk(m_last);
    m_up = last >= m_last;
    m_last = last;
    m_lastSize = Lots(10);
    m_volume += m_lastSize;
    m_writer.Price(2002, m_last);
    m_writer.Int(2007, m_lastSize);
    m_writer.Int(2012, m_volume);
    m_writer.Int(2013, m_up ? kTickUp : kTickDown);
    if (m_last > m_high) {
      m_high = m_last;
      m_writer.Price(2009, m_high);
    }
    if (m_last < m_low) {
      m_low = m_last;
      m_writer.Price(2010, m_low);
    }
  } else {
    Requote();
    m_writer.Price(2003, m_bid);
    m_writer.Price(2004, m_ask);
    m_writer.Int(2005, m_bidSize);
    m_writer.Int(2006, m_askSize);
  }
  AddTime();
  m_writer.AppendTo(out);
}

}  // namespace vok::sim

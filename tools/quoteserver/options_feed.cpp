// Option chain simulation: premiums from a simple intrinsic-plus-time-value model.
#include "options_feed.h"

#include <algorithm>
#include <cmath>

#include "time_text.h"

namespace vok::sim {

namespace {

constexpr double kMsPerDay = 86400000;

// Monthly options expire on the third Friday of their month: the one `ahead` months after the
// month of the start.
std::chrono::year_month_day Expiry(std::int64_t startMs, int ahead) {
  using namespace std::chrono;
  const year_month_day start{floor<days>(UtcFromMs(startMs))};
  const year_month expiryMonth = start.year() / start.month() + months(ahead);
  return year_month_day{sys_days{expiryMonth.year() / expiryMonth.month() / Friday[3]}};
}

}  // namespace

COptionsFeed::COptionsFeed(std::string_view underlying, const SFeedSettings& settings)
    : CFeed(underlying, kOptionsService, settings), m_underlying(m_profile.startCents) {
  const std::int64_t increment = m_underlying < 2500 ? 250 : m_underlying < 10000 ? 500 : 1000;
  const std::int64_t atm = std::max<std::int64_t>(increment, m_underlying / increment * increment);
  for (int ahead = 1; ahead <= 2; ++ahead) {
    const std::chrono::year_month_day expiry = Expiry(settings.startMs, ahead);
    const int y = static_cast<int>(expiry.year());
    const int m = static_cast<int>(static_cast<unsigned>(expiry.month()));
    const int d = static_cast<int>(static_cast<unsigned>(expiry.day()));
    for (int k = -4; k <= 4; ++k) {
      const std::int64_t strike = atm + k * increment;
      if (strike <= 0) continue;
      for (int put = 0; put <= 1; ++put) {
        SOption option;
        option.contract = {std::string(underlying), y, m, d, put == 1, strike};
        option.symbol = FormatOptionSymbol(option.contract);
        option.openInterest = 10 * m_random.Between(1, 5000);
        option.last = FairValue(option);
        option.prevClose = std::max<std::int64_t>(1, option.last + m_random.Between(-20, 20));
        option.open = std::max<std::int64_t>(1, option.prevClose + m_random.Between(-10, 10));
        option.high = std::max(option.open, option.last);
        option.low = std::min(option.open, option.last);
        option.volume = m_random.Between(0, 2000);
        option.lastSize = m_random.Between(1, 20);
        m_chain.push_back(std::move(option));
      }
    }
  }
}

std::int64_t COptionsFeed::FairValue(const SOption& option) const {
  const double s = static_cast<double>(m_underlying);
  const double k = static_cast<double>(option.contract.strikeCents);
  const double intrinsic = option.contract.put ? std::max(0.0, k - s) : std::max(0.0, s - k);
  const calendar::UtcTime expiry = calendar::UtcFromCivil(
      {.year = option.contract.expYear, .month = option.contract.expMonth, .day = option.contract.expDay});
  const double days = std::max(1.0, static_cast<double>(expiry.time_since_epoch().count() - TimeMs()) / kMsPerDay);
  const double timeValue = 0.04 * s * std::sqrt(days / 30.0) * std::exp(-std::fabs(s - k) / (0.1 * s));
  return std::max<std::int64_t>(5, static_cast<std::int64_t>(intrinsic + timeValue));
}

void COptionsFeed::WriteOption(SOption& option, bool full, std::string& out) {
  const std::int64_t bid = std::max<std::int64_t>(1, option.last - m_random.Between(1, 10));
  const std::int64_t ask = option.last + m_random.Between(1, 10);
  m_writer.Begin(wire::kMsgOptions);
  m_writer.Text(wire::kFidSymbol, option.symbol);
  m_writer.Text(wire::kFidUnderlier, m_symbol);
  m_writer.Price(wire::kFidStrike, option.contract.strikeCents);
  m_writer.Int(wire::kFidExpMonth, option.contract.expMonth);
  m_writer.Int(wire::kFidOpenInterest, option.openInterest);
  m_writer.Int(wire::kFidExpYear, option.contract.expYear);
  m_writer.Text(wire::kFidPutCall, option.contract.put ? "P" : "C");
  m_writer.Price(wire::kFidLast, option.last);
  m_writer.Int(wire::kFidLastSize, option.lastSize);
  m_writer.Price(wire::kFidBid, bid);
  m_writer.Price(wire::kFidAsk, ask);
  m_writer.Int(wire::kFidBidSize, 10 * m_random.Between(1, 50));
  m_writer.Int(wire::kFidAskSize, 10 * m_random.Between(1, 50));
  m_writer.Int(wire::kFidVolume, option.volume);
  m_writer.Int(wire::kFidTick, option.up ? kTickUp : kTickDown);
  if (full) {
    m_writer.Price(wire::kFidPrevClose, option.prevClose);
    m_writer.Price(wire::kFidOpen, option.open);
  }
  m_writer.Price(wire::kFidHigh, option.high);
  m_writer.Price(wire::kFidLow, option.low);
  AddTime();
  m_writer.AppendTo(out);
}

void COptionsFeed::Snapshot(std::string& out) {
  for (SOption& option : m_chain) WriteOption(option, true, out);
}

void COptionsFeed::WriteUpdate(std::string& out) {
  m_underlying = Walk(m_underlying);
  if (m_chain.empty()) return;
  SOption& option = m_chain[m_next];
  m_next = (m_next + 1) % m_chain.size();
  const std::int64_t last = std::max<std::int64_t>(1, FairValue(option) + m_random.Between(-3, 3));
  option.up = last >= option.last;
  option.last = last;
  option.lastSize = m_random.Between(1, 20);
  option.volume += option.lastSize;
  option.high = std::max(option.high, last);
  option.low = std::min(option.low, last);
  WriteOption(option, false, out);
}

}  // namespace vok::sim

// The option chain: options records keyed by expiry, strike and side, laid out as a table.
#include "chain_view.h"

#include <cmath>
#include <cstdio>

#include "client_api.h"
#include "number_format.h"
#include "screen.h"

namespace vok::cli {
namespace {

std::string SideText(const SChainSide& side, bool colour) {
  char text[96];
  if (!side.present) {
    std::snprintf(text, sizeof text, "%8s %8s %8s %8s %8s", "", "", "", "", "");
    return text;
  }
  std::snprintf(text, sizeof text, "%8s %8s %8s %8s %8s", FormatPrice(side.bid).c_str(), FormatPrice(side.ask).c_str(),
                FormatPrice(side.last).c_str(), FormatSize(side.volume).c_str(), FormatSize(side.openInterest).c_str());
  const char* tint = side.tick == tickEvenUp ? kGreen : side.tick == tickDown ? kRed : nullptr;
  return colour && tint ? std::string(tint) + text + kReset : std::string(text);
}

}  // namespace

bool CChainView::Update(const OPTIONSRECORD& rec) {
  if (rec.bstrSymbol == nullptr) return false;
  if (rec.bstrUnderlier != nullptr && ::SysStringLen(rec.bstrUnderlier) > 0 &&
      CBstr::ToUtf8(rec.bstrUnderlier) != m_underlying)
    return false;
  const Key key{rec.lExpYear, rec.lExpMonth, std::llround(rec.dStrikePrice * 1000), rec.putcall == pcPut};
  SChainSide& side = m_options[key];
  side.present = true;
  side.symbol = CBstr::ToUtf8(rec.bstrSymbol);
  side.bid = rec.dBid;
  side.ask = rec.dAsk;
  side.last = rec.dLast;
  side.volume = rec.lVolume;
  side.openInterest = rec.lOpenInterest;
  side.tick = rec.tick;
  return true;
}

std::vector<SChainExpiry> CChainView::Layout() const {
  std::vector<SChainExpiry> expiries;
  for (const auto& [key, side] : m_options) {
    const auto& [year, month, strike, put] = key;
    if (expiries.empty() || expiries.back().year != year || expiries.back().month != month) {
      SChainExpiry next;
      next.year = year;
      next.month = month;
      expiries.push_back(std::move(next));
    }
    auto& rows = expiries.back().rows;
    const double price = static_cast<double>(strike) / 1000;
    if (rows.empty() || std::llround(rows.back().strike * 1000) != strike) {
      SChainRow row;
      row.strike = price;
      rows.push_back(std::move(row));
    }
    (put ? rows.back().put : rows.back().call) = side;
  }
  return expiries;
}

std::vector<std::string> CChainView::Render(int maxLines, bool colour) const {
  std::vector<std::string> lines;
  const auto limit = static_cast<std::size_t>(std::max(maxLines, 0));
  auto add = [&](std::string line) {
    if (lines.size() < limit) lines.push_back(std::move(line));
  };
  const auto expiries = Layout();
  add((colour ? std::string(kBold) : std::string()) + m_underlying + " options: " + std::to_string(OptionCount()) +
      " in " + std::to_string(expiries.size()) + (expiries.size() == 1 ? " expiry" : " expiries") +
      (colour ? kReset : ""));
  char line[192];
  for (const auto& expiry : expiries) {
    std::snprintf(line, sizeof line, "%04d-%02d %35s%-8s%s %34s", expiry.year < 100 ? 2000 + expiry.year : expiry.year,
                  expiry.month, "CALLS", "", "STRIKE", "PUTS");
    add("");
    add(colour ? std::string(kBold) + line + kReset : line);
    std::snprintf(line, sizeof line, "%8s %8s %8s %8s %8s %8s %8s %8s %8s %8s %8s", "BID", "ASK", "LAST", "VOL", "OI",
                  "", "BID", "ASK", "LAST", "VOL", "OI");
    add(line);
    for (const auto& row : expiry.rows) {
      std::snprintf(line, sizeof line, " %8s ", FormatPrice(row.strike).c_str());
      add(SideText(row.call, colour) + line + SideText(row.put, colour));
    }
  }
  return lines;
}

}  // namespace vok::cli

// The level 1 board: rows kept from quote records, rendered with fixed columns.
#include "board_view.h"

#include <cstdio>

#include "client_api.h"
#include "number_format.h"
#include "ole_time.h"
#include "screen.h"

namespace vok::cli {

CBoardView::CBoardView(const std::vector<std::string>& symbols, bool utc) : m_utc(utc) {
  m_rows.reserve(symbols.size());
  for (const auto& symbol : symbols) {
    SBoardRow row;
    row.symbol = symbol;
    m_rows.push_back(std::move(row));
  }
}

bool CBoardView::Update(const QUOTERECORD& rec) {
  if (rec.bstrSymbol == nullptr) return false;
  const std::string symbol = CBstr::ToUtf8(rec.bstrSymbol);
  for (auto& row : m_rows) {
    if (row.symbol != symbol) continue;
    row.received = true;
    row.stale = false;
    row.last = rec.dLast;
    row.change = rec.dPrevClose != 0 ? rec.dLast - rec.dPrevClose : 0;
    row.bid = rec.dBid;
    row.ask = rec.dAsk;
    row.high = rec.dHigh;
    row.low = rec.dLow;
    row.bidSize = rec.lBidSize;
    row.askSize = rec.lAskSize;
    row.volume = rec.lVolume;
    row.time = OleDateToClock(rec.UTCDateTime, m_utc);
    row.tick = rec.tick;
    return true;
  }
  return false;
}

bool CBoardView::SetStale(const std::string& symbol, bool stale) {
  for (auto& row : m_rows) {
    if (row.symbol != symbol) continue;
    if (row.stale == stale) return false;
    row.stale = stale;
    return true;
  }
  return false;
}

std::vector<std::string> CBoardView::Render(bool colour) const {
  std::vector<std::string> lines;
  lines.reserve(m_rows.size() + 1);
  char line[256];
  std::snprintf(line, sizeof line, "%-10s %10s %9s %19s %19s %11s %10s %10s  %s", "SYMBOL", "LAST", "CHANGE",
                "BID x SIZE", "ASK x SIZE", "VOLUME", "HIGH", "LOW", ("TIME (" + ZoneLabel(m_utc) + ")").c_str());
  lines.push_back(colour ? std::string(kBold) + line + kReset : line);
  for (const auto& row : m_rows) {
    if (!row.received) {
      std::snprintf(line, sizeof line, "%-10s %10s%s", row.symbol.c_str(), "...", row.stale ? "  STALE" : "");
      lines.push_back(colour && row.stale ? std::string(kDim) + line + kReset : std::string(line));
      continue;
    }
    char last[32], change[32];
    std::snprintf(last, sizeof last, "%10s", FormatPrice(row.last).c_str());
    std::snprintf(change, sizeof change, "%9s", FormatChange(row.change).c_str());
    const std::string bid = FormatPrice(row.bid) + " x " + FormatSize(row.bidSize);
    const std::string ask = FormatPrice(row.ask) + " x " + FormatSize(row.askSize);
    std::string text = row.symbol.size() < 10 ? row.symbol + std::string(10 - row.symbol.size(), ' ') : row.symbol;
    text += ' ';
    const char* lastColour = row.tick == tickEvenUp ? kGreen : row.tick == tickDown ? kRed : nullptr;
    const char* changeColour = row.change > 0 ? kGreen : row.change < 0 ? kRed : nullptr;
    // A stale row is dimmed whole: a tick colour would end the dimming and say the price is live.
    const bool tint = colour && !row.stale;
    text += tint && lastColour ? std::string(lastColour) + last + kReset : std::string(last);
    text += ' ';
    text += tint && changeColour ? std::string(changeColour) + change + kReset : std::string(change);
    std::snprintf(line, sizeof line, " %19s %19s %11s %10s %10s  %-8s", bid.c_str(), ask.c_str(),
                  FormatSize(row.volume).c_str(), FormatPrice(row.high).c_str(), FormatPrice(row.low).c_str(),
                  row.time.c_str());
    text += line;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (row.stale) text = colour ? std::string(kDim) + text + "  STALE" + kReset : text + "  STALE";
    lines.push_back(std::move(text));
  }
  return lines;
}

}  // namespace vok::cli

// The level 2 book: entries by side and market maker, grouped into price levels for display.
#include "book_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "client_api.h"
#include "number_format.h"
#include "screen.h"

namespace vok::cli {
namespace {

// Prices of one level compare equal within a millionth, as the wire's decimal texts do.
std::int64_t PriceKey(double price) { return std::llround(price * 1e6); }

std::string EntryText(const SBookLevel* level, const SBookEntry* entry, bool first) {
  char text[96];
  if (entry == nullptr) {
    std::snprintf(text, sizeof text, "%-47s", "");
  } else {
    const std::string aggregate = first ? FormatSize(level->aggregate) : std::string();
    std::snprintf(text, sizeof text, "%10s %9s %-9.9s %8s %-7.7s", first ? FormatPrice(level->price).c_str() : "",
                  aggregate.c_str(), entry->mmid.c_str(), FormatSize(entry->size).c_str(), entry->source.c_str());
  }
  return text;
}

}  // namespace

bool CBookView::Update(const LEVEL2RECORD& rec) {
  if (rec.bstrSymbol == nullptr || CBstr::ToUtf8(rec.bstrSymbol) != m_symbol) return false;
  std::map<std::string, SBookEntry>* book = rec.side == msBid ? &m_bids : rec.side == msAsk ? &m_asks : nullptr;
  if (book == nullptr) return false;
  m_stale = false;
  std::string mmid = CBstr::ToUtf8(rec.bstrMMID);
  if (rec.bClosed != 0 || rec.lSize <= 0) {
    book->erase(mmid);
    return true;
  }
  SBookEntry& entry = (*book)[mmid];
  entry.mmid = std::move(mmid);
  entry.source = CBstr::ToUtf8(rec.bstrSource);
  entry.size = rec.lSize;
  entry.price = rec.dPrice;
  entry.time = rec.UTCTime;
  return true;
}

bool CBookView::SetStale(const std::string& symbol, bool stale) {
  if (symbol != m_symbol || stale == m_stale) return false;
  m_stale = stale;
  return true;
}

std::vector<SBookLevel> CBookView::Levels(enumMarketSide side, const AggregateSize& aggregate) const {
  const auto& book = side == msBid ? m_bids : m_asks;
  std::map<std::int64_t, SBookLevel> byPrice;
  for (const auto& [mmid, entry] : book) {
    SBookLevel& level = byPrice[PriceKey(entry.price)];
    level.price = entry.price;
    level.entrySum += entry.size;
    level.entries.push_back(entry);
  }
  std::vector<SBookLevel> levels;
  levels.reserve(byPrice.size());
  for (auto& [key, level] : byPrice) {
    std::sort(level.entries.begin(), level.entries.end(), [](const SBookEntry& a, const SBookEntry& b) {
      return a.size != b.size ? a.size > b.size : a.mmid < b.mmid;
    });
    const long cached = aggregate ? aggregate(level.price, side) : -1;
    level.aggregate = cached >= 0 ? cached : level.entrySum;
    levels.push_back(std::move(level));
  }
  if (side == msBid) std::reverse(levels.begin(), levels.end());
  return levels;
}

std::vector<std::string> CBookView::Render(const AggregateSize& aggregate, int depth, bool colour) const {
  struct SRow {
    const SBookLevel* level;
    const SBookEntry* entry;
    bool first;
  };
  const auto bids = Levels(msBid, aggregate);
  const auto asks = Levels(msAsk, aggregate);
  auto flatten = [](const std::vector<SBookLevel>& levels) {
    std::vector<SRow> rows;
    for (const auto& level : levels)
      for (std::size_t i = 0; i < level.entries.size(); ++i) rows.push_back({&level, &level.entries[i], i == 0});
    return rows;
  };
  const auto bidRows = flatten(bids);
  const auto askRows = flatten(asks);

  std::vector<std::string> lines;
  std::string title = m_symbol + "  level 2: " + std::to_string(bids.size()) + " bid and " +
                      std::to_string(asks.size()) + " ask price levels";
  if (colour) title = std::string(kBold) + title + kReset;
  if (m_stale) title += colour ? std::string("  ") + kReverse + "STALE" + kReset : std::string("  STALE");
  lines.push_back(std::move(title));
  char header[128];
  std::snprintf(header, sizeof header, "%10s %9s %-9s %8s %-7s | %10s %9s %-9s %8s %-7s", "BID", "LEVEL", "MMID",
                "SIZE", "SOURCE", "ASK", "LEVEL", "MMID", "SIZE", "SOURCE");
  lines.push_back(colour ? std::string(kBold) + header + kReset : header);
  const std::size_t rows =
      std::min(std::max(bidRows.size(), askRows.size()), static_cast<std::size_t>(std::max(depth, 0)));
  for (std::size_t i = 0; i < rows; ++i) {
    const SRow* bid = i < bidRows.size() ? &bidRows[i] : nullptr;
    const SRow* ask = i < askRows.size() ? &askRows[i] : nullptr;
    std::string left = EntryText(bid ? bid->level : nullptr, bid ? bid->entry : nullptr, bid && bid->first);
    std::string right = EntryText(ask ? ask->level : nullptr, ask ? ask->entry : nullptr, ask && ask->first);
    if (colour && bid) left = std::string(kGreen) + left + kReset;
    if (colour && ask) right = std::string(kRed) + right + kReset;
    std::string line = left + " | " + right;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace vok::cli

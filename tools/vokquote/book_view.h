// CBookView: the level 2 book of `vokquote book` for one symbol. Entries are kept per side and
// market maker from the records as they arrive (a closed entry leaves the book); Levels groups them
// by price, best first, with the aggregate size of each level, which the caller takes from the
// component's cache (GetCachedAggregateLevel2Size) and which falls back to the sum of the shown
// entries when the cache has none. Used on the one thread that receives the callbacks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "client_api.h"

namespace vok::cli {

struct SBookEntry {
  std::string mmid;
  std::string source;
  long size = 0;
  double price = 0;
  double time = 0;  // OLE date, UTC
};

struct SBookLevel {
  double price = 0;
  long aggregate = 0;
  long entrySum = 0;                // the sizes of the entries shown
  std::vector<SBookEntry> entries;  // largest first, then by market maker
};

// The cached aggregate size at a price and side, or a negative value when the cache has none.
using AggregateSize = std::function<long(double price, enumMarketSide side)>;

class CBookView {
 public:
  explicit CBookView(std::string symbol) : m_symbol(std::move(symbol)) {}

  // False for a record of another symbol or with a side that is neither bid nor ask.
  bool Update(const LEVEL2RECORD& rec);
  // Marks the book stale (no fresh update for the stale-after time or since the last reconnect)
  // or not; an update of the symbol clears the mark too. False for another symbol or no change.
  bool SetStale(const std::string& symbol, bool stale);
  // Bids from the highest price down, asks from the lowest up.
  std::vector<SBookLevel> Levels(enumMarketSide side, const AggregateSize& aggregate) const;
  // A title, a header and up to depth rows of bids beside asks.
  std::vector<std::string> Render(const AggregateSize& aggregate, int depth, bool colour) const;

 private:
  std::string m_symbol;
  std::map<std::string, SBookEntry> m_bids;  // by market maker
  std::map<std::string, SBookEntry> m_asks;
  bool m_stale = false;  // the title says so
};

}  // namespace vok::cli

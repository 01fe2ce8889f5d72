// CBoardView: the level 1 board of `vokquote watch`, one row per symbol in the order asked for,
// kept from the quote records as they arrive and rendered as text lines. The last price is
// coloured by the record's tick (up green, down red) and the change by its sign; a stale row is
// tagged at its end and dimmed. Used on the one
// thread that receives the callbacks.
#pragma once

#include <string>
#include <vector>

#include "client_api.h"

namespace vok::cli {

struct SBoardRow {
  std::string symbol;
  bool received = false;
  double last = 0, change = 0, bid = 0, ask = 0, high = 0, low = 0;
  long bidSize = 0, askSize = 0, volume = 0;
  std::string time;  // HH:MM:SS of the last update
  enumTick tick = tickNone;
  bool stale = false;  // no fresh update for the stale-after time or since the last reconnect
};

class CBoardView {
 public:
  // utc: times in UTC, else in the local zone; the TIME heading names the zone.
  explicit CBoardView(const std::vector<std::string>& symbols, bool utc = false);

  // False (nothing changes) for a record without symbol or for a symbol not on the board.
  bool Update(const QUOTERECORD& rec);
  // Marks the row of symbol stale (its figures are old) or not; an update clears the mark too.
  // False for a symbol not on the board or a mark that does not change.
  bool SetStale(const std::string& symbol, bool stale);
  // A header line and one line per symbol; colour adds terminal colour sequences.
  std::vector<std::string> Render(bool colour) const;

 private:
  std::vector<SBoardRow> m_rows;
  bool m_utc;
};

}  // namespace vok::cli

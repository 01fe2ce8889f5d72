// CTapeView: the time and sales tape of `vokquote tape`: the latest prints of the watched symbols,
// newest first, kept up to a fixed number. Used on the one thread that receives the callbacks.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "client_api.h"

namespace vok::cli {

struct STapePrint {
  std::string symbol;
  std::string exchange;
  double price = 0;
  long size = 0;
  std::string time;  // HH:MM:SS, local or UTC as the view was made
  enumTickType type = ttTradeTick;
  enumTickStatus status = tsNormal;
  enumTickCondition cond = tcTrade_RegularSale;
  enumTick tick = tickNone;
};

class CTapeView {
 public:
  // utc: times in UTC, else in the local zone; the TIME heading names the zone.
  explicit CTapeView(std::size_t capacity = 200, bool utc = false) : m_capacity(capacity), m_utc(utc) {}

  // False for a record without symbol.
  bool Add(const TSRECORD& rec);
  // A header and up to rows prints, newest first.
  std::vector<std::string> Render(int rows, bool colour) const;

 private:
  std::size_t m_capacity;
  bool m_utc;
  std::deque<STapePrint> m_prints;
};

}  // namespace vok::cli

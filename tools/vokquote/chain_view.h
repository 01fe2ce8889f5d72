// CChainView: the option chain of `vokquote chain` for one underlying: the options records as
// they arrive, laid out by expiry (earliest first) and strike (lowest first) with the call and
// the put of each strike side by side. Used on the one thread that receives the callbacks.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "client_api.h"

namespace vok::cli {

struct SChainSide {
  bool present = false;
  std::string symbol;
  double bid = 0, ask = 0, last = 0;
  long volume = 0, openInterest = 0;
  enumTick tick = tickNone;
};

struct SChainRow {
  double strike = 0;
  SChainSide call;
  SChainSide put;
};

struct SChainExpiry {
  int year = 0;
  int month = 0;
  std::vector<SChainRow> rows;  // by strike, lowest first
};

class CChainView {
 public:
  explicit CChainView(std::string underlying) : m_underlying(std::move(underlying)) {}

  // False for a record without symbol or of another underlying (when the record names one).
  bool Update(const OPTIONSRECORD& rec);
  std::vector<SChainExpiry> Layout() const;
  int OptionCount() const { return static_cast<int>(m_options.size()); }
  // For each expiry a title and a header, then one row per strike; at most maxLines lines.
  std::vector<std::string> Render(int maxLines, bool colour) const;

 private:
  // (year, month, strike in thousandths, put)
  using Key = std::tuple<int, int, std::int64_t, bool>;
  std::string m_underlying;
  std::map<Key, SChainSide> m_options;
};

}  // namespace vok::cli

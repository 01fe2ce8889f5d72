// What a spreadsheet cell asks the real-time data server for: the strings of its RTD(...) call read
// as a topic (a symbol and a level 1 field, the n-th best level 2 price or size, or one of the
// connection topics STATUS and SERVER), and the value a topic shows. A topic that cannot be served
// becomes a readable "#N/A ..." text, so a typo shows in the cell instead of breaking the sheet.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "records/vokquote.h"

namespace vok {

// The level 1 fields a topic can name; each reads one member of QUOTERECORD, or two (Change).
enum class ERtdField : std::uint8_t {
  Symbol,
  Market,
  Company,
  Underlier,
  Last,
  Bid,
  Ask,
  PrevClose,
  High,
  Low,
  Open,
  MarginMult,
  StrikePrice,
  BidSize,
  AskSize,
  LastSize,
  Volume,
  Flags,
  ContractSize,
  ExpMonth,
  ExpYear,
  Time,
  Tick,
  PutCall,
  NegBorrowPct,
  Change,
  ChangePercent
};

enum class ERtdTopicKind : std::uint8_t {
  Quote,      // a level 1 field of `symbol`
  BookPrice,  // the `level`-th best price of one side of the level 2 book
  BookSize,   // the aggregate size at that price
  Status,     // the connection state as text
  Server,     // the server name from the logon reply
  Invalid     // `error` is what the cell shows
};

// The deepest book level a topic may ask for; nobody reads a book deeper in a cell.
inline constexpr int kMaxRtdBookLevel = 50;
// The most strings a topic is read from (symbol, field, level).
inline constexpr std::size_t kMaxRtdTopicStrings = 3;

struct SRtdTopic {
  ERtdTopicKind kind = ERtdTopicKind::Invalid;
  std::string symbol;  // trimmed and upper-cased; empty for STATUS and SERVER
  ERtdField field = ERtdField::Last;
  enumMarketSide side = msBid;
  int level = 0;  // 1 = best
  std::string error;
};

// A cell's value: nothing yet, a number or a text (LONG stays LONG so sizes are whole numbers).
using RtdValue = std::variant<std::monostate, double, LONG, std::string>;

// Reads the strings of one RTD call (after the ProgID and server): never fails; an unusable topic
// comes back as kind Invalid with its text.
SRtdTopic ParseRtdTopic(std::span<const std::string> strings);

// The value of a level 1 topic from the symbol's record.
RtdValue QuoteFieldValue(const QUOTERECORD& record, ERtdField field);

// The value as the host reads it: VT_EMPTY, VT_R8, VT_I4 or a new VT_BSTR that `out` owns.
// E_OUTOFMEMORY (and VT_EMPTY) when the text cannot be allocated.
HRESULT RtdValueToVariant(const RtdValue& value, VARIANT* out);

}  // namespace vok

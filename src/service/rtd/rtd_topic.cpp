// Topic strings to topics: the field names (readable ones and the record's own), the book levels,
// the connection topics, and the texts of what cannot be served.
#include "service/rtd/rtd_topic.h"

#include <array>
#include <charconv>
#include <string_view>

#include "platform/bstr.h"
#include "service/symbol_rule.h"

namespace vok {
namespace {

struct SFieldName {
  std::string_view name;
  ERtdField field;
};

// Readable names first, then the record's member names; matched without regard to case.
constexpr std::array kFieldNames{
    SFieldName{"Last", ERtdField::Last},
    SFieldName{"Bid", ERtdField::Bid},
    SFieldName{"Ask", ERtdField::Ask},
    SFieldName{"BidSize", ERtdField::BidSize},
    SFieldName{"AskSize", ERtdField::AskSize},
    SFieldName{"LastSize", ERtdField::LastSize},
    SFieldName{"Volume", ERtdField::Volume},
    SFieldName{"High", ERtdField::High},
    SFieldName{"Low", ERtdField::Low},
    SFieldName{"Open", ERtdField::Open},
    SFieldName{"Close", ERtdField::PrevClose},
    SFieldName{"PrevClose", ERtdField::PrevClose},
    SFieldName{"Change", ERtdField::Change},
    SFieldName{"NetChange", ERtdField::Change},
    SFieldName{"NetChange%", ERtdField::ChangePercent},
    SFieldName{"Change%", ERtdField::ChangePercent},
    SFieldName{"Time", ERtdField::Time},
    SFieldName{"Exchange", ERtdField::Market},
    SFieldName{"Market", ERtdField::Market},
    SFieldName{"Company", ERtdField::Company},
    SFieldName{"Underlier", ERtdField::Underlier},
    SFieldName{"Symbol", ERtdField::Symbol},
    SFieldName{"MarginMult", ERtdField::MarginMult},
    SFieldName{"Strike", ERtdField::StrikePrice},
    SFieldName{"StrikePrice", ERtdField::StrikePrice},
    SFieldName{"ContractSize", ERtdField::ContractSize},
    SFieldName{"ExpMonth", ERtdField::ExpMonth},
    SFieldName{"ExpYear", ERtdField::ExpYear},
    SFieldName{"Flags", ERtdField::Flags},
    SFieldName{"Tick", ERtdField::Tick},
    SFieldName{"PutCall", ERtdField::PutCall},
    SFieldName{"NegBorrowPct", ERtdField::NegBorrowPct},
    SFieldName{"bstrSymbol", ERtdField::Symbol},
    SFieldName{"bstrMarket", ERtdField::Market},
    SFieldName{"bstrCompany", ERtdField::Company},
    SFieldName{"bstrUnderlier", ERtdField::Underlier},
    SFieldName{"dLast", ERtdField::Last},
    SFieldName{"dBid", ERtdField::Bid},
    SFieldName{"dAsk", ERtdField::Ask},
    SFieldName{"dPrevClose", ERtdField::PrevClose},
    SFieldName{"dHigh", ERtdField::High},
    SFieldName{"dLow", ERtdField::Low},
    SFieldName{"dOpen", ERtdField::Open},
    SFieldName{"dMarginMult", ERtdField::MarginMult},
    SFieldName{"dStrikePrice", ERtdField::StrikePrice},
    SFieldName{"lBidSize", ERtdField::BidSize},
    SFieldName{"lAskSize", ERtdField::AskSize},
    SFieldName{"lLastSize", ERtdField::LastSize},
    SFieldName{"lVolume", ERtdField::Volume},
    SFieldName{"lFlags", ERtdField::Flags},
    SFieldName{"lContractSize", ERtdField::ContractSize},
    SFieldName{"lExpMonth", ERtdField::ExpMonth},
    SFieldName{"lExpYear", ERtdField::ExpYear},
    SFieldName{"UTCDateTime", ERtdField::Time},
    SFieldName{"putcall", ERtdField::PutCall},
    SFieldName{"dNegBorrowPct", ERtdField::NegBorrowPct},
};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The user's own text inside an error, cut short and without control characters, so a cell
// never shows more than a line.
std::string Quoted(std::string_view text) {
  constexpr std::size_t kMaxShown = 24;
  std::string shown = "'";
  for (char c : text.substr(0, kMaxShown)) shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  if (text.size() > kMaxShown) shown += "...";
  return shown + "'";
}

SRtdTopic Invalid(std::string error) {
  SRtdTopic topic;
  topic.error = "#N/A " + std::move(error);
  return topic;
}

bool FindField(std::string_view name, ERtdField& field) {
  for (const SFieldName& entry : kFieldNames) {
    if (SameName(entry.name, name)) {
      field = entry.field;
      return true;
    }
  }
  return false;
}

RtdValue Text(BSTR text) { return CBstr::ToNarrow(text); }

}  // namespace

SRtdTopic ParseRtdTopic(std::span<const std::string> strings) {
  if (strings.empty()) return Invalid("no topic");
  if (strings.size() > kMaxRtdTopicStrings) return Invalid("too many arguments");
  const std::string_view first = Trimmed(strings[0]);
  if (strings.size() == 1) {
    SRtdTopic topic;
    if (SameName(first, "STATUS")) {
      topic.kind = ERtdTopicKind::Status;
    } else if (SameName(first, "SERVER")) {
      topic.kind = ERtdTopicKind::Server;
    } else {
      return Invalid("no field for " + Quoted(first));
    }
    return topic;
  }
  SRtdTopic topic;
  if (!NormaliseSymbol(first, topic.symbol)) return Invalid("bad symbol " + Quoted(first));
  const std::string_view name = Trimmed(strings[1]);
  if (!FindField(name, topic.field)) return Invalid("unknown field " + Quoted(name));
  if (strings.size() == 2) {
    topic.kind = ERtdTopicKind::Quote;
    return topic;
  }
  const bool book = topic.field == ERtdField::Bid || topic.field == ERtdField::Ask ||
                    topic.field == ERtdField::BidSize || topic.field == ERtdField::AskSize;
  if (!book) return Invalid("no levels for " + Quoted(name));
  const std::string_view levelText = Trimmed(strings[2]);
  int level = 0;
  const auto [end, error] = std::from_chars(levelText.data(), levelText.data() + levelText.size(), level);
  if (error != std::errc() || end != levelText.data() + levelText.size() || level < 1 || level > kMaxRtdBookLevel) {
    return Invalid("bad level " + Quoted(levelText));
  }
  topic.level = level;
  topic.side = topic.field == ERtdField::Ask || topic.field == ERtdField::AskSize ? msAsk : msBid;
  topic.kind = topic.field == ERtdField::BidSize || topic.field == ERtdField::AskSize ? ERtdTopicKind::BookSize
                                                                                      : ERtdTopicKind::BookPrice;
  return topic;
}

RtdValue QuoteFieldValue(const QUOTERECORD& record, ERtdField field) {
  switch (field) {
    case ERtdField::Symbol:
      return Text(record.bstrSymbol);
    case ERtdField::Market:
      return Text(record.bstrMarket);
    case ERtdField::Company:
      return Text(record.bstrCompany);
    case ERtdField::Underlier:
      return Text(record.bstrUnderlier);
    case ERtdField::Last:
      return record.dLast;
    case ERtdField::Bid:
      return record.dBid;
    case ERtdField::Ask:
      return record.dAsk;
    case ERtdField::PrevClose:
      return record.dPrevClose;
    case ERtdField::High:
      return record.dHigh;
    case ERtdField::Low:
      return record.dLow;
    case ERtdField::Open:
      return record.dOpen;
    case ERtdField::MarginMult:
      return record.dMarginMult;
    case ERtdField::StrikePrice:
      return record.dStrikePrice;
    case ERtdField::BidSize:
      return record.lBidSize;
    case ERtdField::AskSize:
      return record.lAskSize;
    case ERtdField::LastSize:
      return record.lLastSize;
    case ERtdField::Volume:
      return record.lVolume;
    case ERtdField::Flags:
      return record.lFlags;
    case ERtdField::ContractSize:
      return record.lContractSize;
    case ERtdField::ExpMonth:
      return record.lExpMonth;
    case ERtdField::ExpYear:
      return record.lExpYear;
    // An OLE Automation date in UTC: a cell formatted as a time shows it.
    case ERtdField::Time:
      return record.UTCDateTime;
    case ERtdField::Tick:
      return std::string(record.tick == tickEvenUp ? "up" : record.tick == tickDown ? "down" : "none");
    case ERtdField::PutCall:
      return std::string(record.putcall == pcCall ? "call" : record.putcall == pcPut ? "put" : "both");
    case ERtdField::NegBorrowPct:
      return record.dNegBorrowPct;
    case ERtdField::Change:
    case ERtdField::ChangePercent:
      // Without a previous close or a trade there is nothing to compare.
      if (record.dPrevClose == 0 || record.dLast == 0) return std::string("#N/A no close");
      if (field == ERtdField::Change) return record.dLast - record.dPrevClose;
      return (record.dLast - record.dPrevClose) / record.dPrevClose * 100.0;
  }
  return std::monostate{};
}

HRESULT RtdValueToVariant(const RtdValue& value, VARIANT* out) {
  ::VariantInit(out);
  if (const double* number = std::get_if<double>(&value)) {
    out->vt = VT_R8;
    out->dblVal = *number;
  } else if (const LONG* whole = std::get_if<LONG>(&value)) {
    out->vt = VT_I4;
    out->lVal = *whole;
  } else if (const std::string* text = std::get_if<std::string>(&value)) {
    out->bstrVal = CBstr::FromNarrow(*text).Detach();
    if (out->bstrVal == nullptr) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
  }
  return S_OK;
}

}  // namespace vok

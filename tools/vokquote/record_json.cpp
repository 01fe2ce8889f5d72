// Record and event JSON lines for vokquote's line output.
#include "record_json.h"

#include "client_api.h"
#include "enum_names.h"
#include "json_writer.h"
#include "ole_time.h"

namespace vok::cli {
namespace {

CJsonWriter Start(std::string_view kind, std::int64_t receivedMs) {
  CJsonWriter json;
  json.String("kind", kind).String("received", UnixMsToText(receivedMs));
  return json;
}

void Text(CJsonWriter& json, std::string_view key, BSTR value) {
  if (value == nullptr) {
    json.Null(key);
  } else {
    json.String(key, CBstr::ToUtf8(value));
  }
}

// The number, then its name beside it under key + "Name" (null for a value without a member).
void Enumeration(CJsonWriter& json, const std::string& key, int value, std::string (*name)(int)) {
  json.Integer(key, value);
  const std::string text = name(value);
  if (text.empty()) {
    json.Null(key + "Name");
  } else {
    json.String(key + "Name", text);
  }
}

void Date(CJsonWriter& json, std::string_view key, DATE value) {
  const std::string text = OleDateToText(value);
  if (text.empty()) {
    json.Null(key);
  } else {
    json.String(key, text);
  }
}

}  // namespace

std::string QuoteJson(const QUOTERECORD& rec, std::int64_t receivedMs) {
  CJsonWriter json = Start("quote", receivedMs);
  Text(json, "bstrSymbol", rec.bstrSymbol);
  Text(json, "bstrMarket", rec.bstrMarket);
  Text(json, "bstrCompany", rec.bstrCompany);
  Text(json, "bstrUnderlier", rec.bstrUnderlier);
  json.Number("dLast", rec.dLast)
      .Number("dBid", rec.dBid)
      .Number("dAsk", rec.dAsk)
      .Number("dPrevClose", rec.dPrevClose)
      .Number("dHigh", rec.dHigh)
      .Number("dLow", rec.dLow)
      .Number("dOpen", rec.dOpen)
      .Number("dMarginMult", rec.dMarginMult)
      .Number("dStrikePrice", rec.dStrikePrice)
      .Integer("lBidSize", rec.lBidSize)
      .Integer("lAskSize", rec.lAskSize)
      .Integer("lLastSize", rec.lLastSize)
      .Integer("lVolume", rec.lVolume)
      .Integer("lFlags", rec.lFlags)
      .Integer("lContractSize", rec.lContractSize)
      .Integer("lExpMonth", rec.lExpMonth)
      .Integer("lExpYear", rec.lExpYear);
  Date(json, "UTCDateTime", rec.UTCDateTime);
  Enumeration(json, "tick", rec.tick, TickName);
  Enumeration(json, "putcall", rec.putcall, PutCallName);
  json.Number("dNegBorrowPct", rec.dNegBorrowPct);
  return json.Finish();
}

std::string Level2Json(const LEVEL2RECORD& rec, std::int64_t receivedMs, std::optional<long> aggregate) {
  CJsonWriter json = Start("level2", receivedMs);
  Text(json, "bstrSymbol", rec.bstrSymbol);
  Text(json, "bstrMMID", rec.bstrMMID);
  Text(json, "bstrSource", rec.bstrSource);
  json.Integer("lSize", rec.lSize).Number("dPrice", rec.dPrice);
  Enumeration(json, "side", rec.side, MarketSideName);
  json.Bool("bClosed", rec.bClosed != 0);
  Date(json, "UTCTime", rec.UTCTime);
  if (aggregate) json.Integer("aggregate", *aggregate);
  return json.Finish();
}

std::string TsJson(const TSRECORD& rec, std::int64_t receivedMs) {
  CJsonWriter json = Start("ts", receivedMs);
  Text(json, "bstrSymbol", rec.bstrSymbol);
  Text(json, "bstrExchange", rec.bstrExchange);
  json.Number("dPrice", rec.dPrice).Integer("lSize", rec.lSize).Integer("lType", rec.lType);
  Date(json, "UTCDateTime", rec.UTCDateTime);
  Enumeration(json, "type", rec.type, TickTypeName);
  Enumeration(json, "status", rec.status, TickStatusName);
  Enumeration(json, "cond", rec.cond, TickConditionName);
  Enumeration(json, "tick", rec.tick, TickName);
  return json.Finish();
}

std::string OptionsJson(const OPTIONSRECORD& rec, std::int64_t receivedMs) {
  CJsonWriter json = Start("options", receivedMs);
  Text(json, "bstrSymbol", rec.bstrSymbol);
  Text(json, "bstrUnderlier", rec.bstrUnderlier);
  json.Number("dLast", rec.dLast)
      .Number("dBid", rec.dBid)
      .Number("dAsk", rec.dAsk)
      .Number("dPrevClose", rec.dPrevClose)
      .Number("dHigh", rec.dHigh)
      .Number("dLow", rec.dLow)
      .Number("dOpen", rec.dOpen)
      .Number("dStrikePrice", rec.dStrikePrice)
      .Integer("lBidSize", rec.lBidSize)
      .Integer("lAskSize", rec.lAskSize)
      .Integer("lLastSize", rec.lLastSize)
      .Integer("lVolume", rec.lVolume)
      .Integer("lExpMonth", rec.lExpMonth)
      .Integer("lExpYear", rec.lExpYear)
      .Integer("lOpenInterest", rec.lOpenInterest);
  Date(json, "UTCDateTime", rec.UTCDateTime);
  Enumeration(json, "tick", rec.tick, TickName);
  Enumeration(json, "putcall", rec.putcall, PutCallName);
  return json.Finish();
}

std::string EventJson(std::string_view event, std::optional<long> errorCode, std::int64_t receivedMs,
                      std::optional<std::string_view> text) {
  CJsonWriter json = Start("event", receivedMs);
  json.String("event", event);
  if (errorCode) json.Integer("lErrorCode", *errorCode);
  if (text) json.String("text", *text);
  return json.Finish();
}

}  // namespace vok::cli

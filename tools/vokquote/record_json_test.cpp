#include "record_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "client_api.h"
#include "json_writer.h"
#include "ole_time.h"

namespace vok::cli {
namespace {

// 2026-12-05 15:00:00.500 UTC as an OLE date and as Unix milliseconds.
constexpr std::int64_t kUnixMs = 1796482800500LL;
const double kOleDate = 25569.0 + static_cast<double>(kUnixMs) / 86400000.0;

TEST(RecordJson, EachRecordKindCarriesItsFieldsInRecordOrder) {
  CBstr symbol = CBstr::FromUtf8("MSFT"), market = CBstr::FromUtf8("NYSE"), company = CBstr::FromUtf8("MSFT \"Tech\""),
        mmid = CBstr::FromUtf8("NSDQ"), option = CBstr::FromUtf8("+XYZ-270115-P-52.5"), under = CBstr::FromUtf8("XYZ");

  QUOTERECORD quote{};
  quote.bstrSymbol = symbol.Get();
  quote.bstrMarket = market.Get();
  quote.bstrCompany = company.Get();
  quote.dLast = 310.52;
  quote.dBid = 310.51;
  quote.dAsk = 310.55;
  quote.lBidSize = 4300;
  quote.lVolume = 478700;
  quote.UTCDateTime = kOleDate;
  quote.tick = tickDown;

  LEVEL2RECORD level2{};
  level2.bstrSymbol = symbol.Get();
  level2.bstrMMID = mmid.Get();
  level2.lSize = 300;
  level2.dPrice = 12.5;
  level2.side = msAsk;
  level2.bClosed = VARIANT_TRUE;

  TSRECORD ts{};
  ts.bstrSymbol = symbol.Get();
  ts.dPrice = 1.25;
  ts.lSize = 100;
  ts.type = ttBidTick;
  ts.cond = tcQuote_Halted;
  ts.tick = static_cast<enumTick>(20020);  // a value the server sent that has no member

  OPTIONSRECORD opt{};
  opt.bstrSymbol = option.Get();
  opt.bstrUnderlier = under.Get();
  opt.dStrikePrice = 52.5;
  opt.lExpMonth = 1;
  opt.lExpYear = 2027;
  opt.lOpenInterest = 1200;
  opt.putcall = pcPut;

  const std::pair<std::string, std::string> cases[] = {
      {QuoteJson(quote, kUnixMs),
       R"({"kind":"quote","received":"2026-12-05T15:00:00.500Z","bstrSymbol":"MSFT","bstrMarket":"NYSE",)"
       R"("bstrCompany":"MSFT \"Tech\"","bstrUnderlier":null,"dLast":310.52,"dBid":310.51,"dAsk":310.55,)"
       R"("dPrevClose":0,"dHigh":0,"dLow":0,"dOpen":0,"dMarginMult":0,"dStrikePrice":0,"lBidSize":4300,)"
       R"("lAskSize":0,"lLastSize":0,"lVolume":478700,"lFlags":0,"lContractSize":0,"lExpMonth":0,"lExpYear":0,)"
       R"("UTCDateTime":"2026-12-05T15:00:00.500Z","tick":1,"tickName":"down","putcall":0,"putcallName":"call","dNegBorrowPct":0})"},
      {Level2Json(level2, kUnixMs, 900),
       R"({"kind":"level2","received":"2026-12-05T15:00:00.500Z","bstrSymbol":"MSFT","bstrMMID":"NSDQ",)"
       R"("bstrSource":null,"lSize":300,"dPrice":12.5,"side":2,"sideName":"ask","bClosed":true,"UTCTime":null,)"
       R"("aggregate":900})"},
      {TsJson(ts, kUnixMs),
       R"({"kind":"ts","received":"2026-12-05T15:00:00.500Z","bstrSymbol":"MSFT","bstrExchange":null,)"
       R"("dPrice":1.25,"lSize":100,"lType":0,"UTCDateTime":null,"type":1,"typeName":"bidTick",)"
       R"("status":0,"statusName":"normal","cond":128,"condName":"quoteHalted","tick":20020,"tickName":null})"},
      {OptionsJson(opt, kUnixMs),
       R"({"kind":"options","received":"2026-12-05T15:00:00.500Z","bstrSymbol":"+XYZ-270115-P-52.5",)"
       R"("bstrUnderlier":"XYZ","dLast":0,"dBid":0,"dAsk":0,"dPrevClose":0,"dHigh":0,"dLow":0,"dOpen":0,)"
       R"("dStrikePrice":52.5,"lBidSize":0,"lAskSize":0,"lLastSize":0,"lVolume":0,"lExpMonth":1,"lExpYear":2027,)"
       R"("lOpenInterest":1200,"UTCDateTime":null,"tick":0,"tickName":"evenUp",)"
       R"("putcall":1,"putcallName":"put"})"},
      {EventJson("OnClose", 0, kUnixMs),
       R"({"kind":"event","received":"2026-12-05T15:00:00.500Z","event":"OnClose","lErrorCode":0})"},
      {EventJson("notice", std::nullopt, kUnixMs, "bye"),
       R"({"kind":"event","received":"2026-12-05T15:00:00.500Z","event":"notice","text":"bye"})"},
  };
  for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
}

TEST(RecordJson, WriterEscapesTextAndWritesNumbersExactly) {
  const std::pair<std::string, std::string> strings[] = {
      {"plain", R"("plain")"},
      {"a\"b\\c", R"("a\"b\\c")"},
      {"line\nfeed\ttab\r", R"("line\nfeed\ttab\r")"},
      {std::string("nul\0bell\x07", 9), R"("nul\u0000bell\u0007")"},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
      {"bad\xC3(", R"("bad\ufffd(")"},
      {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},  // an encoded surrogate is not UTF-8
  };
  for (const auto& [text, expected] : strings) {
    std::string out;
    CJsonWriter::AppendString(out, text);
    EXPECT_EQ(out, expected);
  }
  const std::pair<double, std::string> numbers[] = {
      {0.1, "0.1"},
      {310.52, "310.52"},
      {-0.5, "-0.5"},
      {1e21, "1e+21"},
      {0, "0"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
  };
  for (const auto& [value, expected] : numbers) {
    std::string out;
    CJsonWriter::AppendNumber(out, value);
    EXPECT_EQ(out, expected);
  }
}

// Record strings cross the public BSTR owner as UTF-8 both ways; what is not UTF-8 (or UTF-16)
// becomes U+FFFD rather than being dropped or passed through.
TEST(RecordJson, TextCrossesTheBstrAsUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E"},
      {"a\xFF"
       "b\xC3",
       "a\xEF\xBF\xBD"
       "b\xEF\xBF\xBD"},
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // an encoded surrogate, byte by byte
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(CBstr::FromUtf8(text).ToUtf8(), expected);
  EXPECT_EQ(CBstr::FromUtf8("\xF0\x9D\x84\x9E").Length(), 2u) << "a surrogate pair";
  const OLECHAR lone[] = {u'x', 0xD800, 0};
  EXPECT_EQ(CBstr::Attach(::SysAllocString(lone)).ToUtf8(), "x\xEF\xBF\xBD");
}

TEST(RecordJson, OleDatesBecomeUtcTextsAndClocksInTheChosenZone) {
  const std::pair<double, std::string> cases[] = {
      {kOleDate, "2026-12-05T15:00:00.500Z"},
      {25569.0, "1970-01-01T00:00:00.000Z"},
      {2.0, "1900-01-01T00:00:00.000Z"},
      {1.5, ""},  // before 1900
      {0, ""},
      {1e12, ""},
  };
  for (const auto& [date, expected] : cases) EXPECT_EQ(OleDateToText(date), expected) << date;
  EXPECT_EQ(OleDateToClock(kOleDate, true), "15:00:00");
  EXPECT_EQ(ZoneLabel(true), "UTC");
  const char* saved = std::getenv("TZ");
  const std::string savedZone = saved != nullptr ? saved : "";
  ::setenv("TZ", "EST5", 1);
  EXPECT_EQ(OleDateToClock(kOleDate, false), "10:00:00");
  EXPECT_EQ(ZoneLabel(false), "EST");
  saved != nullptr ? ::setenv("TZ", savedZone.c_str(), 1) : ::unsetenv("TZ");
  EXPECT_EQ(OleDateToUnixMs(kOleDate), kUnixMs);
}

}  // namespace
}  // namespace vok::cli

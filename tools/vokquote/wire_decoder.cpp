// Describing wire messages field by field for the decode command.
#include "wire_decoder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "json_writer.h"
#include "message/fix_tables.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"

namespace vok::cli {
namespace {

constexpr const char* kMask = "********";

struct SName {
  int fid;
  const char* name;
};

constexpr SName kFieldNames[] = {
    {wire::kFidUserName, "user"},
    {wire::kFidPassword, "password"},
    {wire::kFidPermissions, "permissions"},
    {wire::kFidOrderQuantity, "quantity"},
    {wire::kFidSymbol, "symbol"},
    {wire::kFidOrderPrice, "price"},
    {wire::kFidNoticeText, "notice"},
    {wire::kFidServiceId, "service"},
    {wire::kFidLast, "last"},
    {wire::kFidBid, "bid"},
    {wire::kFidAsk, "ask"},
    {wire::kFidBidSize, "bid size"},
    {wire::kFidAskSize, "ask size"},
    {wire::kFidLastSize, "last size"},
    {wire::kFidPrevClose, "prev close"},
    {wire::kFidHigh, "high"},
    {wire::kFidLow, "low"},
    {wire::kFidOpen, "open"},
    {wire::kFidVolume, "volume"},
    {wire::kFidTick, "tick"},
    {wire::kFidEasternTime, "time (Eastern)"},
    {wire::kFidEasternDate, "date (Eastern)"},
    {wire::kFidMarketMaker, "market maker"},
    {wire::kFidSide, "side"},
    {wire::kFidSidePrice, "price"},
    {wire::kFidSideSize, "size"},
    {wire::kFidSideEasternTime, "time (Eastern)"},
    {wire::kFidCompany, "company"},
    {wire::kFidExchange, "market"},
    {wire::kFidSideOpen, "open/closed"},
    {wire::kFidSideSource, "source"},
    {wire::kFidUnderlier, "underlier"},
    {wire::kFidStrike, "strike"},
    {wire::kFidExpMonth, "expiry month"},
    {wire::kFidPutCall, "put/call"},
    {wire::kFidPrintType, "type"},
    {wire::kFidExpYear, "expiry year"},
    {wire::kFidContractSize, "contract size"},
    {wire::kFidUtcTimestamp, "time (UTC)"},
    {wire::kFidSideTime, "time"},
    {wire::kFidPrintCondition, "condition"},
    {wire::kFidPrintStatus, "status"},
    {wire::kFidPrintKind, "print type"},
    {wire::kFidServerName, "server name"},
    {wire::kFidClientId, "client"},
    {wire::kFidEventCode, "event code"},
};

const char* KindName(VOKFieldType kind) {
  switch (kind) {
    case FT_INT:
      return "int";
    case FT_STRING:
      return "string";
    case FT_DOUBLE:
      return "double";
    case FT_GROUP:
      return "group";
    case FT_UINT64:
      return "uint64";
    default:
      return "none";
  }
}

enum class EChecksum { None, Ok, Bad, Missing };

// A captured line made ready for the message parser.
struct SPrepared {
  std::string text;
  std::string source;       // the trace's data tag ("L1") when the line came from the trace
  bool traceOther = false;  // a trace line of another kind
  bool fix = false;
  std::string fixType;  // the value of tag 35
  EChecksum checksum = EChecksum::None;
  std::string givenChecksum;
  int computedChecksum = 0;
};

constexpr char kSoh = '\x01';

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// "2026-12-06 07:20:01.123 [1a2b] 2 ": the prefix of every trace line. Its length, or 0.
std::size_t TracePrefixLength(std::string_view text) {
  constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd.ddd [";
  if (text.size() < kShape.size()) return 0;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return 0;
  }
  std::size_t i = kShape.size();
  const std::size_t hexStart = i;
  while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) ++i;
  if (i == hexStart || i + 1 >= text.size() || text[i] != ']' || text[i + 1] != ' ') return 0;
  i += 2;
  const std::size_t levelStart = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  if (i == levelStart || i >= text.size() || text[i] != ' ') return 0;
  return i + 1;
}

// The data-message tags the component's handlers write before each traced message.
constexpr std::string_view kTraceTags[] = {"L1:", "L2:", "TS:", "OPT:"};

// Trims the line, takes off a trace prefix, and for FIX puts SOH between the fields and checks
// the checksum. False with a reason for a line that cannot hold a message.
bool Prepare(std::string_view line, SPrepared& out, std::string& error) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  const std::size_t prefix = TracePrefixLength(line);
  if (prefix > 0) line.remove_prefix(prefix);
  for (std::string_view tag : kTraceTags) {
    if (line.starts_with(tag)) {
      out.source = tag.substr(0, tag.size() - 1);
      line.remove_prefix(tag.size());
      while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
      break;
    }
  }
  if (prefix > 0 && out.source.empty()) {
    out.traceOther = true;
    error = "a trace line without a data message";
    return false;
  }
  if (line.empty()) {
    error = "no message";
    return false;
  }
  if (line.starts_with("8=")) {
    const std::size_t at = line.find_first_of(std::string_view("\x01|^", 3));
    if (at == std::string_view::npos) {
      error = "FIX without separators between its fields (SOH, '|' or '^')";
      return false;
    }
    out.fix = true;
    out.text.assign(line);
    const char separator = line[at];
    std::replace(out.text.begin(), out.text.end(), separator, kSoh);
    if (out.text.back() != kSoh) out.text += kSoh;
    const std::size_t type = out.text.find(
        "\x01"
        "35=");
    if (type != std::string::npos) {
      const std::size_t end = out.text.find(kSoh, type + 4);
      out.fixType = out.text.substr(type + 4, end - type - 4);
    }
    // The checksum: the byte sum, modulo 256, of everything before the "10=" field.
    const std::size_t trailer = out.text.rfind(
        "\x01"
        "10=");
    if (trailer == std::string::npos) {
      out.checksum = EChecksum::Missing;
      return true;
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i <= trailer; ++i) sum += static_cast<unsigned char>(out.text[i]);
    out.computedChecksum = static_cast<int>(sum % 256);
    const std::size_t valueEnd = out.text.find(kSoh, trailer + 4);
    out.givenChecksum = out.text.substr(trailer + 4, valueEnd - trailer - 4);
    const bool digits = out.givenChecksum.size() == 3 &&
                        std::all_of(out.givenChecksum.begin(), out.givenChecksum.end(),
                                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
    out.checksum = digits && std::stoi(out.givenChecksum) == out.computedChecksum ? EChecksum::Ok : EChecksum::Bad;
    if (out.givenChecksum.size() > 8) out.givenChecksum = out.givenChecksum.substr(0, 8) + "...";
    return true;
  }
  if (line.size() < 2 || line[1] != '|') {
    error = "neither the line form (T|id=value;...) nor FIX (8=FIX...)";
    return false;
  }
  out.text.assign(line);
  return true;
}

// The FIX tag an internal field is written as (in an execution report price and quantity move).
int FixTagOf(int fid, bool execution) {
  if (execution && fid == vok::wire::kFidOrderQuantity) return 32;
  if (execution && fid == vok::wire::kFidOrderPrice) return 31;
  return vok::message::InternalToFixTag(fid);
}

struct STagName {
  int tag;
  const char* name;
};

// The FIX 4.1 tags of the component's translation tables, with the header and trailer tags.
constexpr STagName kFixTagNames[] = {
    {1, "Account"},
    {6, "AvgPx"},
    {7, "BeginSeqNo"},
    {8, "BeginString"},
    {9, "BodyLength"},
    {10, "CheckSum"},
    {11, "ClOrdID"},
    {12, "Commission"},
    {14, "CumQty"},
    {15, "Currency"},
    {16, "EndSeqNo"},
    {17, "ExecID"},
    {18, "ExecInst"},
    {19, "ExecRefID"},
    {21, "HandlInst"},
    {30, "LastMkt"},
    {31, "LastPx"},
    {32, "LastShares"},
    {34, "MsgSeqNum"},
    {35, "MsgType"},
    {37, "OrderID"},
    {38, "OrderQty"},
    {39, "OrdStatus"},
    {40, "OrdType"},
    {41, "OrigClOrdID"},
    {43, "PossDupFlag"},
    {44, "Price"},
    {49, "SenderCompID"},
    {50, "SenderSubID"},
    {52, "SendingTime"},
    {54, "Side"},
    {55, "Symbol"},
    {56, "TargetCompID"},
    {57, "TargetSubID"},
    {58, "Text"},
    {59, "TimeInForce"},
    {60, "TransactTime"},
    {61, "Urgency"},
    {76, "ExecBroker"},
    {77, "OpenClose"},
    {83, "RptSeq"},
    {99, "StopPx"},
    {100, "ExDestination"},
    {109, "ClientID"},
    {111, "MaxFloor"},
    {112, "TestReqID"},
    {114, "LocateReqd"},
    {115, "OnBehalfOfCompID"},
    {116, "OnBehalfOfSubID"},
    {117, "QuoteID"},
    {126, "ExpireTime"},
    {129, "DeliverToSubID"},
    {132, "BidPx"},
    {133, "OfferPx"},
    {137, "MiscFeeAmt"},
    {139, "MiscFeeType"},
    {142, "SenderLocationID"},
    {148, "Headline"},
    {150, "ExecType"},
    {151, "LeavesQty"},
    {167, "SecurityType"},
    {168, "EffectiveTime"},
    {198, "SecondaryOrderID"},
    {200, "MaturityMonthYear"},
    {201, "PutOrCall"},
    {202, "StrikePrice"},
    {203, "CoveredOrUncovered"},
    {205, "MaturityDay"},
    {211, "PegDifference"},
};

std::string TypeText(int type) {
  if (type > 0x20 && type < 0x7F) return std::string(1, static_cast<char>(type));
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02x", static_cast<unsigned>(type) & 0xFF);
  return text;
}

std::vector<std::pair<int, const VOKField*>> SortedFields(const VOKMessage& message) {
  std::vector<std::pair<int, const VOKField*>> fields;
  fields.reserve(static_cast<std::size_t>(message.GetFieldCount()));
  message.Fields().ForEach([&](int fid, const VOKField& field) { fields.emplace_back(fid, &field); });
  std::sort(fields.begin(), fields.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return fields;
}

std::string ValueText(int fid, const VOKField& field) {
  if (fid == wire::kFidPassword) return kMask;
  std::string value;
  field.AppendTo(value);
  return value;
}

// Each field on its own line; FIX input shows the tag it came from first.
void AppendTextFields(std::string& out, const VOKMessage& message, int depth, bool fix, bool execution) {
  const std::string indent(static_cast<std::size_t>(2 + depth * 4), ' ');
  for (const auto& [fid, field] : SortedFields(message)) {
    out += indent;
    if (fix) {
      const int tag = FixTagOf(fid, execution);
      char fixColumn[40];
      std::snprintf(fixColumn, sizeof fixColumn, "%-6s %-18s ", tag > 0 ? std::to_string(tag).c_str() : "-",
                    tag > 0 ? FixTagName(tag) : "");
      out += fixColumn;
    }
    char head[64];
    std::snprintf(head, sizeof head, "%-6d %-15s %-7s", fid, FieldName(fid), KindName(field->GetKind()));
    out += head;
    if (const VOKGroup* group = field->GetGroup()) {
      out += std::to_string(group->GetCount()) + " entries\n";
      for (int i = 0; i < group->GetCount(); ++i) {
        out += indent + "  [" + std::to_string(i) + "]\n";
        AppendTextFields(out, *group->GetEntry(i), depth + 1, fix, execution);
      }
      continue;
    }
    out += ' ';
    out += ValueText(fid, *field);
    out += '\n';
  }
}

std::string JsonFields(const VOKMessage& message, bool fix, bool execution) {
  std::string out = "[";
  bool first = true;
  for (const auto& [fid, field] : SortedFields(message)) {
    if (!first) out += ',';
    first = false;
    CJsonWriter json;
    json.Integer("id", fid).String("name", FieldName(fid)).String("type", KindName(field->GetKind()));
    if (const int tag = fix ? FixTagOf(fid, execution) : -1; tag > 0)
      json.Integer("fixTag", tag).String("fixName", FixTagName(tag));
    if (const VOKGroup* group = field->GetGroup()) {
      std::string entries = "[";
      for (int i = 0; i < group->GetCount(); ++i) {
        if (i > 0) entries += ',';
        entries += JsonFields(*group->GetEntry(i), fix, execution);
      }
      json.Raw("entries", entries + "]");
    } else if (fid == wire::kFidPassword) {
      json.String("value", kMask);
    } else {
      double number = 0;
      std::int64_t integer = 0;
      switch (field->GetKind()) {
        case FT_INT: {
          int value = 0;
          field->AsInt(value);
          json.Integer("value", value);
          break;
        }
        case FT_DOUBLE:
          field->AsDouble(number);
          json.Number("value", number);
          break;
        case FT_UINT64: {
          std::uint64_t value = 0;
          field->AsUInt64(value);
          integer = static_cast<std::int64_t>(value);
          // Above 2^53 a JSON reader loses digits: such values go as text.
          if (value > (1ULL << 53)) {
            json.String("value", std::to_string(value));
          } else {
            json.Integer("value", integer);
          }
          break;
        }
        default:
          json.String("value", ValueText(fid, *field));
      }
    }
    out += json.Finish();
  }
  return out + "]";
}

}  // namespace

const char* MessageTypeName(int type) {
  switch (type) {
    case wire::kMsgLogon:
      return "logon";
    case wire::kMsgLogonReply:
      return "logon reply";
    case wire::kMsgHeartbeat:
      return "heartbeat";
    case wire::kMsgDisconnectNotice:
      return "disconnect notice";
    case wire::kMsgSubscribeLevel1:
      return "level 1 subscribe";
    case wire::kMsgSubscribe:
      return "subscribe";
    case wire::kMsgUnsubscribe:
      return "unsubscribe";
    case wire::kMsgLevel1:
      return "level 1 data";
    case wire::kMsgLevel1Alt:
      return "level 1 data";
    case wire::kMsgLevel2:
      return "level 2 data";
    case wire::kMsgTimeSales:
      return "time and sales data";
    case wire::kMsgOptions:
      return "options data";
    case wire::kMsgConnectionEvent:
      return "connection event";
    default:
      return "";
  }
}

const char* FixTagName(int tag) {
  const auto* end = std::end(kFixTagNames);
  const auto* found =
      std::lower_bound(std::begin(kFixTagNames), end, tag, [](const STagName& name, int id) { return name.tag < id; });
  return found != end && found->tag == tag ? found->name : "";
}

const char* FieldName(int fid) {
  const auto* end = std::end(kFieldNames);
  const auto* found =
      std::lower_bound(std::begin(kFieldNames), end, fid, [](const SName& name, int id) { return name.fid < id; });
  return found != end && found->fid == fid ? found->name : "";
}

EDecodeResult DecodeLine(std::string_view line, int lineNumber, bool json, std::string& out, std::string& error) {
  out.clear();
  SPrepared prepared;
  if (!Prepare(line, prepared, error))
    return prepared.traceOther ? EDecodeResult::TraceOther : EDecodeResult::Unreadable;
  VOKMessage message;
  message.Parse(prepared.text.data(), static_cast<int>(prepared.text.size()));
  const int type = message.GetType();
  if (type == 0 && message.GetFieldCount() == 0) {
    error = prepared.fix ? "no FIX field the component reads" : "nothing readable";
    return EDecodeResult::Unreadable;
  }
  const bool execution = prepared.fix && prepared.fixType == "8";
  if (json) {
    CJsonWriter writer;
    writer.String("kind", "message").Integer("line", lineNumber);
    if (type == 0) {
      writer.Null("type");
    } else {
      writer.String("type", TypeText(type));
    }
    writer.String("name", MessageTypeName(type));
    if (!prepared.source.empty()) writer.String("source", prepared.source);
    if (prepared.fix) {
      writer.String("fixType", prepared.fixType);
      writer.String("checksum", prepared.checksum == EChecksum::Ok    ? "ok"
                                : prepared.checksum == EChecksum::Bad ? "bad"
                                                                      : "missing");
    }
    writer.Raw("fields", JsonFields(message, prepared.fix, execution));
    out = writer.Finish() + "\n";
    return EDecodeResult::Message;
  }
  out = "line " + std::to_string(lineNumber) + ": ";
  out += type == 0 ? std::string("(no type)") : TypeText(type);
  const char* name = MessageTypeName(type);
  if (*name != '\0') out += std::string(" ") + name;
  if (!prepared.source.empty()) out += ", trace " + prepared.source;
  if (prepared.fix) out += ", FIX 35=" + prepared.fixType;
  const int count = message.GetFieldCount();
  out += " (" + std::to_string(count) + (count == 1 ? " field)" : " fields)");
  if (prepared.checksum == EChecksum::Bad) {
    char text[64];
    std::snprintf(text, sizeof text, " BAD CHECKSUM: 10=%s, the message sums to %03d", prepared.givenChecksum.c_str(),
                  prepared.computedChecksum);
    out += text;
  } else if (prepared.fix && prepared.checksum == EChecksum::Missing) {
    out += " no checksum";
  }
  out += '\n';
  AppendTextFields(out, message, 0, prepared.fix, execution);
  return EDecodeResult::Message;
}

bool CBoundedLineReader::Next(std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  std::streambuf* buffer = m_in.rdbuf();
  if (buffer == nullptr) return false;
  bool any = false;
  for (int c = buffer->sbumpc(); c != std::char_traits<char>::eof(); c = buffer->sbumpc()) {
    any = true;
    if (c == '\n') break;
    if (tooLong) continue;
    if (line.size() >= m_max) {
      tooLong = true;
      line.clear();
      line.shrink_to_fit();
      continue;
    }
    line += static_cast<char>(c);
  }
  if (!any) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace vok::cli

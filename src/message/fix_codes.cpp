// FIX coded-value translation in both directions; see fix_codes.h. Each coded field has one
// table of (FIX text, internal code) pairs, read forwards by the reader and backwards by the writer.
#include "message/fix_codes.h"

#include <string>

#include "message/eastern_time.h"
#include "message/fix_tables.h"
#include "message/number_text.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"

namespace vok::message {
namespace {

struct Code {
  std::string_view fix;
  int internal;
};

constexpr Code kSide[] = {{"1", 10000}, {"2", 10001}, {"5", 10002}, {"B", 10005}};
constexpr Code kLegSide[] = {{"1", 10000}, {"2", 10001}, {"5", 10002}};
constexpr Code kTimeInForce[] = {{"0", 10011}, {"1", 10009}, {"3", 10010}, {"6", 10016},
                                 {"G", 10008}, {"H", 10014}, {"M", 10017}, {"T", 10015}};
constexpr Code kOrderType[] = {{"1", 10031}, {"2", 10030}, {"3", 10032}, {"4", 10033}, {"5", 10039},
                               {"B", 10057}, {"J", 10078}, {"P", 10034}, {"V", 10063}, {"z", 10079}};
// Order types that only exist inside: written as the FIX type they refine.
constexpr Code kOrderTypeOut[] = {{"2", 10040}, {"2", 10043}, {"2", 10044}, {"2", 10056}, {"1", 10038},
                                  {"1", 10069}, {"3", 10076}, {"P", 10062}, {"P", 10066}, {"P", 10077}};
constexpr Code kCovered[] = {{"1", 10060}, {"0", 10061}};
constexpr Code kOpenClose[] = {{"O", 10070}, {"R", 10080}, {"C", 10071}};
constexpr Code kLegOpenClose[] = {{"O", 10070}, {"C", 10071}};
constexpr Code kSettlement[] = {{"0", 30054}, {"1", 30055}, {"2", 30056}};
constexpr Code kStatus[] = {{"0", 30060}, {"1", 30061}, {"2", 30062}, {"3", 30063}, {"4", 30064},
                            {"5", 30065}, {"6", 30066}, {"7", 30067}, {"8", 30068}, {"9", 30069},
                            {"A", 30070}, {"B", 30071}, {"C", 30072}, {"D", 30073}, {"E", 30074}};
constexpr Code kLegRatioKind[] = {{"1001", 10110}, {"1002", 10111}, {"1003", 10112}};

template <std::size_t N>
bool ToInternal(const Code (&codes)[N], std::string_view value, int& internal) {
  for (const Code& code : codes) {
    if (code.fix == value) {
      internal = code.internal;
      return true;
    }
  }
  return false;
}

template <std::size_t N>
const Code* ToFix(const Code (&codes)[N], int internal) {
  for (const Code& code : codes) {
    if (code.internal == internal) return &code;
  }
  return nullptr;
}

template <std::size_t N>
void StoreCode(VOKMessage& message, int id, const Code (&codes)[N], std::string_view value) {
  int internal = 0;
  if (ToInternal(codes, value, internal)) message.SetInt(id, internal);
}

}  // namespace

void StoreFixValue(VOKMessage& message, int id, std::string_view value) {
  const char* begin = value.data();
  const char* end = begin + value.size();
  int code = 0;
  switch (id) {
    case kFixMessageTypeId: {
      const int type = FixMessageTypeToInternal(value, message.GetType());
      message.SetType(static_cast<char>(type));
      if (value == "0" || value == "1") message.SetText(wire::kFidSessionMsgType, value);
      return;
    }
    case kFixExecutionTypeId:
      message.SetType(static_cast<char>(FixExecutionTypeToInternal(value, message.GetType())));
      return;
    case wire::kFidOrderSide:
      StoreCode(message, id, kSide, value);
      return;
    case wire::kFidLegSide:
      StoreCode(message, id, kLegSide, value);
      return;
    case wire::kFidTimeInForce:
      if (!ToInternal(kTimeInForce, value, code)) ToInternal(kTimeInForce, "0", code);  // day
      message.SetInt(id, code);
      return;
    case wire::kFidOrderType:
      StoreCode(message, id, kOrderType, value);
      return;
    case wire::kFidCovered:
      StoreCode(message, id, kCovered, ReadInt(begin, end) != 0 ? "1" : "0");
      return;
    case wire::kFidOpenClose:
      StoreCode(message, id, kOpenClose, value == "O" || value == "R" ? value : "C");
      return;
    case wire::kFidLegOpenClose:
      StoreCode(message, id, kLegOpenClose, value == "O" ? value : "C");
      return;
    case wire::kFidUrgency:
      StoreCode(message, id, kSettlement, value);
      return;
    case wire::kFidOrderStatus:
    case wire::kFidLegOrderStatus:
      StoreCode(message, id, kStatus, value);
      return;
    case wire::kFidTargetStrategy:
      StoreCode(message, id, kLegRatioKind, value);
      return;
    case wire::kFidRefMsgType: {
      const int type = FixMessageTypeToInternal(value, 0);
      if (type != 0) message.SetInt(id, type);
      return;
    }
    case wire::kFidCancelRejectTo:
      if (value == "2") message.SetType('V');
      return;
    case wire::kFidExpYear:
      message.SetText(wire::kFidExpYear, value.substr(0, 4));
      message.SetText(wire::kFidExpMonth, value.size() > 4 ? value.substr(4, 2) : std::string_view());
      return;
    case wire::kFidTransactTime:
      ReadFixTransactTime(message, value, EasternOffsetHours());
      return;
    case wire::kFidOrderQuantity:
    case wire::kFidTag10000Count:
    case wire::kFidTag10001Count:
      message.SetInt(id, ReadInt(begin, end));
      return;
    case wire::kFidOrderPrice:
    case wire::kFidStopPrice:
    case wire::kFidTag10012Price:
    case wire::kFidTag10015Price:
      message.SetDouble(id, ReadDouble(begin, end));
      return;
    default:
      message.SetText(id, value);
      return;
  }
}

void AppendFixValue(std::string& out, int id, const VOKField& field, int offsetHours) {
  const Code* code = nullptr;
  int internal = 0;
  switch (id) {
    case wire::kFidOrderSide:
      code = field.AsInt(internal) ? ToFix(kSide, internal) : nullptr;
      break;
    case wire::kFidLegSide:
      code = field.AsInt(internal) ? ToFix(kLegSide, internal) : nullptr;
      break;
    case wire::kFidTimeInForce:
      code = field.AsInt(internal) ? ToFix(kTimeInForce, internal) : nullptr;
      break;
    case wire::kFidOrderType:
      if (field.AsInt(internal)) {
        code = ToFix(kOrderType, internal);
        if (code == nullptr) code = ToFix(kOrderTypeOut, internal);
      }
      break;
    case wire::kFidCovered:
      code = field.AsInt(internal) ? ToFix(kCovered, internal) : nullptr;
      break;
    case wire::kFidOpenClose:
      code = field.AsInt(internal) ? ToFix(kOpenClose, internal) : nullptr;
      break;
    case wire::kFidLegOpenClose:
      code = field.AsInt(internal) ? ToFix(kLegOpenClose, internal) : nullptr;
      break;
    case wire::kFidOrderStatus:
    case wire::kFidLegOrderStatus:
      code = field.AsInt(internal) ? ToFix(kStatus, internal) : nullptr;
      break;
    case wire::kFidTargetStrategy:
      code = field.AsInt(internal) ? ToFix(kLegRatioKind, internal) : nullptr;
      break;
    case wire::kFidPutCall: {
      std::string text;
      field.AsString(text);
      if (text == "P")
        out.push_back('0');
      else if (text == "C")
        out.push_back('1');
      else
        out.append(text);
      return;
    }
    case wire::kFidTransactTime: {
      std::string text;
      if (field.AsString(text)) AppendFixTransactTime(out, text, offsetHours);
      return;
    }
    default:
      field.AppendTo(out);
      return;
  }
  if (code != nullptr) out.append(code->fix);
}

}  // namespace vok::message

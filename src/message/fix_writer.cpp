// Writing the FIX 4.1 form into the calling thread's buffer: header with body length, message
// type, target (56), translated fields in field-map order, sending time, repeating groups and the
// checksum. Order fields are adjusted on a copy so that ToFIX leaves the message as it was.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>

#include "message/eastern_time.h"
#include "message/fix_codes.h"
#include "message/fix_tables.h"
#include "message/tls_buffer.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "platform/calendar.h"

using namespace vok::message;
namespace wire = vok::wire;

class VOKFixWriter {
 public:
  static void Write(const VOKMessage& message, std::string& body, std::string& out);
  static bool NeedsOrderAdjustment(const VOKMessage& message);
  static void AdjustOrder(VOKMessage& message);
};

namespace {

constexpr char kSoh = '\x01';

void AppendTag(int tag, std::string& out) {
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, tag);
  out.append(digits, end);
  out.push_back('=');
}

// Appends tag=value SOH, or nothing when the translated value is empty.
void AppendTranslated(int tag, int id, const VOKField& field, const VOKMessage& message, std::string& out,
                      int offsetHours) {
  const std::size_t mark = out.size();
  AppendTag(tag, out);
  const std::size_t valueStart = out.size();
  AppendFixValue(out, id, field, offsetHours);
  if (out.size() == valueStart) {
    out.resize(mark);
    return;
  }
  if (id == wire::kFidExpYear) {
    int month = 0;
    message.GetInt(wire::kFidExpMonth, month);
    char digits[16];
    const int length = std::snprintf(digits, sizeof digits, "%02d", month);
    out.append(digits, static_cast<std::size_t>(length));
  }
  out.push_back(kSoh);
}

void AppendGroups(const VOKMessage& message, std::string& out, int offsetHours, int depth) {
  message.Fields().ForEach([&](int id, const VOKField& field) {
    const VOKGroup* group = field.GetGroup();
    const int tag = InternalToFixTag(id);
    if (group == nullptr || group->GetCount() == 0 || tag == -1 || depth >= 4) return;
    AppendTag(tag, out);
    char digits[16];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, group->GetCount());
    out.append(digits, end);
    out.push_back(kSoh);
    const int head = GroupMembers(id).front();
    for (int index = 0; index < group->GetCount(); ++index) {
      const VOKMessage& entry = *group->GetEntry(index);
      if (const VOKField* headField = entry.Fields().Find(head)) {
        AppendTranslated(InternalToFixTag(head), head, *headField, entry, out, offsetHours);
      }
      entry.Fields().ForEach([&](int memberId, const VOKField& member) {
        const int memberTag = InternalToFixTag(memberId);
        if (memberId == head || memberTag == -1 || member.GetKind() == FT_GROUP) return;
        AppendTranslated(memberTag, memberId, member, entry, out, offsetHours);
      });
      AppendGroups(entry, out, offsetHours, depth + 1);
    }
  });
}

void AddFlag(VOKMessage& message, char flag) {
  std::string text;
  message.GetString(wire::kFidExecInst, text);
  if (text.find(flag) != std::string::npos) return;
  if (!text.empty()) text.push_back(' ');
  text.push_back(flag);
  message.SetString(wire::kFidExecInst, text);
}

}  // namespace

bool VOKFixWriter::NeedsOrderAdjustment(const VOKMessage& message) {
  int value = 0;
  if (message.GetInt(wire::kFidOrderCondition, value) && value == wire::kConditionAllOrNone) return true;
  return message.GetInt(wire::kFidOrderType, value) &&
         (value == wire::kOrderLimitDiscretion || value == wire::kOrderLimitDiscretionReserve ||
          value == wire::kOrderPeggedPrimary || value == wire::kOrderPeggedPrimaryReserve ||
          value == wire::kOrderPeggedC);
}

void VOKFixWriter::AdjustOrder(VOKMessage& message) {
  int value = 0;
  if (message.GetInt(wire::kFidOrderCondition, value) && value == wire::kConditionAllOrNone) AddFlag(message, 'G');
  if (!message.GetInt(wire::kFidOrderType, value)) return;
  if (value == wire::kOrderLimitDiscretion || value == wire::kOrderLimitDiscretionReserve) {
    double stop = 0;
    double price = 0;
    message.GetDouble(wire::kFidDiscretionPrice, stop);
    message.GetDouble(wire::kFidOrderPrice, price);
    message.SetDouble(wire::kFidDiscretionOffset, stop - price);
  } else if (value == wire::kOrderPeggedPrimary || value == wire::kOrderPeggedPrimaryReserve) {
    AddFlag(message, 'R');
  } else if (value == wire::kOrderPeggedC) {
    AddFlag(message, 'C');
  }
}

// body is scratch space for the text between the header and the trailer.
void VOKFixWriter::Write(const VOKMessage& message, std::string& body, std::string& out) {
  const int offsetHours = EasternOffsetHours();
  int heartbeatTest = 0;
  message.GetInt(wire::kFidSessionMsgType, heartbeatTest);
  const bool multileg = message.GetGroupCount(wire::kFidLegs) >= 2;

  // The body is written first; the header needs its length.
  body.clear();
  body.append("35=");
  body.append(InternalToFixMessageType(message.GetType(), heartbeatTest != 0, multileg));
  body.push_back(kSoh);
  std::string target;
  if (message.GetString(132, target) && !target.empty()) {
    body.append("56=");
    body.append(target);
    body.push_back(kSoh);
  }
  message.Fields().ForEach([&](int id, const VOKField& field) {
    const int tag = InternalToFixTag(id);
    if (tag == -1 || tag == 8 || tag == 9 || tag == 10 || tag == 56 || field.GetKind() == FT_GROUP) return;
    AppendTranslated(tag, id, field, message, body, offsetHours);
  });
  std::string now;
  vok::calendar::AppendFixTimestamp(now, vok::calendar::Now());
  body.append("52=").append(now).push_back(kSoh);
  const int type = message.GetType();
  if (type != 'L' && type != '9' && type != 'B') body.append("60=").append(now).push_back(kSoh);
  AppendGroups(message, body, offsetHours, 0);

  out.clear();
  char header[64];
  const int headerLength =
      std::snprintf(header, sizeof header, "8=FIX.%s%c9=%d%c", FixVersion(), kSoh, static_cast<int>(body.size()), kSoh);
  out.append(header, static_cast<std::size_t>(headerLength));
  out.append(body);
  std::int64_t sum = 0;
  for (char c : out) sum += static_cast<signed char>(c);
  char trailer[32];
  const int trailerLength = std::snprintf(trailer, sizeof trailer, "10=%03d%c\n", static_cast<int>(sum % 256), kSoh);
  out.append(trailer, static_cast<std::size_t>(trailerLength));
}

const std::string& VOKMessage::ToFIX() const {
  TLSBuffer* buffer = ThreadBuffer();
  if (buffer == nullptr) return NoText();
  std::string& out = buffer->m_fix;
  if (VOKFixWriter::NeedsOrderAdjustment(*this)) {
    // A copy of the field map keeps the wire order of the original.
    VOKMessage adjusted;
    adjusted.m_type = m_type;
    adjusted.m_fields = m_fields;
    VOKFixWriter::AdjustOrder(adjusted);
    VOKFixWriter::Write(adjusted, buffer->m_scratch, out);
  } else {
    VOKFixWriter::Write(*this, buffer->m_scratch, out);
  }
  return out;
}

// Describing wire messages field by field for the decode command.
#include "wire_decoder.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "json_writer.h"
#include "message/vok_message.h"

namespace vok::cli {
namespace {

constexpr int kPasswordField = 133;
constexpr const char* kMask = "********";

struct SName {
  int fid;
  const char* name;
};

constexpr SName kFieldNames[] = {
    {100, "user"},
    {133, "password"},
    {154, "permissions"},
    {1003, "symbol"},
    {1011, "notice"},
    {2000, "service"},
    {2002, "last"},
    {2003, "bid"},
    {2004, "ask"},
    {2005, "bid size"},
    {2006, "ask size"},
    {2007, "last size"},
    {2008, "prev close"},
    {2009, "high"},
    {2010, "low"},
    {2011, "open"},
    {2012, "volume"},
    {2013, "tick"},
    {2014, "time (Eastern)"},
    {2015, "date (Eastern)"},
    {2016, "market maker"},
    {2017, "side"},
    {2018, "price"},
    {2019, "size"},
    {2020, "time (Eastern)"},
    {2021, "company"},
    {2022, "market"},
    {2024, "open/closed"},
    {2033, "source"},
    {2034, "underlier"},
    {2035, "strike"},
    {2036, "expiry month"},
    {2038, "put/call"},
    {2039, "type"},
    {2040, "expiry year"},
    {2041, "contract size"},
    {2043, "time (UTC)"},
    {2044, "time"},
    {2082, "condition"},
    {2083, "status"},
    {2084, "print type"},
    {8055, "server name"},
    {9976, "client"},
    {9992, "event code"},
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
  if (fid == kPasswordField) return kMask;
  std::string value;
  field.AppendTo(value);
  return value;
}

void AppendTextFields(std::string& out, const VOKMessage& message, int depth) {
  const std::string indent(static_cast<std::size_t>(2 + depth * 4), ' ');
  for (const auto& [fid, field] : SortedFields(message)) {
    char head[64];
    std::snprintf(head, sizeof head, "%-6d %-15s %-7s", fid, FieldName(fid), KindName(field->GetKind()));
    out += indent;
    out += head;
    if (const VOKGroup* group = field->GetGroup()) {
      out += std::to_string(group->GetCount()) + " entries\n";
      for (int i = 0; i < group->GetCount(); ++i) {
        out += indent + "  [" + std::to_string(i) + "]\n";
        AppendTextFields(out, *group->GetEntry(i), depth + 1);
      }
      continue;
    }
    out += ' ';
    out += ValueText(fid, *field);
    out += '\n';
  }
}

std::string JsonFields(const VOKMessage& message) {
  std::string out = "[";
  bool first = true;
  for (const auto& [fid, field] : SortedFields(message)) {
    if (!first) out += ',';
    first = false;
    CJsonWriter json;
    json.Integer("id", fid).String("name", FieldName(fid)).String("type", KindName(field->GetKind()));
    if (const VOKGroup* group = field->GetGroup()) {
      std::string entries = "[";
      for (int i = 0; i < group->GetCount(); ++i) {
        if (i > 0) entries += ',';
        entries += JsonFields(*group->GetEntry(i));
      }
      json.Raw("entries", entries + "]");
    } else if (fid == kPasswordField) {
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
    case 'L':
      return "logon";
    case 'G':
      return "logon reply";
    case '9':
      return "heartbeat";
    case '5':
      return "disconnect notice";
    case 'H':
      return "level 1 subscribe";
    case 'S':
      return "subscribe";
    case 'U':
      return "unsubscribe";
    case '1':
      return "level 1 data";
    case 'N':
      return "level 1 data";
    case '2':
      return "level 2 data";
    case '3':
      return "time and sales data";
    case '4':
      return "options data";
    case '0':
      return "connection event";
    default:
      return "";
  }
}

const char* FieldName(int fid) {
  const auto* end = std::end(kFieldNames);
  const auto* found =
      std::lower_bound(std::begin(kFieldNames), end, fid, [](const SName& name, int id) { return name.fid < id; });
  return found != end && found->fid == fid ? found->name : "";
}

std::string DecodeLine(std::string_view line, int lineNumber, bool json) {
  VOKMessage message;
  message.Parse(line.data(), static_cast<int>(line.size()));
  const int type = message.GetType();
  if (json) {
    CJsonWriter writer;
    writer.String("kind", "message").Integer("line", lineNumber);
    if (type == 0) {
      writer.Null("type");
    } else {
      writer.String("type", TypeText(type));
    }
    writer.String("name", MessageTypeName(type)).Raw("fields", JsonFields(message));
    return writer.Finish() + "\n";
  }
  std::string out = "line " + std::to_string(lineNumber) + ": ";
  if (type == 0 && message.GetFieldCount() == 0) return out + "nothing readable\n";
  out += type == 0 ? std::string("(no type)") : TypeText(type);
  const char* name = MessageTypeName(type);
  if (*name != '\0') out += std::string(" ") + name;
  const int count = message.GetFieldCount();
  out += " (" + std::to_string(count) + (count == 1 ? " field)\n" : " fields)\n");
  AppendTextFields(out, message, 0);
  return out;
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

// JSON text for vokquote's line output: escaping and number formatting.
#include "json_writer.h"

#include <charconv>
#include <cmath>

namespace vok::cli {
namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  std::uint32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  std::uint32_t code = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    code = code << 6 | (c & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

void CJsonWriter::AppendString(std::string& out, std::string_view value) {
  out += '"';
  for (std::size_t i = 0; i < value.size();) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c >= 0x80) {
      const std::size_t length = Utf8Length(value, i);
      if (length == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(value.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          static constexpr char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
}

void CJsonWriter::AppendNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, ec == std::errc() ? end : buffer);
}

void CJsonWriter::Key(std::string_view key) {
  if (!m_first) m_text += ',';
  m_first = false;
  AppendString(m_text, key);
  m_text += ':';
}

CJsonWriter& CJsonWriter::String(std::string_view key, std::string_view value) {
  Key(key);
  AppendString(m_text, value);
  return *this;
}

CJsonWriter& CJsonWriter::Number(std::string_view key, double value) {
  Key(key);
  AppendNumber(m_text, value);
  return *this;
}

CJsonWriter& CJsonWriter::Integer(std::string_view key, std::int64_t value) {
  Key(key);
  m_text += std::to_string(value);
  return *this;
}

CJsonWriter& CJsonWriter::Bool(std::string_view key, bool value) {
  Key(key);
  m_text += value ? "true" : "false";
  return *this;
}

CJsonWriter& CJsonWriter::Null(std::string_view key) {
  Key(key);
  m_text += "null";
  return *this;
}

CJsonWriter& CJsonWriter::Raw(std::string_view key, std::string_view json) {
  Key(key);
  m_text += json;
  return *this;
}

}  // namespace vok::cli

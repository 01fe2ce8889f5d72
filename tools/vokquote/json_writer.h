// CJsonWriter: builds one flat JSON object as text, key by key, for the one-object-per-line output
// of vokquote. Strings are escaped (control characters, quotes, invalid UTF-8 replaced), doubles
// are written in their shortest exact form and non-finite numbers as null.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vok::cli {

class CJsonWriter {
 public:
  CJsonWriter() { m_text.push_back('{'); }

  CJsonWriter& String(std::string_view key, std::string_view value);
  CJsonWriter& Number(std::string_view key, double value);
  CJsonWriter& Integer(std::string_view key, std::int64_t value);
  CJsonWriter& Bool(std::string_view key, bool value);
  CJsonWriter& Null(std::string_view key);
  // A value that is already JSON text (a nested object or array).
  CJsonWriter& Raw(std::string_view key, std::string_view json);

  // The finished object, without a line feed.
  std::string Finish() const { return m_text + "}"; }

  static void AppendString(std::string& out, std::string_view value);
  static void AppendNumber(std::string& out, double value);

 private:
  void Key(std::string_view key);

  std::string m_text;
  bool m_first = true;
};

}  // namespace vok::cli

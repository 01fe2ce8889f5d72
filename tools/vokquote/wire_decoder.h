// Decoding of captured wire lines for `vokquote decode`: each line (line form "T|id=value;..." or
// FIX) is parsed by the component's message class and described as its type and its typed fields,
// sorted by field id, as text or as one JSON object. The logon password field is always masked.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>

namespace vok::cli {

// The description of one message type character ("level 1 data"), or "" when unknown.
const char* MessageTypeName(int type);
// The short name of a field id ("symbol", "last"), or "" when unknown.
const char* FieldName(int fid);

// Text: a header line "TYPE name (N fields)" then one indented line per field. JSON: one line.
// lineNumber counts from 1 and appears in both forms.
std::string DecodeLine(std::string_view line, int lineNumber, bool json);

// Reads lines of at most maxLength bytes from a stream; longer lines are skipped whole and
// reported, so a capture without line feeds cannot make it allocate without bound.
class CBoundedLineReader {
 public:
  explicit CBoundedLineReader(std::istream& in, std::size_t maxLength = 1 << 20) : m_in(in), m_max(maxLength) {}
  // False at the end of the stream. Sets tooLong (and leaves line empty) for a skipped line.
  bool Next(std::string& line, bool& tooLong);
  std::size_t MaxLength() const { return m_max; }

 private:
  std::istream& m_in;
  std::size_t m_max;
};

}  // namespace vok::cli

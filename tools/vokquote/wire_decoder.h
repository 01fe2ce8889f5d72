// Decoding of captured wire lines for `vokquote decode`: each line - line form "T|id=value;...",
// FIX with SOH, '|' or '^' between fields, or a data-message line of the component's trace - is
// parsed by the component's message class and described as its type and its typed fields, sorted
// by field id (with the FIX tag beside each for FIX input), as text or as one JSON object. A FIX
// checksum that does not match is said on the message's own line. The password is always masked.
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

// The FIX 4.1 name of a tag the component reads or writes ("Symbol"), or "" for tags outside
// FIX 4.1 and for tags it does not use.
const char* FixTagName(int tag);

enum class EDecodeResult {
  Message,     // out holds the description
  TraceOther,  // a trace line that carries no data message (connection states, warnings)
  Unreadable,  // error holds a one-line reason
};

// Text: a header line "line N: TYPE name (N fields)" then one indented line per field. JSON: one
// line. lineNumber counts from 1 and appears in both forms. out is left empty unless a message
// was read.
EDecodeResult DecodeLine(std::string_view line, int lineNumber, bool json, std::string& out, std::string& error);

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

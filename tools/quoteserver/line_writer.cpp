// Line building through VOKMessage.
#include "line_writer.h"

#include <limits>

namespace vok::sim {

void CLineWriter::Begin(char type) {
  m_message.Clear();
  m_message.SetType(type);
}

void CLineWriter::Text(int fid, std::string_view value) {
  m_scratch.assign(value);
  m_message.SetString(fid, m_scratch);
}

void CLineWriter::Int(int fid, std::int64_t value) {
  if (value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max()) {
    m_message.SetInt(fid, static_cast<int>(value));
  } else if (value > 0) {
    m_message.SetUInt64(fid, static_cast<std::uint64_t>(value));
  } else {
    m_message.SetString(fid, std::to_string(value));
  }
}

void CLineWriter::Price(int fid, std::int64_t cents) { m_message.SetDouble(fid, static_cast<double>(cents) / 100.0); }

void CLineWriter::Double(int fid, double value) { m_message.SetDouble(fid, value); }

void CLineWriter::AppendTo(std::string& out) {
  out += m_message.ToString();
  m_message.Clear();
}

}  // namespace vok::sim

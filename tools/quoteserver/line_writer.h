// Builds the server's lines in the line form through the component's own message class, so the
// simulator writes exactly what the client parses. One writer per feed or session, used by the
// server thread only; each line is appended to a caller's output string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "message/vok_message.h"

namespace vok::sim {

class CLineWriter {
 public:
  void Begin(char type);
  void Text(int fid, std::string_view value);
  void Int(int fid, std::int64_t value);
  void Price(int fid, std::int64_t cents);
  void Double(int fid, double value);
  // Appends the line (with its line feed) to out and leaves the writer empty.
  void AppendTo(std::string& out);

 private:
  VOKMessage m_message;
  std::string m_scratch;
};

}  // namespace vok::sim

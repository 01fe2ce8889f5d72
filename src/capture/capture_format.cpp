// Formatting and parsing of capture header and record lines. Parsing never throws and reads only
// the given text: a capture file is outside input like the wire.
#include "capture/capture_format.h"

#include <charconv>
#include <chrono>

namespace vok::capture {

namespace {

bool ParseNumber(std::string_view text, std::int64_t& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

}  // namespace

int ParseHeader(std::string_view line) {
  if (line.substr(0, kMagic.size()) != kMagic || line.size() < kMagic.size() + 2 || line[kMagic.size()] != ' ') {
    return 0;
  }
  std::string_view rest = line.substr(kMagic.size() + 1);
  rest = rest.substr(0, rest.find(' '));
  std::int64_t version = 0;
  if (!ParseNumber(rest, version) || version <= 0 || version > 1000) return 0;
  return static_cast<int>(version);
}

bool ParseRecord(std::string_view line, SRecord& record) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos || line.size() < space + 2) return false;
  std::int64_t timeNs = 0;
  if (!ParseNumber(line.substr(0, space), timeNs) || timeNs < 0) return false;
  const char kind = line[space + 1];
  if (kind != kKindData && kind != kKindEvent) return false;
  // The kind stands alone: "D" followed by a blank, or an empty text at the end of the line.
  if (line.size() > space + 2 && line[space + 2] != ' ') return false;
  record.timeNs = timeNs;
  record.kind = kind;
  record.text = line.size() > space + 3 ? line.substr(space + 3) : std::string_view();
  return true;
}

void AppendHeader(std::string& out, std::int64_t createdNs) {
  out.append(kMagic);
  out.append(" ");
  out.append(std::to_string(kVersion));
  out.append(" created ");
  out.append(std::to_string(createdNs));
  out.push_back('\n');
}

void AppendRecord(std::string& out, std::int64_t timeNs, char kind, std::string_view text) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, timeNs);
  out.append(digits, end);
  out.push_back(' ');
  out.push_back(kind);
  out.push_back(' ');
  out.append(text);
  out.push_back('\n');
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace vok::capture

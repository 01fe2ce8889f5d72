// Frame composition and escape-aware text widths.
#include "screen.h"

#include <algorithm>

namespace vok::cli {
namespace {

// Length of the escape sequence at text[i] (text[i] is ESC): CSI sequences up to their final byte.
std::size_t EscapeLength(std::string_view text, std::size_t i) {
  std::size_t k = i + 1;
  if (k < text.size() && text[k] == '[') {
    for (++k; k < text.size(); ++k) {
      const auto c = static_cast<unsigned char>(text[k]);
      if (c >= 0x40 && c <= 0x7E) return k + 1 - i;
    }
    return text.size() - i;
  }
  return std::min<std::size_t>(2, text.size() - i);
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// At most rows lines; when some do not fit, the last row says how many.
std::vector<std::string> FittingLines(const std::vector<std::string>& lines, int rows) {
  const auto room = static_cast<std::size_t>(std::max(rows, 1));
  if (lines.size() <= room) return lines;
  std::vector<std::string> fitting(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(room - 1));
  fitting.push_back("... " + std::to_string(lines.size() - room + 1) + " more rows");
  return fitting;
}

}  // namespace

std::size_t VisibleWidth(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\x1b') {
      i += EscapeLength(text, i);
      continue;
    }
    if (!IsContinuation(text[i])) ++width;
    ++i;
  }
  return width;
}

std::string CutToWidth(std::string_view text, std::size_t width) {
  std::string out;
  std::size_t used = 0;
  bool escaped = false;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\x1b') {
      const std::size_t length = EscapeLength(text, i);
      out.append(text.substr(i, length));
      escaped = true;
      i += length;
      continue;
    }
    if (!IsContinuation(text[i])) {
      if (used == width) {
        if (escaped) out += "\x1b[0m";
        return out;
      }
      ++used;
    }
    out += text[i++];
  }
  return out;
}

std::string StripEscapes(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\x1b') {
      i += EscapeLength(text, i);
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string ComposeFrame(const std::vector<std::string>& lines, std::string_view status, int width, int height) {
  width = std::max(width, 10);
  height = std::max(height, 2);
  std::string frame = "\x1b[H";
  for (const auto& line : FittingLines(lines, height - 1)) {
    frame += CutToWidth(line, static_cast<std::size_t>(width));
    frame += "\x1b[K\r\n";
  }
  frame += "\x1b[J";  // rows the previous frame used below these
  frame += "\x1b[" + std::to_string(height) + ";1H\x1b[7m";
  // One column short of the edge: a character in the bottom-right cell makes some terminals scroll.
  const auto columns = static_cast<std::size_t>(width - 1);
  const std::string statusLine = CutToWidth(status, columns);
  frame += statusLine;
  const std::size_t used = VisibleWidth(statusLine);
  if (used < columns) frame.append(columns - used, ' ');
  frame += "\x1b[0m";
  return frame;
}

}  // namespace vok::cli

namespace vok::cli {

std::string ComposePlainFrame(const std::vector<std::string>& lines, std::string_view status, int width, int height) {
  width = std::max(width, 10);
  std::string frame;
  for (const auto& line : FittingLines(lines, std::max(height, 2) - 1)) {
    frame += CutToWidth(StripEscapes(line), static_cast<std::size_t>(width));
    frame += '\n';
  }
  frame += CutToWidth(StripEscapes(status), static_cast<std::size_t>(width - 1));
  return frame + "\n\n";
}

}  // namespace vok::cli

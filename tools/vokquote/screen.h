// Full-screen frames for the live views: the terminal sequences for colour, and the composition of
// one frame (view lines cut to the terminal's width, a status line on the last row) that replaces
// the previous one in place without clearing the screen first, so it does not flicker.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vok::cli {

inline constexpr const char* kReset = "\x1b[0m";
inline constexpr const char* kBold = "\x1b[1m";
inline constexpr const char* kDim = "\x1b[2m";
inline constexpr const char* kGreen = "\x1b[32m";
inline constexpr const char* kRed = "\x1b[31m";
inline constexpr const char* kReverse = "\x1b[7m";

// Columns that text takes on screen: escape sequences take none, a UTF-8 character one.
std::size_t VisibleWidth(std::string_view text);
// text cut to at most width visible columns; escape sequences are kept, and a reset is added when
// something was cut after a colour began.
std::string CutToWidth(std::string_view text, std::size_t width);
// text without its escape sequences.
std::string StripEscapes(std::string_view text);

// One frame: cursor home, each of lines (at most height - 1) cut to width and cleared to the end of
// its row, the status line in reverse video on row height, everything between cleared. Lines that
// do not fit give way to a last row "... N more rows".
std::string ComposeFrame(const std::vector<std::string>& lines, std::string_view status, int width, int height);
// The same frame for a terminal without cursor control: plain lines (no escape sequences) ending
// with the status line and an empty line, to be written below the previous frame.
std::string ComposePlainFrame(const std::vector<std::string>& lines, std::string_view status, int width, int height);

}  // namespace vok::cli

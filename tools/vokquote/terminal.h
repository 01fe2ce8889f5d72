// The terminal of the live views. CTerminalScreen switches to the alternate screen with the cursor
// hidden and keys unechoed, and puts everything back when it goes out of scope, so the user's
// screen returns on every way out (q, Ctrl-C, SIGTERM, an error).
#pragma once

#include <string_view>

#include "system.h"

namespace vok::cli {

inline constexpr std::string_view kEnterScreen = "\x1b[?1049h\x1b[H\x1b[2J\x1b[?25l";
inline constexpr std::string_view kLeaveScreen = "\x1b[0m\x1b[?25h\x1b[?1049l";

// Whether the terminal takes escape sequences for cursor movement (TERM set and not "dumb"), and
// whether it should be given colour (that, and NO_COLOR unset or empty).
bool TerminalHasCursorControl();
bool TerminalWantsColour();

class CTerminalScreen {
 public:
  // Takes over outFd (the screen) and inFd (keys; ignored when it is not a terminal).
  CTerminalScreen(int inFd, int outFd);
  CTerminalScreen(const CTerminalScreen&) = delete;
  CTerminalScreen& operator=(const CTerminalScreen&) = delete;
  ~CTerminalScreen();

  // False once the terminal is gone (write error).
  bool Write(std::string_view text) { return WriteAll(m_out, text); }

 private:
  CKeyMode m_keys;  // restored after the screen is left
  int m_out;
};

}  // namespace vok::cli

// Alternate screen, cursor and key modes of the terminal, restored by the destructor.
#include "terminal.h"

#include <cstdlib>

namespace vok::cli {

bool TerminalHasCursorControl() {
  const char* term = std::getenv("TERM");
  return term != nullptr && *term != '\0' && std::string_view(term) != "dumb";
}

bool TerminalWantsColour() {
  const char* noColour = std::getenv("NO_COLOR");
  return TerminalHasCursorControl() && (noColour == nullptr || *noColour == '\0');
}

CTerminalScreen::CTerminalScreen(int inFd, int outFd) : m_keys(inFd), m_out(outFd) { WriteAll(m_out, kEnterScreen); }

CTerminalScreen::~CTerminalScreen() { WriteAll(m_out, kLeaveScreen); }

}  // namespace vok::cli

// Alternate screen, cursor and key modes of the terminal, restored by the destructor.
#include "terminal.h"

#include <cerrno>
#include <cstdlib>

#include <sys/ioctl.h>
#include <unistd.h>

namespace vok::cli {

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

void TerminalSize(int fd, int& width, int& height) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
    width = size.ws_col;
    height = size.ws_row;
  } else {
    width = 80;
    height = 24;
  }
}

bool TerminalHasCursorControl() {
  const char* term = std::getenv("TERM");
  return term != nullptr && *term != '\0' && std::string_view(term) != "dumb";
}

bool TerminalWantsColour() {
  const char* noColour = std::getenv("NO_COLOR");
  return TerminalHasCursorControl() && (noColour == nullptr || *noColour == '\0');
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

CTerminalScreen::CTerminalScreen(int inFd, int outFd) : m_in(inFd), m_out(outFd) {
  if (IsTerminal(m_in) && ::tcgetattr(m_in, &m_saved) == 0) {
    termios modes = m_saved;
    // Keys arrive one by one and are not echoed; Ctrl-C still raises SIGINT.
    modes.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    modes.c_cc[VMIN] = 0;
    modes.c_cc[VTIME] = 0;
    m_restoreModes = ::tcsetattr(m_in, TCSANOW, &modes) == 0;
  }
  WriteAll(m_out, kEnterScreen);
}

CTerminalScreen::~CTerminalScreen() {
  WriteAll(m_out, kLeaveScreen);
  if (m_restoreModes) ::tcsetattr(m_in, TCSANOW, &m_saved);
}

void CTerminalScreen::Size(int& width, int& height) const { TerminalSize(m_out, width, height); }

bool CTerminalScreen::Write(std::string_view text) { return WriteAll(m_out, text); }

}  // namespace vok::cli

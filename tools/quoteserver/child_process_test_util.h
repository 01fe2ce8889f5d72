// Test helpers that run a built tool (vokquote, vokquote-server) as a child process: with files for
// stdin, stdout and stderr, or on a pseudo-terminal; every wait is bounded and a child that
// outlives its test is killed.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace vok::test {

struct SChildResult {
  int status = -1;  // exit code, or 128 + signal
  bool timedOut = false;
  std::string out;
  std::string err;
};

// Runs program with args and extra "NAME=value" environment entries; stdin holds input.
SChildResult RunChild(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                      int timeoutMs, const std::vector<std::string>& environment = {});

std::string ReadFile(const std::string& path);
// The lines of text without their line feeds; a last line without one counts too.
std::vector<std::string> Lines(const std::string& text);

// A child on a pseudo-terminal of the given size; what it writes is collected from the master side.
class CPtyChild {
 public:
  CPtyChild() = default;
  CPtyChild(const CPtyChild&) = delete;
  CPtyChild& operator=(const CPtyChild&) = delete;
  ~CPtyChild();

  bool Start(const std::string& program, const std::vector<std::string>& args, int columns, int rows);
  // Reads until the output so far contains needle; false on time-out or end of output.
  bool ReadUntil(const std::string& needle, int timeoutMs);
  // Reads everything until the child closes the terminal (or the time-out).
  void ReadToEnd(int timeoutMs);
  void Signal(int signal);
  // Types text on the child's terminal.
  bool Send(const std::string& text);
  // The exit status (as SChildResult::status) within timeoutMs, else -1.
  int Wait(int timeoutMs);
  // The terminal's local modes (c_lflag) as the child left them.
  unsigned LocalModes() const;
  const std::string& Output() const { return m_output; }

 private:
  bool ReadSome(int timeoutMs);

  CUniqueFd m_master;
  int m_pid = -1;
  std::string m_output;
};

}  // namespace vok::test

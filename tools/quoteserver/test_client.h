// A blocking loopback client for the simulator's tests: connects, sends text, and reads lines with
// a time-out so that no test can hang on a silent server.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace vok::sim {

class CTestClient {
 public:
  // receiveBuffer > 0 sets SO_RCVBUF before connecting (a small window for a stalled reader).
  bool Connect(int port, int receiveBuffer = 0);
  bool Send(const std::string& bytes);
  // The next line without its line feed, or nothing when none arrives in time or the server closed.
  std::optional<std::string> ReadLine(int timeoutMs);
  // Lines until one starts with prefix (included); empty optional on time-out or close.
  std::optional<std::string> ReadUntil(const std::string& prefix, int timeoutMs);
  // Every line that arrives within the time (stops early on close).
  std::vector<std::string> ReadFor(int timeoutMs);
  // True once the server has closed the connection (read returned 0 or failed).
  bool WaitClosed(int timeoutMs);
  bool Closed() const { return m_closed; }
  // recv calls that returned data so far.
  int Reads() const { return m_reads; }

 private:
  bool Fill(int timeoutMs);

  CUniqueFd m_socket;
  std::string m_buffer;
  bool m_closed = false;
  int m_reads = 0;
};

}  // namespace vok::sim

// Loopback test client with bounded reads.
#include "test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>

namespace vok::sim {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

bool CTestClient::Connect(int port, int receiveBuffer) {
  m_socket.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!m_socket.Valid()) return false;
  if (receiveBuffer > 0) {
    ::setsockopt(m_socket.Get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return ::connect(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool CTestClient::Send(const std::string& bytes) {
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    ssize_t sent = ::send(m_socket.Get(), bytes.data() + offset, bytes.size() - offset, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    offset += static_cast<std::size_t>(sent);
  }
  return true;
}

bool CTestClient::Fill(int timeoutMs) {
  if (m_closed) return false;
  pollfd entry{m_socket.Get(), POLLIN, 0};
  if (::poll(&entry, 1, timeoutMs) <= 0) return false;
  char chunk[65536];
  ssize_t got = ::recv(m_socket.Get(), chunk, sizeof chunk, 0);
  if (got <= 0) {
    m_closed = true;
    return false;
  }
  ++m_reads;
  m_buffer.append(chunk, static_cast<std::size_t>(got));
  return true;
}

std::optional<std::string> CTestClient::ReadLine(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::size_t newline = m_buffer.find('\n');
    if (newline != std::string::npos) {
      std::string line = m_buffer.substr(0, newline);
      m_buffer.erase(0, newline + 1);
      return line;
    }
    if (!Fill(RemainingMs(deadline))) {
      if (m_closed || RemainingMs(deadline) == 0) return std::nullopt;
    }
  }
}

std::optional<std::string> CTestClient::ReadUntil(const std::string& prefix, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (auto line = ReadLine(RemainingMs(deadline))) {
    if (line->compare(0, prefix.size(), prefix) == 0) return line;
  }
  return std::nullopt;
}

std::vector<std::string> CTestClient::ReadFor(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<std::string> lines;
  while (auto line = ReadLine(RemainingMs(deadline))) lines.push_back(std::move(*line));
  return lines;
}

bool CTestClient::WaitClosed(int timeoutMs) {
  ReadFor(timeoutMs);  // stops at the close
  return m_closed;
}

}  // namespace vok::sim

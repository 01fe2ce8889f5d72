// Output waiting for one client: appended by the session, written when the socket takes it.
// Writing batches everything queued into as few send calls as the kernel allows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vok::sim {

class CTlsServerStream;

class CSendBuffer {
 public:
  void Append(std::string_view bytes) { m_data.append(bytes); }
  std::size_t Pending() const { return m_data.size() - m_offset; }
  bool Empty() const { return Pending() == 0; }

  enum class EFlush { Done, WouldBlock, Failed };
  // Writes until the buffer is empty or the socket is full, through tls when it is set.
  // bytesWritten accumulates.
  EFlush Flush(int fd, CTlsServerStream* tls, std::size_t& bytesWritten);

 private:
  std::string m_data;
  std::size_t m_offset = 0;
};

}  // namespace vok::sim

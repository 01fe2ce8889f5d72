// Non-blocking writes of a session's backlog.
#include "send_buffer.h"

#include <cerrno>

#include "server_system.h"
#include "tls_server.h"

namespace vok::sim {

CSendBuffer::EFlush CSendBuffer::Flush(int fd, CTlsServerStream* tls, std::size_t& bytesWritten) {
  while (m_offset < m_data.size()) {
    const char* data = m_data.data() + m_offset;
    const std::size_t size = m_data.size() - m_offset;
    const long sent = tls != nullptr ? tls->Write(data, size) : SendSome(fd, data, size);
    if (sent > 0) {
      m_offset += static_cast<std::size_t>(sent);
      bytesWritten += static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Drop what was sent so the buffer does not keep growing under a slow reader.
      if (m_offset > (1u << 20) && m_offset * 2 > m_data.size()) {
        m_data.erase(0, m_offset);
        m_offset = 0;
      }
      return EFlush::WouldBlock;
    }
    return EFlush::Failed;
  }
  m_data.clear();
  m_offset = 0;
  return EFlush::Done;
}

}  // namespace vok::sim

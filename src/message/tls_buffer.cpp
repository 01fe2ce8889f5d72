// The per-thread buffers of the message writers and readers; see tls_buffer.h.
#include "message/tls_buffer.h"

namespace vok::message {

TLSBuffer::TLSBuffer() {
  for (std::string* text : {&m_line, &m_fix, &m_scratch}) text->reserve(kMinCapacity);
}

TLSBuffer& ThreadBuffer() {
  thread_local TLSBuffer buffer;
  return buffer;
}

}  // namespace vok::message

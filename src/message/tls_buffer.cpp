// The per-thread buffers of the message writers; see tls_buffer.h. A thread_local object, so
// each thread gets its own on first use and it is destroyed when the thread ends.
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

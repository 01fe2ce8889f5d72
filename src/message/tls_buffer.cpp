// The per-thread buffers of the message writers; see tls_buffer.h. Each thread gets its own on
// first use and it is destroyed when the thread ends. It lives in a thread slot rather than a C++
// thread_local, whose destructor the mingw runtime runs after freeing its storage.
#include "message/tls_buffer.h"

#include <cstdlib>

#include "platform/thread_local_slot.h"
#include "vkdll/vkdll.h"

namespace vok::message {
namespace {

vok::CThreadLocal<TLSBuffer> g_buffers;

}  // namespace

TLSBuffer::TLSBuffer() {
  for (std::string* text : {&m_line, &m_fix, &m_scratch}) text->reserve(kMinCapacity);
}

TLSBuffer& ThreadBuffer() {
  TLSBuffer* buffer = g_buffers.Get();
  if (buffer == nullptr) {
    // Only when the system has no thread slot left: nothing can be written on this thread.
    VOKTRACE_Write(VOKTRACE_FAILURE, "VOKMessage: no thread slot for the text buffers");
    std::abort();
  }
  return *buffer;
}

}  // namespace vok::message

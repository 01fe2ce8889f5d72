// The per-thread buffers of the message writers; see tls_buffer.h. Each thread gets its own on
// first use and it is destroyed when the thread ends. It lives in a thread slot rather than a C++
// thread_local, whose destructor the mingw runtime runs after freeing its storage.
#include "message/tls_buffer.h"

#include <atomic>

#include "platform/thread_local_slot.h"
#include "vkdll/vkdll.h"

namespace vok::message {
namespace {

vok::CThreadLocal<TLSBuffer> g_buffers;
const std::string g_noText;
std::atomic<bool> g_simulateNoSlot{false};

}  // namespace

TLSBuffer::TLSBuffer() {
  for (std::string* text : {&m_line, &m_fix, &m_scratch}) text->reserve(kMinCapacity);
}

TLSBuffer* ThreadBuffer() {
  TLSBuffer* buffer = g_simulateNoSlot.load(std::memory_order_relaxed) ? nullptr : g_buffers.Get();
  if (buffer == nullptr) {
    // A library must not end its host: the message is not written, and the caller sees no text.
    VOKTRACE_Write(VOKTRACE_FAILURE, "VOKMessage: no thread slot for the text buffers, message not written");
  }
  return buffer;
}

const std::string& NoText() { return g_noText; }

void SimulateNoThreadSlot(bool simulate) { g_simulateNoSlot.store(simulate, std::memory_order_relaxed); }

}  // namespace vok::message

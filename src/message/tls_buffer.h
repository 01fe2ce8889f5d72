// The calling thread's reusable text buffers: the strings that ToString and ToFIX return and the
// scratch text of the FIX writer. Created on the thread's first use and destroyed when it ends, so
// writing allocates nothing per message once the thread has warmed up. (The readers need no copy
// of the text: they read it in place, bounded by its length.)
#pragma once

#include <cstddef>
#include <string>

namespace vok::message {

struct TLSBuffer {
  // A writer empties its string but keeps at least this much capacity.
  static constexpr std::size_t kMinCapacity = 1024;

  TLSBuffer();

  std::string m_line;  // ToString
  std::string m_fix;   // ToFIX
  std::string m_scratch;
};

// The calling thread's buffers, or null (traced at level 5) when the system has no thread slot
// left for them: the writer then returns NoText() and the host process carries on.
TLSBuffer* ThreadBuffer();
// The empty text a writer returns when it has no buffer; a written message is never empty.
const std::string& NoText();

// Tests only: while set, ThreadBuffer fails on every thread as if no thread slot were left.
void SimulateNoThreadSlot(bool simulate);

}  // namespace vok::message

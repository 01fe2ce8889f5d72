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

TLSBuffer& ThreadBuffer();

}  // namespace vok::message

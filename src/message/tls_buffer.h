// The calling thread's reusable text buffers: the copy of a line being parsed and the strings that
// ToString and ToFIX return. Created on the thread's first use and destroyed when it ends, so
// parsing and writing allocate nothing per message once the thread has warmed up.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace vok::message {

struct TLSBuffer {
  static constexpr std::size_t kParseSize = 65536;
  // A writer empties its string but keeps at least this much capacity.
  static constexpr std::size_t kMinCapacity = 1024;

  TLSBuffer();

  std::unique_ptr<char[]> m_parse;  // kParseSize bytes
  std::string m_line;               // ToString
  std::string m_spare;
  std::string m_fix;  // ToFIX
  std::string m_scratch;
};

TLSBuffer& ThreadBuffer();

}  // namespace vok::message

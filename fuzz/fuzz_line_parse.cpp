// Fuzzes the line-form reader (and, through Parse's choice of form, the FIX reader) with any
// bytes, then writes the result back in both forms: nothing may crash, leak or read out of bounds.
#include <climits>
#include <cstddef>
#include <cstdint>

#include "message/vok_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > INT_MAX) return 0;
  VOKMessage message(reinterpret_cast<const char*>(data), static_cast<int>(size));
  message.ToString();
  message.ToFIX();
  VOKMessage copy(message);
  copy.ToString();
  return 0;
}

// Fuzzes the FIX reader: the input is framed so that Parse always picks the FIX form (a header
// "8=FIX.4.1" SOH is put in front), then the message is written back in both forms.
#include <cstddef>
#include <cstdint>
#include <string>

#include "message/vok_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  std::string text = "8=FIX.4.1\x01";
  text.append(reinterpret_cast<const char*>(data), size);
  VOKMessage message(text.data(), static_cast<int>(text.size()));
  message.ToFIX();
  message.ToString();
  return 0;
}

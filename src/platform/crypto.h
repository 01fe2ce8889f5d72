// One-way hashing for the password transform: SHA-256 of a text as 64 lowercase hex digits.
#pragma once

#include <string_view>

namespace vok {

// Writes 64 hex digits and a NUL into out; false (out set to "") when the system hash fails.
bool Sha256Hex(std::string_view text, char (&out)[65]);

// Shared by the backends: 32 digest bytes as 64 lowercase hex digits and a NUL.
inline void HexEncodeDigest(const unsigned char (&digest)[32], char (&out)[65]) {
  constexpr char kHex[] = "0123456789abcdef";
  for (int i = 0; i < 32; ++i) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 0x0f];
  }
  out[64] = '\0';
}

}  // namespace vok

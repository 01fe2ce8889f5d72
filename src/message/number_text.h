// Number reading with the C library's rules (atoi, _strtoui64 base 10, atof) on a character range
// that need not be NUL-terminated, so wire parsers can read values in place without copying.
// The results match the C functions for every input, with overflow made well defined.
#pragma once

#include <cstdint>

namespace vok::message {

// Reads the plain digits from p up to the first other character (or end) into value, as
// value = value * 10 + digit for each (modulo 2^64), and returns where they stop. The readers'
// ids, tags and numbers go through here. (Eight-at-a-time forms measured slower on the short
// runs the wire carries.)
inline const char* ReadDigits(const char* p, const char* end, std::uint64_t& value) {
  for (; p < end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - static_cast<unsigned>('0');
    if (digit > 9) break;
    value = value * 10 + digit;
  }
  return p;
}

// atoi: leading white space, an optional sign, digits; anything else ends the number. Values out
// of range are clamped to the 32-bit limits.
int ReadInt(const char* begin, const char* end);

// strtol base 10 clamped to 32 bits: true when the value was in range.
bool ReadInt32Exact(const char* begin, const char* end, int& value);

// _strtoui64 base 10: a '-' negates modulo 2^64, overflow gives the largest value.
std::uint64_t ReadUInt64(const char* begin, const char* end);

// atof (decimal forms, "inf"/"nan" and hexadecimal forms too); 0 when nothing reads.
double ReadDouble(const char* begin, const char* end);

}  // namespace vok::message

// The part of the TLS facility that both backends share: reading a pinned fingerprint.
#include "platform/tls.h"

namespace vok {

bool ParseSha256Fingerprint(std::string_view text, unsigned char (&digest)[32]) {
  int nibbles = 0;
  for (const char c : text) {
    if (c == ':' || c == ' ' || c == '\t') continue;
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    if (value < 0 || nibbles >= 64) return false;
    unsigned char& byte = digest[nibbles / 2];
    byte = static_cast<unsigned char>(nibbles % 2 == 0 ? value << 4 : byte | value);
    ++nibbles;
  }
  return nibbles == 64;
}

}  // namespace vok

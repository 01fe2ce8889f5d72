// Linux backend of platform/crypto.h, on OpenSSL's libcrypto.
#include "platform/crypto.h"

#include <openssl/sha.h>

namespace vok {

bool Sha256Hex(std::string_view text, char (&out)[65]) {
  unsigned char digest[32];
  if (::SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest) == nullptr) {
    out[0] = '\0';
    return false;
  }
  HexEncodeDigest(digest, out);
  return true;
}

}  // namespace vok

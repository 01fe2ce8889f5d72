// Windows backend of platform/crypto.h, on BCrypt.
#include "platform/crypto.h"

#include <windows.h>
// bcrypt.h needs the types of windows.h.
#include <bcrypt.h>

namespace vok {

namespace {

// Owns an algorithm provider handle.
class CAlgHandle {
 public:
  CAlgHandle() = default;
  CAlgHandle(const CAlgHandle&) = delete;
  CAlgHandle& operator=(const CAlgHandle&) = delete;
  ~CAlgHandle() {
    if (m_handle) ::BCryptCloseAlgorithmProvider(m_handle, 0);
  }
  BCRYPT_ALG_HANDLE* Put() { return &m_handle; }
  BCRYPT_ALG_HANDLE Get() const { return m_handle; }

 private:
  BCRYPT_ALG_HANDLE m_handle = nullptr;
};

// Owns a hash object.
class CHashHandle {
 public:
  CHashHandle() = default;
  CHashHandle(const CHashHandle&) = delete;
  CHashHandle& operator=(const CHashHandle&) = delete;
  ~CHashHandle() {
    if (m_handle) ::BCryptDestroyHash(m_handle);
  }
  BCRYPT_HASH_HANDLE* Put() { return &m_handle; }
  BCRYPT_HASH_HANDLE Get() const { return m_handle; }

 private:
  BCRYPT_HASH_HANDLE m_handle = nullptr;
};

}  // namespace

bool Sha256Hex(std::string_view text, char (&out)[65]) {
  out[0] = '\0';
  CAlgHandle alg;
  CHashHandle hash;
  unsigned char digest[32];
  // The create/hash/finish sequence works on every Windows version we support (BCryptHash needs 10).
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(alg.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !BCRYPT_SUCCESS(::BCryptCreateHash(alg.Get(), hash.Put(), nullptr, 0, nullptr, 0, 0)) ||
      !BCRYPT_SUCCESS(::BCryptHashData(hash.Get(), reinterpret_cast<PUCHAR>(const_cast<char*>(text.data())),
                                       static_cast<ULONG>(text.size()), 0)) ||
      !BCRYPT_SUCCESS(::BCryptFinishHash(hash.Get(), digest, sizeof digest, 0))) {
    return false;
  }
  HexEncodeDigest(digest, out);
  return true;
}

}  // namespace vok

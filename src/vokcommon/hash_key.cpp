// HashKey (see hash_key.h). Unsigned 32-bit arithmetic wraps by definition, so the result is the
// same on every compiler and word size.
#include "vokcommon/hash_key.h"

#include <cstdint>

namespace {

template <typename Char>
UINT HashCodeUnits(const Char* key) {
  std::uint32_t hash = 0;
  if (key == nullptr) return 0;
  for (; *key != 0; ++key) {
    hash = (hash << 5) + hash + (static_cast<std::uint32_t>(*key) & 0xFFFFu);
  }
  return static_cast<UINT>(hash);
}

}  // namespace

UINT HashKey(const wchar_t* key) { return HashCodeUnits(key); }

UINT HashKey(const char16_t* key) { return HashCodeUnits(key); }

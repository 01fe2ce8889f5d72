// Windows backend of platform/protected_data.h: DPAPI with the user's key, the encrypted bytes
// as a REG_BINARY value of the settings key.
#include "platform/protected_data.h"

#include <windows.h>
// wincrypt.h needs the types of windows.h.
#include <wincrypt.h>

#include <vector>

#include "platform/settings_store.h"

namespace vok {
namespace {

constexpr wchar_t kDescription[] = L"VokQuote";

// Owns the LocalAlloc'd output of the DPAPI calls; wipes it before freeing.
class CDataBlob {
 public:
  CDataBlob() = default;
  ~CDataBlob() {
    if (m_blob.pbData != nullptr) {
      ::SecureZeroMemory(m_blob.pbData, m_blob.cbData);
      ::LocalFree(m_blob.pbData);
    }
  }
  CDataBlob(const CDataBlob&) = delete;
  CDataBlob& operator=(const CDataBlob&) = delete;
  DATA_BLOB* Put() { return &m_blob; }
  const DATA_BLOB& Get() const { return m_blob; }

 private:
  DATA_BLOB m_blob{0, nullptr};
};

}  // namespace

std::string ProtectedSecretLocation(std::string_view name) {
  return CSettingsStore::Location() + "\\" + std::string(name) + " (protected)";
}

ProtectedReadResult ReadProtectedSecret(std::string_view name, std::string& secret) {
  std::vector<std::uint8_t> stored;
  if (!CSettingsStore::ReadBinary("", name, stored)) {
    // A text value under this name was written by hand in clear: never used.
    std::string clear;
    return CSettingsStore::ReadString("", name, clear) ? ProtectedReadResult::kExposed : ProtectedReadResult::kMissing;
  }
  if (stored.empty()) return ProtectedReadResult::kMissing;
  DATA_BLOB in{static_cast<DWORD>(stored.size()), stored.data()};
  CDataBlob out;
  if (!::CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, out.Put())) {
    return ProtectedReadResult::kFailed;
  }
  secret.assign(reinterpret_cast<const char*>(out.Get().pbData), out.Get().cbData);
  return secret.empty() ? ProtectedReadResult::kMissing : ProtectedReadResult::kRead;
}

bool WriteProtectedSecret(std::string_view name, std::string_view secret) {
  if (secret.empty()) return CSettingsStore::DeleteValue("", name);
  std::vector<std::uint8_t> clear(secret.begin(), secret.end());
  DATA_BLOB in{static_cast<DWORD>(clear.size()), clear.data()};
  CDataBlob out;
  const BOOL sealed =
      ::CryptProtectData(&in, kDescription, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, out.Put());
  ::SecureZeroMemory(clear.data(), clear.size());
  if (!sealed) return false;
  const std::vector<std::uint8_t> stored(out.Get().pbData, out.Get().pbData + out.Get().cbData);
  return CSettingsStore::WriteBinary("", name, stored);
}

}  // namespace vok

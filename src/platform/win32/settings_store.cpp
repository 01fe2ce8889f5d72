// Windows backend of platform/settings_store.h: REG_DWORD values under
// HKEY_CURRENT_USER\Software\Vokhaldex\VokQuote.
#include "platform/settings_store.h"

#include <windows.h>

#include "platform/text.h"

namespace vok {
namespace {

constexpr char kRootKey[] = "Software\\Vokhaldex\\VokQuote";

std::wstring KeyPath(std::string_view subkey) {
  std::string path = kRootKey;
  if (!subkey.empty()) path += "\\" + std::string(subkey);
  return WideFromNarrow(path);
}

// Owns an open registry key.
class CKey {
 public:
  CKey() = default;
  ~CKey() {
    if (m_key != nullptr) ::RegCloseKey(m_key);
  }
  CKey(const CKey&) = delete;
  CKey& operator=(const CKey&) = delete;
  HKEY* Put() { return &m_key; }
  HKEY Get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

}  // namespace

bool CSettingsStore::ReadDword(std::string_view subkey, std::string_view name, std::uint32_t& value) {
  CKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(subkey).c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof data;
  const std::wstring valueName = WideFromNarrow(name);
  if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof data) {
    return false;
  }
  value = data;
  return true;
}

bool CSettingsStore::ReadString(std::string_view subkey, std::string_view name, std::string& value) {
  CKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(subkey).c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring valueName = WideFromNarrow(name);
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ || size > 64 * 1024) {
    return false;
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  text.resize(size / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  value = NarrowFromWide(text);
  return true;
}

bool CSettingsStore::WriteDword(std::string_view subkey, std::string_view name, std::uint32_t value) {
  CKey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(subkey).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(),
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD data = value;
  const std::wstring valueName = WideFromNarrow(name);
  return ::RegSetValueExW(key.Get(), valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                          sizeof data) == ERROR_SUCCESS;
}

bool CSettingsStore::DeleteValue(std::string_view subkey, std::string_view name) {
  CKey key;
  const LONG opened = ::RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(subkey).c_str(), 0, KEY_SET_VALUE, key.Put());
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  const std::wstring valueName = WideFromNarrow(name);
  const LONG deleted = ::RegDeleteValueW(key.Get(), valueName.c_str());
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

std::string CSettingsStore::Location() { return std::string("HKEY_CURRENT_USER\\") + kRootKey; }

}  // namespace vok

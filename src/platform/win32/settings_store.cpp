// Windows backend of platform/settings_store.h: REG_DWORD, REG_SZ and REG_BINARY values under
// HKEY_CURRENT_USER\Software\Vokhaldex\VokQuote.
#include "platform/settings_store.h"

#include <windows.h>

#include <cstring>

#include <vector>

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

constexpr DWORD kMaxValueBytes = 64 * 1024;

// The raw bytes of a value of the given type, bounded before they are read.
bool ReadRaw(std::string_view subkey, std::string_view name, DWORD wantedType, std::vector<BYTE>& data) {
  CKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(subkey).c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring valueName = WideFromNarrow(name);
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != wantedType || size > kMaxValueBytes) {
    return false;
  }
  data.resize(size);
  if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
      type != wantedType) {
    return false;
  }
  data.resize(size);
  return true;
}

bool WriteRaw(std::string_view subkey, std::string_view name, DWORD type, const BYTE* data, DWORD size) {
  CKey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(subkey).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(),
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring valueName = WideFromNarrow(name);
  return ::RegSetValueExW(key.Get(), valueName.c_str(), 0, type, data, size) == ERROR_SUCCESS;
}

}  // namespace

bool CSettingsStore::ReadString(std::string_view subkey, std::string_view name, std::string& value) {
  std::vector<BYTE> data;
  if (!ReadRaw(subkey, name, REG_SZ, data)) return false;
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  // The stored terminator (or terminators) are not part of the text.
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  value = NarrowFromWide(text);
  return true;
}

bool CSettingsStore::WriteString(std::string_view subkey, std::string_view name, std::string_view value) {
  const std::wstring text = WideFromNarrow(value);
  return WriteRaw(subkey, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool CSettingsStore::ReadBinary(std::string_view subkey, std::string_view name, std::vector<std::uint8_t>& value) {
  std::vector<BYTE> data;
  if (!ReadRaw(subkey, name, REG_BINARY, data)) return false;
  value.assign(data.begin(), data.end());
  return true;
}

bool CSettingsStore::WriteBinary(std::string_view subkey, std::string_view name,
                                 const std::vector<std::uint8_t>& value) {
  if (value.size() > kMaxValueBytes) return false;
  return WriteRaw(subkey, name, REG_BINARY, value.data(), static_cast<DWORD>(value.size()));
}

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

// Windows backend of platform/class_registry.h: REG_SZ values under HKEY_CLASSES_ROOT.
#include "platform/class_registry.h"

#include <windows.h>

#include "platform/text.h"

namespace vok {

bool WriteClassKey(std::string_view keyPath, std::span<const RegistryValue> values) {
  if (keyPath.empty()) return false;
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, WideFromNarrow(keyPath).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool written = true;
  for (const RegistryValue& value : values) {
    const std::wstring name = WideFromNarrow(value.name);
    const std::wstring data = WideFromNarrow(value.data);
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    written = written && ::RegSetValueExW(key, value.name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS;
  }
  ::RegCloseKey(key);
  return written;
}

bool DeleteClassKeyTree(std::string_view keyPath) {
  if (keyPath.empty()) return false;
  const LONG result = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, WideFromNarrow(keyPath).c_str());
  if (result == ERROR_FILE_NOT_FOUND) return true;
  if (result != ERROR_SUCCESS) return false;
  // RegDeleteTree empties the key; the key itself goes with RegDeleteKey.
  const LONG removed = ::RegDeleteKeyW(HKEY_CLASSES_ROOT, WideFromNarrow(keyPath).c_str());
  return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
}

bool ReadClassValue(std::string_view keyPath, std::string_view name, std::string& data) {
  const std::wstring valueName = WideFromNarrow(name);
  DWORD bytes = 0;
  const LPCWSTR valueArg = name.empty() ? nullptr : valueName.c_str();
  const std::wstring path = WideFromNarrow(keyPath);
  if (::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), valueArg, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), valueArg, RRF_RT_REG_SZ, nullptr, buffer.data(), &bytes) !=
      ERROR_SUCCESS) {
    return false;
  }
  buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
  data = NarrowFromWide(buffer);
  return true;
}

}  // namespace vok

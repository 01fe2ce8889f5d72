// The class registry that DllRegisterServer and DllUnregisterServer write: keys named by a path
// such as "CLSID\{...}\InprocServer32" holding string values (name "" is the key's default
// value). Windows: keys under HKEY_CLASSES_ROOT. Linux, where nothing else reads them, the same
// facts in $XDG_CONFIG_HOME/vokhaldex/classes.ini (default ~/.config/...): one [section] per key
// path, "@" for the default value. Key and value names compare without regard to case.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vok {

struct RegistryValue {
  std::string name;  // "" for the key's default value
  std::string data;
};

// Creates the key (and its parents) and sets the values; false when the store refused.
bool WriteClassKey(std::string_view keyPath, std::span<const RegistryValue> values);
// Deletes the key with everything below it; true when it is gone (also when it never existed).
bool DeleteClassKeyTree(std::string_view keyPath);
// Reads one string value of a key; false when the key or value is missing.
bool ReadClassValue(std::string_view keyPath, std::string_view name, std::string& data);

}  // namespace vok

// Linux backend of platform/class_registry.h: classes.ini beside the settings file.
#include "platform/class_registry.h"

#include <mutex>

#include "platform/linux/ini_file.h"

namespace vok {
namespace {

std::mutex g_lock;

std::string_view ValueName(std::string_view name) { return name.empty() ? std::string_view("@") : name; }

}  // namespace

bool WriteClassKey(std::string_view keyPath, std::span<const RegistryValue> values) {
  if (keyPath.empty()) return false;
  std::lock_guard<std::mutex> guard(g_lock);
  linux_ini::CIniFile file(linux_ini::ConfigPath("classes.ini"));
  file.AddSection(keyPath);
  for (const RegistryValue& value : values) file.Set(keyPath, ValueName(value.name), value.data);
  return file.Save();
}

bool DeleteClassKeyTree(std::string_view keyPath) {
  if (keyPath.empty()) return false;
  std::lock_guard<std::mutex> guard(g_lock);
  linux_ini::CIniFile file(linux_ini::ConfigPath("classes.ini"));
  file.RemoveTree(keyPath);
  return file.Save();
}

bool ReadClassValue(std::string_view keyPath, std::string_view name, std::string& data) {
  std::lock_guard<std::mutex> guard(g_lock);
  const linux_ini::CIniFile file(linux_ini::ConfigPath("classes.ini"));
  const std::string* found = file.Find(keyPath, ValueName(name));
  if (found == nullptr) return false;
  data = *found;
  return true;
}

}  // namespace vok

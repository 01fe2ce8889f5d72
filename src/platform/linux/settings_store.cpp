// Linux backend of platform/settings_store.h on the INI file of platform/linux/ini_file.h. One
// process-wide mutex makes each read-modify-write whole (other processes are not locked out).
#include "platform/settings_store.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/linux/ini_file.h"

namespace vok {
namespace {

std::mutex g_lock;

std::string Section(std::string_view subkey) {
  return subkey.empty() ? std::string("VokQuote") : "VokQuote\\" + std::string(subkey);
}

std::string FilePath() {
  if (const char* path = std::getenv("VOKQUOTE_CONFIG"); path != nullptr && path[0] != '\0') return path;
  return linux_ini::ConfigPath("vokquote.ini");
}

}  // namespace

bool CSettingsStore::ReadDword(std::string_view subkey, std::string_view name, std::uint32_t& value) {
  std::lock_guard<std::mutex> guard(g_lock);
  const linux_ini::CIniFile file(FilePath());
  const std::string* text = file.Find(Section(subkey), name);
  if (text == nullptr || text->empty()) return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text->c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull || (*text)[0] == '-') return false;
  value = static_cast<std::uint32_t>(parsed);
  return true;
}

bool CSettingsStore::ReadString(std::string_view subkey, std::string_view name, std::string& value) {
  std::lock_guard<std::mutex> guard(g_lock);
  const linux_ini::CIniFile file(FilePath());
  const std::string* text = file.Find(Section(subkey), name);
  if (text == nullptr) return false;
  value = *text;
  return true;
}

bool CSettingsStore::WriteDword(std::string_view subkey, std::string_view name, std::uint32_t value) {
  std::lock_guard<std::mutex> guard(g_lock);
  linux_ini::CIniFile file(FilePath());
  file.Set(Section(subkey), name, std::to_string(value));
  return file.Save();
}

bool CSettingsStore::DeleteValue(std::string_view subkey, std::string_view name) {
  std::lock_guard<std::mutex> guard(g_lock);
  linux_ini::CIniFile file(FilePath());
  if (file.Find(Section(subkey), name) == nullptr) return true;
  file.Remove(Section(subkey), name);
  return file.Save();
}

std::string CSettingsStore::Location() { return FilePath(); }

}  // namespace vok

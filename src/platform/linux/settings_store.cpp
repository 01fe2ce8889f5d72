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
constexpr std::size_t kMaxBinary = 64 * 1024;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

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

bool CSettingsStore::ReadString(std::string_view subkey, std::string_view name, std::string& value) {
  std::lock_guard<std::mutex> guard(g_lock);
  const linux_ini::CIniFile file(FilePath());
  const std::string* text = file.Find(Section(subkey), name);
  if (text == nullptr) return false;
  value = *text;
  return true;
}

bool CSettingsStore::WriteString(std::string_view subkey, std::string_view name, std::string_view value) {
  // A line break would end the line and start a forged one.
  if (value.find_first_of("\r\n") != std::string_view::npos) return false;
  std::lock_guard<std::mutex> guard(g_lock);
  linux_ini::CIniFile file(FilePath());
  file.Set(Section(subkey), name, std::string(value));
  return file.Save();
}

bool CSettingsStore::ReadBinary(std::string_view subkey, std::string_view name, std::vector<std::uint8_t>& value) {
  std::string text;
  if (!ReadString(subkey, name, text) || text.size() % 2 != 0 || text.size() > 2 * kMaxBinary) return false;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  value = std::move(bytes);
  return true;
}

bool CSettingsStore::WriteBinary(std::string_view subkey, std::string_view name,
                                 const std::vector<std::uint8_t>& value) {
  if (value.size() > kMaxBinary) return false;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(value.size() * 2);
  for (std::uint8_t byte : value) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return WriteString(subkey, name, text);
}

std::string CSettingsStore::Location() { return FilePath(); }

}  // namespace vok

// vok::CSettingsStore: the component's per-user settings, DWORD values under its own key (a
// subkey path below it may be named, "" is the key itself). Windows: the registry key
// HKCU\Software\Vokhaldex\VokQuote. Linux: an INI file, $VOKQUOTE_CONFIG if set, else
// $XDG_CONFIG_HOME/vokhaldex/vokquote.ini (default ~/.config/vokhaldex/vokquote.ini), section
// [VokQuote] (or [VokQuote\<subkey>]), lines name=value in decimal or 0x hex, text as it is, binary
// as hex digits. Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class CSettingsStore {
 public:
  // False when the store, key or value is missing, or the value is not a 32-bit number.
  static bool ReadDword(std::string_view subkey, std::string_view name, std::uint32_t& value);
  static bool WriteDword(std::string_view subkey, std::string_view name, std::uint32_t value);
  // Text values (REG_SZ); false when missing or not text. Text holds no line breaks on Linux.
  static bool ReadString(std::string_view subkey, std::string_view name, std::string& value);
  static bool WriteString(std::string_view subkey, std::string_view name, std::string_view value);
  // Binary values (REG_BINARY) of at most 64 KiB.
  static bool ReadBinary(std::string_view subkey, std::string_view name, std::vector<std::uint8_t>& value);
  static bool WriteBinary(std::string_view subkey, std::string_view name, const std::vector<std::uint8_t>& value);
  // True when the value is gone afterwards (also when it never existed).
  static bool DeleteValue(std::string_view subkey, std::string_view name);
  // Where the settings live: the registry key or the file path (for traces and messages).
  static std::string Location();
};

}  // namespace vok

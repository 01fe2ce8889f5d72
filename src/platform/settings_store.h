// vok::CSettingsStore: the component's per-user settings, DWORD values under its own key (a
// subkey path below it may be named, "" is the key itself). Windows: the registry key
// HKCU\Software\Vokhaldex\VokQuote. Linux: an INI file, $VOKQUOTE_CONFIG if set, else
// $XDG_CONFIG_HOME/vokhaldex/vokquote.ini (default ~/.config/vokhaldex/vokquote.ini), section
// [VokQuote] (or [VokQuote\<subkey>]), lines name=value in decimal or 0x hex. Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

class CSettingsStore {
 public:
  // False when the store, key or value is missing, or the value is not a 32-bit number.
  static bool ReadDword(std::string_view subkey, std::string_view name, std::uint32_t& value);
  // A text value (REG_SZ on Windows, as UTF-8); false when missing or of another type.
  static bool ReadString(std::string_view subkey, std::string_view name, std::string& value);
  static bool WriteDword(std::string_view subkey, std::string_view name, std::uint32_t value);
  // True when the value is gone afterwards (also when it never existed).
  static bool DeleteValue(std::string_view subkey, std::string_view name);
  // Where the settings live: the registry key or the file path (for traces and messages).
  static std::string Location();
};

}  // namespace vok

// Reading the TLS settings from the per-user store, and the process-wide override.
#include "connection/tls_settings.h"

#include <mutex>

#include "platform/settings_store.h"

namespace {

struct SOverride {
  std::mutex lock;
  std::optional<STlsSettings> settings;
};

SOverride& Override() {
  static SOverride s_override;
  return s_override;
}

}  // namespace

STlsSettings ReadTlsSettings() {
  {
    SOverride& current = Override();
    std::lock_guard<std::mutex> lock(current.lock);
    if (current.settings) return *current.settings;
  }
  STlsSettings settings;
  std::uint32_t useTls = 0;
  settings.useTls = vok::CSettingsStore::ReadDword("", "UseTls", useTls) && useTls != 0;
  vok::CSettingsStore::ReadString("", "TlsCaFile", settings.caFile);
  vok::CSettingsStore::ReadString("", "TlsPinnedCertificate", settings.pinnedSha256);
  return settings;
}

void OverrideTlsSettings(const std::optional<STlsSettings>& settings) {
  SOverride& current = Override();
  std::lock_guard<std::mutex> lock(current.lock);
  current.settings = settings;
}

// CRegistry and CVokRegistry over the platform's settings store.
#include "vokcommon/registry.h"

#include <cstdint>

#include "platform/settings_store.h"

BOOL CRegistry::Read(const char* name, int& value) const {
  std::uint32_t raw = 0;
  if (!m_open || name == nullptr || !vok::CSettingsStore::ReadDword(m_subkey, name, raw)) return 0;
  value = static_cast<int>(raw);
  return 1;
}

BOOL CRegistry::Write(const char* name, int value) const {
  if (!m_open || name == nullptr) return 0;
  return vok::CSettingsStore::WriteDword(m_subkey, name, static_cast<std::uint32_t>(value)) ? 1 : 0;
}

BOOL CVokRegistry::Open(DWORD) {
  m_open = true;
  m_subkey.clear();
  return 1;
}

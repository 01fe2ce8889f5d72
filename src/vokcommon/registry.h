// CRegistry and CVokRegistry: the common library's per-user settings access. CVokRegistry opens
// the product's own settings key; Read fetches a DWORD value such as "QuotesTestMode" or
// "LogQuotes". On Linux the key is a section of the settings file (see platform/settings_store.h).
#pragma once

#include <string>

#include "platform/com.h"

class CRegistry {
 public:
  // The root is always the current user's: the only root the component reads.
  explicit CRegistry(const void* root = nullptr) {}
  virtual ~CRegistry() = default;

  // False when the key is not open, the value is absent or it is not a 32-bit number; value is
  // left untouched then.
  BOOL Read(const char* name, int& value) const;
  BOOL Write(const char* name, int value) const;

 protected:
  bool m_open = false;
  std::string m_subkey;  // below the product's key; "" is the key itself
};

class CVokRegistry : public CRegistry {
 public:
  using CRegistry::CRegistry;
  // Opens the product's settings key; the access argument is kept for the callers' sake.
  BOOL Open(DWORD access = 0);
};

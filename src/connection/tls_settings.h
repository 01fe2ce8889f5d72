// STlsSettings: whether and how the connection to the quote server uses TLS, from the per-user
// settings "UseTls" (DWORD, default 0: clear text), "TlsCaFile" (PEM file of the CAs to trust
// instead of the system's store) and "TlsPinnedCertificate" (SHA-256 fingerprint of the server's
// certificate in hex). Read at every connect attempt, so a change applies to the next one.
#pragma once

#include <optional>
#include <string>

struct STlsSettings {
  bool useTls = false;
  std::string caFile;
  std::string pinnedSha256;
};

// The per-user settings, or the process's override when one is set.
STlsSettings ReadTlsSettings();
// A program that takes the TLS choice on its command line sets it here for every connection of
// the process; nullopt returns to the per-user settings. Thread-safe.
void OverrideTlsSettings(const std::optional<STlsSettings>& settings);

// A secret of the current user (the transformed logon password) kept where only that user can
// read it. Windows: encrypted with the user's DPAPI key (CryptProtectData) and stored as a
// REG_BINARY value of the settings key, so the registry never holds it in clear. Linux: the text in
// a file beside the settings file ("<settings file>.<name>"), mode 0600; a file that its group or
// others may read, or that another user owns, is refused. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace vok {

enum class ProtectedReadResult {
  kRead,     // secret holds the value
  kMissing,  // nothing stored
  kExposed,  // stored where others can read it: not used
  kFailed,   // unreadable or undecryptable
};

ProtectedReadResult ReadProtectedSecret(std::string_view name, std::string& secret);
// An empty secret removes the stored one.
bool WriteProtectedSecret(std::string_view name, std::string_view secret);
// Where the secret lives (for trace lines).
std::string ProtectedSecretLocation(std::string_view name);

}  // namespace vok

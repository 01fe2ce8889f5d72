// Linux backend of platform/protected_data.h: an owner-only file beside the settings file.
#include "platform/protected_data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "platform/linux/unique_fd.h"
#include "platform/settings_store.h"

namespace vok {
namespace {

constexpr std::size_t kMaxSecret = 4096;

bool MakeParentFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

std::string ProtectedSecretLocation(std::string_view name) {
  std::string path = CSettingsStore::Location() + ".";
  for (char c : name) path.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return path;
}

ProtectedReadResult ReadProtectedSecret(std::string_view name, std::string& secret) {
  const std::string path = ProtectedSecretLocation(name);
  CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.Valid()) return errno == ENOENT ? ProtectedReadResult::kMissing : ProtectedReadResult::kFailed;
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return ProtectedReadResult::kFailed;
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0 || info.st_uid != ::geteuid()) return ProtectedReadResult::kExposed;
  std::string text(kMaxSecret + 1, '\0');
  std::size_t total = 0;
  for (;;) {
    const ssize_t got = ::read(fd.Get(), text.data() + total, text.size() - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ProtectedReadResult::kFailed;
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
    if (total > kMaxSecret) return ProtectedReadResult::kFailed;
  }
  text.resize(total);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) return ProtectedReadResult::kMissing;
  secret = std::move(text);
  return ProtectedReadResult::kRead;
}

bool WriteProtectedSecret(std::string_view name, std::string_view secret) {
  const std::string path = ProtectedSecretLocation(name);
  if (secret.empty()) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  if (secret.size() > kMaxSecret || !MakeParentFolders(path)) return false;
  // Written whole to a new owner-only file, then renamed over the old one.
  const std::string temporary = path + ".tmp";
  ::unlink(temporary.c_str());
  {
    CUniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.Valid()) return false;
    std::string line(secret);
    line.push_back('\n');
    const bool written = ::fchmod(fd.Get(), 0600) == 0 &&
                         ::write(fd.Get(), line.data(), line.size()) == static_cast<ssize_t>(line.size());
    std::fill(line.begin(), line.end(), '\0');
    if (!written) {
      ::unlink(temporary.c_str());
      return false;
    }
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace vok

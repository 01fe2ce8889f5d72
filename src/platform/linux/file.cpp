// Linux backend of platform/file.h.
#include "platform/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vok {

bool InspectFile(const std::string& path, EFileKind& kind, std::int64_t& size) {
  size = 0;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    kind = EFileKind::Missing;
    return errno == ENOENT;
  }
  kind = S_ISREG(info.st_mode) ? EFileKind::Regular : EFileKind::Other;
  if (kind == EFileKind::Regular) size = static_cast<std::int64_t>(info.st_size);
  return true;
}

bool TruncateFile(const std::string& path, std::int64_t size) {
  return ::truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}

}  // namespace vok

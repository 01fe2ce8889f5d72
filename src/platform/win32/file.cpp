// Windows backend of platform/file.h.
#include "platform/file.h"

#include <windows.h>

#include <memory>

#include "platform/text.h"

namespace vok {

bool InspectFile(const std::string& path, EFileKind& kind, std::int64_t& size) {
  size = 0;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(WideFromNarrow(path).c_str(), GetFileExInfoStandard, &data)) {
    kind = EFileKind::Missing;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  kind = (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ? EFileKind::Other
                                                                                           : EFileKind::Regular;
  if (kind == EFileKind::Regular) {
    size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  }
  return true;
}

bool TruncateFile(const std::string& path, std::int64_t size) {
  struct SHandleClose {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
  };
  const HANDLE raw = ::CreateFileW(WideFromNarrow(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return false;
  const std::unique_ptr<void, SHandleClose> file(raw);
  LARGE_INTEGER end{};
  end.QuadPart = size;
  return ::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get());
}

}  // namespace vok

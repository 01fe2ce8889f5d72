// Windows backend of platform/text.h: the process ANSI code page through the system converters.
// Characters the code page cannot hold become the system's default character ('?').
#include "platform/text.h"

#include <windows.h>

#include <climits>

namespace vok {

std::string NarrowFromWide(WideStringView text) {
  if (text.empty() || text.size() > INT_MAX / 4) return {};
  const int length = static_cast<int>(text.size());
  const int needed = ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<std::size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
  return out;
}

WideString WideFromNarrow(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  WideString out(static_cast<std::size_t>(needed), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), needed);
  return out;
}

}  // namespace vok

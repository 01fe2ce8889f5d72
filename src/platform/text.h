// Conversion between the component's narrow text (std::string in the process code page) and the
// wide UTF-16 text of BSTRs and the COM boundary. Windows converts through the ANSI code page
// (CP_ACP); Linux's process code page is UTF-8. Bad input never fails: it becomes U+FFFD or '?'.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vok {

#ifdef _WIN32
using WideChar = wchar_t;  // OLECHAR on Windows
#else
using WideChar = char16_t;  // OLECHAR on Linux
#endif
using WideString = std::basic_string<WideChar>;
using WideStringView = std::basic_string_view<WideChar>;

std::string NarrowFromWide(WideStringView text);
WideString WideFromNarrow(std::string_view text);

// A null pointer is the empty string (a null BSTR is a valid empty string).
inline std::string NarrowFromWide(const WideChar* text, std::size_t length) {
  return text == nullptr ? std::string() : NarrowFromWide(WideStringView(text, length));
}

}  // namespace vok

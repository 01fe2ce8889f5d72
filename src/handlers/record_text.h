// Text helpers for the records the handlers fill and read: narrow symbol text to a new BSTR and a
// BSTR back to narrow text. Feed symbols and codes are ASCII, so that case is widened and narrowed
// character by character without an intermediate string; other text goes through the code page.
#pragma once

#include <string>
#include <string_view>

#include "platform/com.h"
#include "platform/text.h"

namespace vok::handlers {

// A new BSTR holding `text` for a record to own; null only when the allocation fails.
inline BSTR NewBstr(std::string_view text) {
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (!ascii) {
    const WideString wide = WideFromNarrow(text);
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
  }
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
  if (result == nullptr) return nullptr;
  for (std::size_t i = 0; i < text.size(); ++i) result[i] = static_cast<OLECHAR>(text[i]);
  return result;
}

// Descriptive texts from the wire (market, company, exchange, source) are cut to this many bytes:
// every queued update carries a copy, so their length bounds what a waiting queue holds.
inline constexpr std::size_t kMaxFieldText = 128;

// NewBstr of at most the first kMaxFieldText bytes of `text`, not cutting a UTF-8 sequence.
inline BSTR NewFieldBstr(std::string_view text) {
  if (text.size() > kMaxFieldText) {
    std::size_t cut = kMaxFieldText;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text = text.substr(0, cut);
  }
  return NewBstr(text);
}

// A copy of a BSTR (null stays null).
inline BSTR CopyBstr(BSTR text) { return text == nullptr ? nullptr : SysAllocStringLen(text, SysStringLen(text)); }

// The narrow text of a BSTR into `out` (a null BSTR is the empty text); `out` keeps its capacity.
inline void AssignNarrow(BSTR text, std::string& out) {
  const UINT length = text == nullptr ? 0 : SysStringLen(text);
  out.resize(length);
  for (UINT i = 0; i < length; ++i) {
    if (text[i] >= 0x80) {
      out = NarrowFromWide(reinterpret_cast<const WideChar*>(text), length);
      return;
    }
    out[i] = static_cast<char>(text[i]);
  }
}

inline std::string NarrowBstr(BSTR text) {
  std::string out;
  AssignNarrow(text, out);
  return out;
}

// Wide text of a caller (null-terminated, null allowed) to narrow text.
inline std::string NarrowText(const OLECHAR* text) {
  if (text == nullptr) return {};
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return NarrowFromWide(reinterpret_cast<const WideChar*>(text), length);
}

}  // namespace vok::handlers

// vok::CBstr: the one owner of a BSTR on both platforms. Frees with SysFreeString, converts from
// and to the component's narrow text, and hands out Put() for BSTR* out-parameters. A null BSTR
// is a valid empty string.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/com.h"
#include "platform/text.h"

namespace vok {

class CBstr {
 public:
  CBstr() = default;
  CBstr(std::nullptr_t) {}
  // Copies the text; an allocation failure leaves the CBstr null.
  explicit CBstr(const OLECHAR* text) : m_bstr(text == nullptr ? nullptr : ::SysAllocString(text)) {}
  CBstr(const OLECHAR* text, UINT length) : m_bstr(::SysAllocStringLen(text, length)) {}
  CBstr(const CBstr& other) : m_bstr(other.Copy()) {}
  CBstr(CBstr&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
  ~CBstr() { Reset(); }

  CBstr& operator=(const CBstr& other) {
    if (this != &other) CBstr(other).Swap(*this);
    return *this;
  }
  CBstr& operator=(CBstr&& other) noexcept {
    CBstr(std::move(other)).Swap(*this);
    return *this;
  }

  // Narrow text in the process code page to a new BSTR.
  static CBstr FromNarrow(std::string_view text) {
    const WideString wide = WideFromNarrow(text);
    return CBstr(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
  }
  // Adopts a BSTR that the caller owned.
  static CBstr Attach(BSTR text) {
    CBstr result;
    result.m_bstr = text;
    return result;
  }
  [[nodiscard]] BSTR Detach() { return std::exchange(m_bstr, nullptr); }

  // A new BSTR with the same text for the caller to own (records, out-parameters); null stays null.
  [[nodiscard]] BSTR Copy() const {
    return m_bstr == nullptr ? nullptr : ::SysAllocStringLen(m_bstr, ::SysStringLen(m_bstr));
  }

  void Reset() {
    if (BSTR text = std::exchange(m_bstr, nullptr)) ::SysFreeString(text);
  }
  BSTR* Put() {
    Reset();
    return &m_bstr;
  }

  BSTR Get() const { return m_bstr; }
  UINT Length() const { return ::SysStringLen(m_bstr); }
  bool Empty() const { return Length() == 0; }
  std::string ToNarrow() const { return ToNarrow(m_bstr); }
  void Swap(CBstr& other) noexcept { std::swap(m_bstr, other.m_bstr); }

  // Any BSTR (null included) to narrow text.
  static std::string ToNarrow(BSTR text) {
    return NarrowFromWide(reinterpret_cast<const WideChar*>(text), ::SysStringLen(text));
  }

 private:
  BSTR m_bstr = nullptr;
};

}  // namespace vok

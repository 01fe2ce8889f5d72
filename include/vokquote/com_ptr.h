/* C++ owners for the COM vocabulary of <vokquote/com.h>: vokquote::CComPtr<T> holds one reference
   to an interface and releases it; vokquote::CBstr holds one BSTR and frees it with SysFreeString,
   converting from and to UTF-8. Both hand out Put() for out-parameters. Header only, C++17.

     vokquote::CComPtr<IVokQuotes> quotes;
     VokQuotesCreate(IID_IVokQuotes, quotes.PutVoid());
     quotes->AdviseSymbol(sink, vokquote::CBstr::FromUtf8("MSFT").Get(), qsfLevelOne); */
#ifndef VOKQUOTE_COM_PTR_H
#define VOKQUOTE_COM_PTR_H

#include <vokquote/com.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace vokquote {

template <class T>
class CComPtr {
 public:
  CComPtr() = default;
  CComPtr(std::nullptr_t) {}
  // Takes a new reference on p.
  explicit CComPtr(T* p) : m_p(p) {
    if (m_p != nullptr) m_p->AddRef();
  }
  CComPtr(const CComPtr& other) : CComPtr(other.m_p) {}
  CComPtr(CComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ~CComPtr() { Reset(); }

  CComPtr& operator=(const CComPtr& other) {
    CComPtr(other).Swap(*this);
    return *this;
  }
  CComPtr& operator=(CComPtr&& other) noexcept {
    CComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  CComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  // Adopts p without AddRef (for a pointer that already carries our reference).
  static CComPtr Attach(T* p) {
    CComPtr result;
    result.m_p = p;
    return result;
  }
  // Gives up ownership without Release.
  [[nodiscard]] T* Detach() { return std::exchange(m_p, nullptr); }

  void Reset() {
    if (T* p = std::exchange(m_p, nullptr)) p->Release();
  }

  // For out-parameters: releases the current pointer and returns the address to fill.
  T** Put() {
    Reset();
    return &m_p;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Copies out a new reference (for returning through an out-parameter); *out may be null.
  HRESULT CopyTo(T** out) const {
    if (out == nullptr) return E_POINTER;
    *out = m_p;
    if (m_p != nullptr) m_p->AddRef();
    return S_OK;
  }

  // QueryInterface into another smart pointer.
  template <class U>
  HRESULT QueryInterface(REFIID iid, CComPtr<U>& out) const {
    if (m_p == nullptr) {
      out.Reset();
      return E_POINTER;
    }
    return m_p->QueryInterface(iid, out.PutVoid());
  }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  T& operator*() const { return *m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  void Swap(CComPtr& other) noexcept { std::swap(m_p, other.m_p); }

  friend bool operator==(const CComPtr& a, const CComPtr& b) { return a.m_p == b.m_p; }
  friend bool operator==(const CComPtr& a, std::nullptr_t) { return a.m_p == nullptr; }

 private:
  T* m_p = nullptr;
};

class CBstr {
 public:
  CBstr() = default;
  CBstr(std::nullptr_t) {}
  CBstr(const CBstr&) = delete;
  CBstr& operator=(const CBstr&) = delete;
  CBstr(CBstr&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
  CBstr& operator=(CBstr&& other) noexcept {
    std::swap(m_bstr, other.m_bstr);
    return *this;
  }
  ~CBstr() { Reset(); }

  // Adopts a BSTR the caller owned (a record's string, an out-parameter).
  static CBstr Attach(BSTR text) {
    CBstr result;
    result.m_bstr = text;
    return result;
  }
  [[nodiscard]] BSTR Detach() { return std::exchange(m_bstr, nullptr); }

  // UTF-8 to a new BSTR; invalid bytes become U+FFFD. An allocation failure leaves it null.
  static CBstr FromUtf8(std::string_view text) {
    std::basic_string<OLECHAR> wide;
    wide.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
      const unsigned char lead = static_cast<unsigned char>(text[i]);
      const std::size_t length = lead < 0x80         ? 1
                                 : (lead >> 5) == 6  ? 2
                                 : (lead >> 4) == 14 ? 3
                                 : (lead >> 3) == 30 ? 4
                                                     : 0;
      char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
      bool valid = length != 0 && i + length <= text.size();
      for (std::size_t k = 1; valid && k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        valid = (next & 0xC0) == 0x80;
        code = (code << 6) | (next & 0x3F);
      }
      if (!valid || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        wide += static_cast<OLECHAR>(0xFFFD);
        ++i;
        continue;
      }
      if (code >= 0x10000) {
        wide += static_cast<OLECHAR>(0xD800 + ((code - 0x10000) >> 10));
        wide += static_cast<OLECHAR>(0xDC00 + ((code - 0x10000) & 0x3FF));
      } else {
        wide += static_cast<OLECHAR>(code);
      }
      i += length;
    }
    return Attach(::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
  }

  // Any BSTR (null included) to UTF-8; an unpaired surrogate becomes U+FFFD.
  static std::string ToUtf8(BSTR text) {
    std::string narrow;
    const UINT length = ::SysStringLen(text);
    narrow.reserve(length);
    for (UINT i = 0; i < length; ++i) {
      char32_t code = static_cast<char16_t>(text[i]);
      if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char16_t>(text[++i]) - 0xDC00);
      } else if (code >= 0xD800 && code <= 0xDFFF) {
        code = 0xFFFD;
      }
      if (code < 0x80) {
        narrow += static_cast<char>(code);
      } else if (code < 0x800) {
        narrow += static_cast<char>(0xC0 | (code >> 6));
        narrow += static_cast<char>(0x80 | (code & 0x3F));
      } else if (code < 0x10000) {
        narrow += static_cast<char>(0xE0 | (code >> 12));
        narrow += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        narrow += static_cast<char>(0x80 | (code & 0x3F));
      } else {
        narrow += static_cast<char>(0xF0 | (code >> 18));
        narrow += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        narrow += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        narrow += static_cast<char>(0x80 | (code & 0x3F));
      }
    }
    return narrow;
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
  std::string ToUtf8() const { return ToUtf8(m_bstr); }

 private:
  BSTR m_bstr = nullptr;
};

}  // namespace vokquote

#endif /* VOKQUOTE_COM_PTR_H */

// Linux backend of platform/com.h: the BSTR allocator and the few VARIANT helpers the component
// uses. Layout matches Windows: [uint32 byte length][UTF-16 code units][NUL].
#include "platform/com.h"

#include <cstdlib>
#include <cstring>

namespace {

// A string longer than this cannot have come from a sane caller; refusing it keeps a corrupt
// length from turning into a huge allocation.
constexpr UINT kMaxBstrChars = 0x3FFFFFF0u / sizeof(OLECHAR);

std::uint32_t* PrefixOf(BSTR text) {
  return reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(text) - sizeof(std::uint32_t));
}

BSTR Allocate(const OLECHAR* text, UINT length) {
  if (length > kMaxBstrChars) return nullptr;
  const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
  auto* block = static_cast<unsigned char*>(std::malloc(sizeof(std::uint32_t) + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  const auto byteLength = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &byteLength, sizeof byteLength);
  auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(std::uint32_t));
  if (text != nullptr) {
    std::memcpy(chars, text, bytes);
  } else {
    std::memset(chars, 0, bytes);
  }
  chars[length] = 0;
  return chars;
}

UINT LengthOf(const OLECHAR* text) {
  UINT length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return Allocate(text, LengthOf(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) { return Allocate(text, length); }

UINT SysStringByteLen(BSTR text) { return text == nullptr ? 0 : *PrefixOf(text); }

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(PrefixOf(text));
}

INT SysReAllocStringLen(BSTR* text, const OLECHAR* newText, UINT length) {
  if (text == nullptr) return FALSE;
  BSTR fresh = Allocate(newText, length);
  if (fresh == nullptr) return FALSE;
  SysFreeString(*text);
  *text = fresh;
  return TRUE;
}

INT SysReAllocString(BSTR* text, const OLECHAR* newText) {
  if (text == nullptr) return FALSE;
  return SysReAllocStringLen(text, newText, newText == nullptr ? 0 : LengthOf(newText));
}

void VariantInit(VARIANTARG* variant) {
  if (variant != nullptr) variant->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* variant) {
  if (variant == nullptr) return E_INVALIDARG;
  if ((variant->vt & VT_BYREF) == 0) {
    switch (variant->vt) {
      case VT_BSTR:
        SysFreeString(variant->bstrVal);
        break;
      case VT_UNKNOWN:
        if (variant->punkVal != nullptr) variant->punkVal->Release();
        break;
      case VT_DISPATCH:
        if (variant->pdispVal != nullptr) variant->pdispVal->Release();
        break;
      default:
        break;
    }
  }
  variant->vt = VT_EMPTY;
  variant->llVal = 0;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source) {
  if (dest == nullptr || source == nullptr) return E_INVALIDARG;
  if (dest == source) return S_OK;
  VARIANT copy = *source;
  if ((source->vt & VT_BYREF) == 0) {
    if (source->vt == VT_BSTR && source->bstrVal != nullptr) {
      copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
      if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
    } else if (source->vt == VT_UNKNOWN && source->punkVal != nullptr) {
      source->punkVal->AddRef();
    } else if (source->vt == VT_DISPATCH && source->pdispVal != nullptr) {
      source->pdispVal->AddRef();
    }
  }
  VariantClear(dest);
  *dest = copy;
  return S_OK;
}

HRESULT VarBstrCmp(BSTR left, BSTR right, LCID, ULONG) {
  const UINT leftLength = SysStringLen(left);
  const UINT rightLength = SysStringLen(right);
  const UINT common = leftLength < rightLength ? leftLength : rightLength;
  for (UINT i = 0; i < common; ++i) {
    if (left[i] != right[i]) return left[i] < right[i] ? VARCMP_LT : VARCMP_GT;
  }
  if (leftLength == rightLength) return VARCMP_EQ;
  return leftLength < rightLength ? VARCMP_LT : VARCMP_GT;
}

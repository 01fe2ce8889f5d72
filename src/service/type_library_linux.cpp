// IDispatch of the service object on Linux: the names of IVokQuotes and its members without
// arguments (Connect, Disconnect and the three properties), invoked through the vtable.
#include "service/type_library.h"

#include <cctype>
#include <string_view>

#include "platform/text.h"

namespace vok {
namespace {

struct Member {
  std::string_view name;
  DISPID id;
};

constexpr Member kMembers[] = {
    {"Connect", dispid::Connect},
    {"AdviseSymbol", dispid::AdviseSymbol},
    {"UnadviseSymbol", dispid::UnadviseSymbol},
    {"UnadviseAll", dispid::UnadviseAll},
    {"Disconnect", dispid::Disconnect},
    {"GetCachedQuote", dispid::GetCachedQuote},
    {"ConnectionState", dispid::ConnectionState},
    {"GetCachedOptionsRecord", dispid::GetCachedOptionsRecord},
    {"GetCachedAggregateLevel2Size", dispid::GetCachedAggregateLevel2Size},
    {"GetSingleQuote", dispid::GetSingleQuote},
    {"ServerName", dispid::ServerName},
    {"RemoteAddress", dispid::RemoteAddress},
};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

HRESULT VokQuotesTypeInfo(ITypeInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  return E_NOTIMPL;
}

void ReleaseVokQuotesTypeInfo() {}

// Linux has no type library: its clients call the other interfaces through their vtables.
HRESULT LibraryTypeInfo(REFGUID, ITypeInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  return E_NOTIMPL;
}

HRESULT LibraryGetIDsOfNames(REFGUID, LPOLESTR*, UINT count, DISPID* ids) {
  if (ids != nullptr) {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  }
  return E_NOTIMPL;
}

HRESULT LibraryInvoke(REFGUID, void*, DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) { return E_NOTIMPL; }

HRESULT VokQuotesGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
  if (names == nullptr || ids == nullptr || count == 0) return E_POINTER;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  // Only the member name is known; argument names are not.
  if (names[0] == nullptr) return DISP_E_UNKNOWNNAME;
  const std::string name = NarrowFromWide(WideStringView(names[0]));
  for (const Member& member : kMembers) {
    if (SameName(member.name, name)) {
      ids[0] = member.id;
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT VokQuotesInvoke(IVokQuotes* object, DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) {
  const UINT argCount = params == nullptr ? 0 : params->cArgs;
  const bool get = (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0;
  VARIANT ignored;
  VariantInit(&ignored);
  VARIANT* out = result != nullptr ? result : &ignored;
  HRESULT hr = DISP_E_MEMBERNOTFOUND;
  switch (member) {
    case dispid::Connect: {
      if (argCount != 0) return DISP_E_BADPARAMCOUNT;
      if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
      LONG value = 0;
      hr = object->Connect(&value);
      if (SUCCEEDED(hr)) {
        VariantClear(out);
        out->vt = VT_I4;
        out->lVal = value;
      }
      break;
    }
    case dispid::Disconnect:
      if (argCount != 0) return DISP_E_BADPARAMCOUNT;
      if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
      hr = object->Disconnect();
      break;
    case dispid::ConnectionState: {
      if (argCount != 0) return DISP_E_BADPARAMCOUNT;
      if (!get) return DISP_E_MEMBERNOTFOUND;
      enumConnectionState state = csDisconnected;
      hr = object->get_ConnectionState(&state);
      if (SUCCEEDED(hr)) {
        VariantClear(out);
        out->vt = VT_I4;
        out->lVal = state;
      }
      break;
    }
    case dispid::ServerName:
    case dispid::RemoteAddress: {
      if (argCount != 0) return DISP_E_BADPARAMCOUNT;
      if (!get) return DISP_E_MEMBERNOTFOUND;
      BSTR text = nullptr;
      hr = member == dispid::ServerName ? object->get_ServerName(&text) : object->get_RemoteAddress(&text);
      if (SUCCEEDED(hr)) {
        VariantClear(out);
        out->vt = VT_BSTR;
        out->bstrVal = text;
      }
      break;
    }
    default:
      break;
  }
  VariantClear(&ignored);
  return hr;
}

}  // namespace vok

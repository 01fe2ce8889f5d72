// IDispatch of the service object on Windows: the type library's own GetIDsOfNames and Invoke.
#include "service/type_library.h"

#include <windows.h>

#include <mutex>
#include <string>

#include "platform/com_ptr.h"

namespace vok {
namespace {

std::mutex g_lock;
ITypeInfo* g_typeInfo = nullptr;  // guarded by g_lock; one reference held until unload
ITypeLib* g_library = nullptr;    // guarded by g_lock; one reference held until unload

// The file of the module (DLL or program) that holds this code.
std::wstring ThisModulePath() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ThisModulePath), &module)) {
    return {};
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

HRESULT LoadLibraryLocked() {
  if (g_library != nullptr) return S_OK;
  CComPtr<ITypeLib> library;
  HRESULT hr = ::LoadRegTypeLib(LIBID_VOKQUOTELib, 2, 0, LOCALE_NEUTRAL, library.Put());
  if (FAILED(hr)) {
    const std::wstring path = ThisModulePath();
    if (path.empty()) return hr;
    hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put());
    if (FAILED(hr)) return hr;
  }
  g_library = library.Detach();
  return S_OK;
}

HRESULT LoadTypeInfo() {
  if (g_typeInfo != nullptr) return S_OK;
  const HRESULT hr = LoadLibraryLocked();
  if (FAILED(hr)) return hr;
  return g_library->GetTypeInfoOfGuid(IID_IVokQuotes, &g_typeInfo);
}

}  // namespace

HRESULT VokQuotesTypeInfo(ITypeInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  std::lock_guard guard(g_lock);
  const HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  *out = g_typeInfo;
  g_typeInfo->AddRef();
  return S_OK;
}

void ReleaseVokQuotesTypeInfo() {
  std::lock_guard guard(g_lock);
  if (g_typeInfo != nullptr) g_typeInfo->Release();
  g_typeInfo = nullptr;
  if (g_library != nullptr) g_library->Release();
  g_library = nullptr;
}

HRESULT LibraryTypeInfo(REFGUID guid, ITypeInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  std::lock_guard guard(g_lock);
  const HRESULT hr = LoadLibraryLocked();
  if (FAILED(hr)) return hr;
  return g_library->GetTypeInfoOfGuid(guid, out);
}

HRESULT LibraryGetIDsOfNames(REFGUID iid, LPOLESTR* names, UINT count, DISPID* ids) {
  CComPtr<ITypeInfo> info;
  const HRESULT hr = LibraryTypeInfo(iid, info.Put());
  if (FAILED(hr)) return hr;
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT LibraryInvoke(REFGUID iid, void* object, DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) {
  CComPtr<ITypeInfo> info;
  const HRESULT hr = LibraryTypeInfo(iid, info.Put());
  if (FAILED(hr)) return hr;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return info->Invoke(object, member, flags, params != nullptr ? params : &none, result, exception, argError);
}

HRESULT VokQuotesGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
  CComPtr<ITypeInfo> info;
  const HRESULT hr = VokQuotesTypeInfo(info.Put());
  if (FAILED(hr)) return hr;
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT VokQuotesInvoke(IVokQuotes* object, DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) {
  CComPtr<ITypeInfo> info;
  const HRESULT hr = VokQuotesTypeInfo(info.Put());
  if (FAILED(hr)) return hr;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return info->Invoke(object, member, flags, params != nullptr ? params : &none, result, exception, argError);
}

}  // namespace vok

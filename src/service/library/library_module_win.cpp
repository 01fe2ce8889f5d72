// VokQuote.dll: DllMain, the exported entry points, the library's path, the registry script
// resource (REGISTRY 106) and the registration of the embedded type library (TYPELIB 1).
#include <windows.h>

#include <string>

#include "platform/com_ptr.h"
#include "platform/text.h"
#include "records/vokquote.h"
#include "service/class_factory.h"
#include "service/library/library_module.h"
#include "service/rtd/vok_quotes_rtd.h"

namespace vok {
namespace {

HINSTANCE g_instance = nullptr;
constexpr WORD kRegistryScriptId = 106;
CClassFactory g_rtdFactory(&CVokQuotesRtd::CreateInstance);

std::wstring WideModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(g_instance, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

}  // namespace

std::string LibraryModulePath() { return NarrowFromWide(WideModulePath()); }

std::string_view LibraryRegistryScript() {
  HRSRC resource = ::FindResourceW(g_instance, MAKEINTRESOURCEW(kRegistryScriptId), L"REGISTRY");
  if (resource == nullptr) return {};
  HGLOBAL loaded = ::LoadResource(g_instance, resource);
  const DWORD size = ::SizeofResource(g_instance, resource);
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (data == nullptr) return {};
  return std::string_view(static_cast<const char*>(data), size);
}

bool RegisterLibraryTypeLib(const std::string&) {
  std::wstring path = WideModulePath();
  CComPtr<ITypeLib> library;
  if (FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put()))) return false;
  std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
  return SUCCEEDED(::RegisterTypeLib(library.Get(), path.data(), folder.empty() ? nullptr : folder.data()));
}

HRESULT PlatformClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (clsid == CLSID_VokQuotesRtd) return g_rtdFactory.QueryInterface(riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

bool UnregisterLibraryTypeLib() {
  const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  const HRESULT hr = ::UnRegisterTypeLib(LIBID_VOKQUOTELib, 2, 0, LOCALE_NEUTRAL, kind);
  // A library that was not registered is as unregistered as it gets.
  return SUCCEEDED(hr) || hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_CANTLOADLIBRARY;
}

}  // namespace vok

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    vok::g_instance = instance;
    vok::LibraryAttach();
  } else if (reason == DLL_PROCESS_DETACH) {
    vok::LibraryDetach();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  return vok::LibraryGetClassObject(clsid, riid, ppv);
}
STDAPI DllCanUnloadNow() { return vok::LibraryCanUnloadNow(); }
STDAPI DllRegisterServer() { return vok::LibraryRegisterServer(); }
STDAPI DllUnregisterServer() { return vok::LibraryUnregisterServer(); }

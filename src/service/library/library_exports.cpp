// The class-server entry points both platforms share: one cached class factory for VokQuotes,
// unloading only at a zero module lock count, registration from the registry script; and the
// version query.
#include "service/library/library_module.h"

#include <vokquote/api.h>
#include <vokquote/version.h>

#include "records/vokquote.h"
#include "service/class_factory.h"
#include "service/com_guard.h"
#include "service/module_lock.h"
#include "service/registry_script.h"
#include "service/type_library.h"
#include "service/vok_quote_app.h"
#include "service/vok_quotes.h"
#include "service/vok_quotes_settings.h"
#include "vkdll/vkdll.h"

namespace vok {
namespace {

HRESULT CreateVokQuotes(IUnknown* outer, REFIID riid, void** ppv) {
  return CVokQuotes::CreateInstance(outer, riid, ppv);
}

// Created with the library and kept for its life; the class object every client gets.
CClassFactory g_vokQuotesFactory(&CreateVokQuotes);
CClassFactory g_settingsFactory(&CVokQuotesSettings::CreateInstance);

CRegistryScript::Replacements ScriptReplacements() { return {{"MODULE", LibraryModulePath()}}; }

}  // namespace

HRESULT LibraryGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  return ComGuard("DllGetClassObject", [&] {
    if (clsid == CLSID_VokQuotes) return g_vokQuotesFactory.QueryInterface(riid, ppv);
    if (clsid == CLSID_VokQuotesSettings) return g_settingsFactory.QueryInterface(riid, ppv);
    return PlatformClassObject(clsid, riid, ppv);
  });
}

HRESULT LibraryCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT LibraryRegisterServer() {
  return ComGuard("DllRegisterServer", [] {
    const std::string modulePath = LibraryModulePath();
    if (modulePath.empty()) return SELFREG_E_CLASS;
    const CRegistryScript script(LibraryRegistryScript(), ScriptReplacements());
    if (!script.Register()) return SELFREG_E_CLASS;
    if (!RegisterLibraryTypeLib(modulePath)) return SELFREG_E_TYPELIB;
    return S_OK;
  });
}

HRESULT LibraryUnregisterServer() {
  return ComGuard("DllUnregisterServer", [] {
    const CRegistryScript script(LibraryRegistryScript(), ScriptReplacements());
    const bool classes = script.Unregister();
    const bool typeLib = UnregisterLibraryTypeLib();
    if (!classes) return SELFREG_E_CLASS;
    return typeLib ? S_OK : SELFREG_E_TYPELIB;
  });
}

void LibraryAttach() { App().InitInstance(); }

void LibraryDetach() {
  App().ExitInstance();
  ReleaseVokQuotesTypeInfo();
}

}  // namespace vok

extern "C" const char* VokQuoteVersion() { return VOKQUOTE_VERSION_STRING; }

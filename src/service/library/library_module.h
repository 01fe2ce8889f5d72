// The library as a COM in-process server: the four class-server entry points over the class
// factory, the module lock count and the registry script, and the load and unload of the library.
// library_exports.cpp holds what both platforms share; library_module_win.cpp (DllMain, resources,
// type library registration) and library_module_linux.cpp (load constructor, class registry file)
// export the entry points and supply the platform facts below.
#pragma once

#include <string>
#include <string_view>

#include "platform/com.h"

namespace vok {

// Shared bodies of the exported entry points.
HRESULT LibraryGetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
HRESULT LibraryCanUnloadNow();
HRESULT LibraryRegisterServer();
HRESULT LibraryUnregisterServer();
// Library load and unload: the application object's start and exit.
void LibraryAttach();
void LibraryDetach();

// Platform facts: the full path of the library file, the registry script it carries, and the
// registration of its type library.
std::string LibraryModulePath();
std::string_view LibraryRegistryScript();
bool RegisterLibraryTypeLib(const std::string& modulePath);
bool UnregisterLibraryTypeLib();
// The class objects of classes that exist on this platform only (the real-time data server on
// Windows); CLASS_E_CLASSNOTAVAILABLE for any other class.
HRESULT PlatformClassObject(REFCLSID clsid, REFIID riid, void** ppv);

}  // namespace vok

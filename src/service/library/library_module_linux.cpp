// libvokquote.so: the exported entry points, the load constructor and unload destructor, the
// library's own path (read from the process's mapping list, which names the file that holds this
// code) and the registry script compiled in from vokquote.rgs.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/class_registry.h"
#include "records/vokquote.h"
#include "service/library/library_module.h"
#include "service/vokquote_create.h"

namespace vok {

extern const char kLibraryRegistryScript[];  // generated from vokquote.rgs

namespace {

constexpr const char* kTypeLibKey = "TypeLib\\{9E35848E-CBB2-4A29-881A-6944BBE593D5}";

void OnLibraryUnload() { LibraryDetach(); }

// The exit is registered after the application object came to life inside LibraryAttach, so it
// runs before that object's destructor, both at process exit and when the library is unloaded.
__attribute__((constructor)) void OnLibraryLoad() {
  LibraryAttach();
  std::atexit(&OnLibraryUnload);
}

}  // namespace

std::string LibraryModulePath() {
  const auto here = reinterpret_cast<std::uintptr_t>(&LibraryModulePath);
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    // "start-end perms offset dev inode path"
    std::istringstream fields(line);
    std::string range, perms, offset, device, inode, path;
    if (!(fields >> range >> perms >> offset >> device >> inode)) continue;
    std::getline(fields >> std::ws, path);
    const std::size_t dash = range.find('-');
    if (dash == std::string::npos || path.empty() || path[0] != '/') continue;
    const std::uintptr_t start = std::stoull(range.substr(0, dash), nullptr, 16);
    const std::uintptr_t end = std::stoull(range.substr(dash + 1), nullptr, 16);
    if (here >= start && here < end) return path;
  }
  return {};
}

std::string_view LibraryRegistryScript() { return kLibraryRegistryScript; }

// The class registry file has no type library loader to serve; it records where the library is.
bool RegisterLibraryTypeLib(const std::string& modulePath) {
  const std::string version = std::string(kTypeLibKey) + "\\2.0";
  const RegistryValue name[] = {{"", "VOKQUOTELib"}};
  const RegistryValue file[] = {{"", modulePath}};
  return DeleteClassKeyTree(kTypeLibKey) && WriteClassKey(version, name) && WriteClassKey(version + "\\0\\linux", file);
}

// The real-time data server speaks a Windows-only protocol; its class is not served here.
HRESULT PlatformClassObject(REFCLSID, REFIID, void**) { return CLASS_E_CLASSNOTAVAILABLE; }

bool UnregisterLibraryTypeLib() { return DeleteClassKeyTree(kTypeLibKey); }

}  // namespace vok

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return vok::LibraryGetClassObject(clsid, riid, ppv);
}
__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return vok::LibraryCanUnloadNow(); }
__attribute__((visibility("default"))) HRESULT DllRegisterServer() { return vok::LibraryRegisterServer(); }
__attribute__((visibility("default"))) HRESULT DllUnregisterServer() { return vok::LibraryUnregisterServer(); }

}  // extern "C"

// The Windows half of the library's client test: VokQuote.dll registered and created by ProgID on
// a single-threaded apartment thread that pumps its messages, its exports looked up in the loaded
// module, and the simulator the test run started. The build names the DLL's Linux path in
// VOK_DLL_PATH.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "service/library/client_host_test_util.h"
#include "service/simulator_endpoint_test_util.h"

namespace vok::test {
namespace {

HMODULE g_library = nullptr;

// Wine shows the Linux root as drive Z:.
std::wstring DllPath() {
  std::wstring path = L"Z:" + vok::WideFromNarrow(VOK_DLL_PATH);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// Every test runs on this thread, a single-threaded apartment, with the DLL loaded (the same module
// CoCreateInstance uses) and registered by its own entry point (regsvr32 calls the same one; the
// script tests run it).
class CWindowsClientEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    g_library = ::LoadLibraryW(DllPath().c_str());
    ASSERT_NE(g_library, nullptr);
    ASSERT_EQ(CallLibrary("DllRegisterServer"), S_OK);
  }
  void TearDown() override {
    ::FreeLibrary(g_library);
    ::CoUninitialize();
  }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new CWindowsClientEnvironment);

}  // namespace

const bool kEventsOnClientThread = true;

HRESULT CreateVokQuotes(REFIID riid, void** object) {
  CLSID clsid{};
  const HRESULT hr = ::CLSIDFromProgID(L"Vokhaldex.VokQuotes", &clsid);
  if (FAILED(hr)) return hr;
  return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}

HRESULT LibraryClassObject(REFCLSID clsid, REFIID riid, void** object) {
  using Entry = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(g_library, "DllGetClassObject")));
  return entry == nullptr ? E_NOTIMPL : entry(clsid, riid, object);
}

HRESULT CallLibrary(const char* name) {
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(g_library, name)));
  return entry == nullptr ? E_NOTIMPL : entry();
}

bool IsLibraryPath(const std::string& path) { return WideFromNarrow(path) == DllPath(); }

bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() >= deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return true;
}

std::string ServerAddress() {
  SSimulatorEndpoint endpoint;
  return ReadSimulatorEndpoint(endpoint) ? endpoint.host + ":" + std::to_string(endpoint.port) : "";
}

std::optional<std::vector<std::string>> ServerLines() { return std::nullopt; }

}  // namespace vok::test

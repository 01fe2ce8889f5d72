// The Linux half of the library's client test: libvokquote.so's exports called directly, the
// library's message loop, and a simulator in this process. Settings and the class registry file
// live in a folder of the program's own.
#include <gtest/gtest.h>
#include <vokquote/api.h>
#include <vokquote/version.h>

#include <filesystem>
#include <memory>

#include "platform/environment.h"
#include "platform/thread.h"
#include "quote_server.h"
#include "service/library/client_host_test_util.h"
#include "service/simulator_endpoint_test_util.h"
#include "vkdll/vkdll.h"

namespace vok::test {
namespace {

std::unique_ptr<sim::CQuoteServer> g_server;

class CLinuxClientEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    m_folder = std::filesystem::temp_directory_path() / ("vokquote_client_" + std::to_string(CurrentThreadId()));
    std::filesystem::create_directories(m_folder);
    SetEnvironmentValue("XDG_CONFIG_HOME", m_folder.string().c_str());
    SetEnvironmentValue("VOKQUOTE_CONFIG", (m_folder / "vokquote.ini").string().c_str());
  }
  void TearDown() override {
    g_server.reset();
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }

 private:
  std::filesystem::path m_folder;
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new CLinuxClientEnvironment);

}  // namespace

const bool kEventsOnClientThread = false;

HRESULT CreateVokQuotes(REFIID riid, void** object) { return VokQuotesCreate(riid, object); }

HRESULT LibraryClassObject(REFCLSID clsid, REFIID riid, void** object) {
  return DllGetClassObject(clsid, riid, object);
}

HRESULT CallLibrary(const char* entry) {
  const std::string name = entry;
  if (name == "DllCanUnloadNow") return DllCanUnloadNow();
  if (name == "DllRegisterServer") return DllRegisterServer();
  if (name == "DllUnregisterServer") return DllUnregisterServer();
  return E_NOTIMPL;
}

bool IsLibraryPath(const std::string& path) { return path.ends_with("/libvokquote.so." VOKQUOTE_VERSION_STRING); }

bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
  const std::uint64_t deadline = MonotonicMs() + timeoutMs;
  while (!done()) {
    if (MonotonicMs() >= deadline) return false;
    // Events arrive on other threads without waking the loop: it is looked at in slices.
    VokRunMessageLoop(-1, 10);
  }
  return true;
}

std::string ServerAddress() {
  if (!g_server) {
    sim::SServerOptions options;
    char transformed[65] = {};
    VOK_TransformPassword(kSimulatorPassword, transformed);
    options.users[kSimulatorUser] = transformed;
    options.rate = 20;
    options.seed = 11;
    g_server = std::make_unique<sim::CQuoteServer>(options);
    if (!g_server->Start()) return "";
  }
  return "127.0.0.1:" + std::to_string(g_server->Port());
}

std::optional<std::vector<std::string>> ServerLines() {
  if (!g_server) return std::nullopt;
  return g_server->ReceivedLines(1);
}

}  // namespace vok::test

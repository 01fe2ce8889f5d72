// The Schannel transport against a TLS quote server simulator started outside the test: the file
// named by VOKQUOTE_TLS_ENDPOINT_FILE holds "PORT CAFILE FINGERPRINT" for a server on 127.0.0.1
// whose certificate is its own CA. Without it the cases are skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "vkdll/trace.h"
#include "vokipc/loopback_server_test_util.h"

namespace {

using vok::test::CCallbackRecorder;

struct SEndpoint {
  int port = 0;
  std::string caFile;
  std::string fingerprint;
};

bool ReadEndpoint(SEndpoint& endpoint) {
  const char* path = std::getenv("VOKQUOTE_TLS_ENDPOINT_FILE");
  std::FILE* file = path != nullptr ? std::fopen(path, "r") : nullptr;
  if (file == nullptr) return false;
  char ca[512] = {};
  char fingerprint[128] = {};
  const bool ok = std::fscanf(file, "%d %511s %127s", &endpoint.port, ca, fingerprint) == 3;
  std::fclose(file);
  endpoint.caFile = ca;
  endpoint.fingerprint = fingerprint;
  return ok;
}

TEST(SchannelTransport, LogsOnWithATrustedCertificateAndRefusesOthers) {
  SEndpoint endpoint;
  if (!ReadEndpoint(endpoint)) GTEST_SKIP() << "no TLS simulator endpoint";
  IpcStartup();
  CCallbackRecorder recorder;
  const std::string wrongPin(64, '0');
  struct SCase {
    const char* caFile;
    const char* pin;
    int error;
  } cases[] = {{endpoint.caFile.c_str(), "", 0},
               {"", endpoint.fingerprint.c_str(), 0},
               {"", "", kIpcErrorTlsRefused},
               {"", wrongPin.c_str(), kIpcErrorTlsRefused}};
  for (const SCase& c : cases) {
    SCOPED_TRACE(std::string("ca '") + c.caFile + "' pin '" + c.pin + "'");
    const IPCTLSOPTIONS options{c.caFile, c.pin};
    std::string failures;
    IPCHANDLE handle = 0;
    {
      vok::CScopedTraceSink sink([&](int level, std::string_view text) {
        if (level == 5) failures.append(text).append("\n");
      });
      handle = IpcOpenTls("127.0.0.1", endpoint.port, CCallbackRecorder::Table(), &options);
    }
    EXPECT_EQ(IpcLastOpenError(), c.error) << failures;
    if (c.error != 0) {
      EXPECT_EQ(handle, 0u);
      EXPECT_NE(failures.find("certificate refused"), std::string::npos) << failures;
      continue;
    }
    if (handle == 0) continue;
    const std::string logon = "L|100=wine;133=x\n";
    ASSERT_EQ(IpcSend(handle, logon.data(), static_cast<int>(logon.size())), 1);
    ASSERT_TRUE(recorder.WaitForLines(handle, 1));
    EXPECT_EQ(recorder.Lines(handle).at(0).compare(0, 2, "G|"), 0) << recorder.Lines(handle).at(0);
    IpcCloseTcp(handle);
  }
  IpcCleanup();
}

}  // namespace

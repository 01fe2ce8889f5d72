// The Schannel transport against the TLS quote server simulator that the test run started: the
// file named by VOKQUOTE_TLS_ENDPOINT_FILE holds "HOST PORT CAFILE FINGERPRINT", the CA that
// signed the server's certificate and that certificate's SHA-256. Run by hand without it, the case
// is skipped. A pin mismatch is refused in the service object's test over the same server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "service/simulator_endpoint_test_util.h"
#include "vkdll/trace.h"
#include "vkdll/vkdll.h"
#include "vokipc/loopback_server_test_util.h"

namespace {

using vok::test::CCallbackRecorder;

TEST(SchannelTransport, LogsOnAndStreamsWithATrustedCertificateAndRefusesOthers) {
  if (std::getenv("VOKQUOTE_TLS_ENDPOINT_FILE") == nullptr) GTEST_SKIP() << "no TLS simulator endpoint";
  vok::test::SSimulatorEndpoint endpoint;
  ASSERT_TRUE(vok::test::ReadSimulatorEndpoint(endpoint, true));
  IpcStartup();
  CCallbackRecorder recorder;
  char password[65] = {};
  VOK_TransformPassword(vok::test::kSimulatorPassword, password);
  struct SCase {
    const char* caFile;
    const char* pin;
    const char* refusal;  // null: accepted
  } cases[] = {{endpoint.caFile.c_str(), "", nullptr},
               {"", endpoint.fingerprint.c_str(), nullptr},
               // Wine's SSL policy passes this chain; the transport must not.
               {"", "", "unable to get local issuer certificate"}};
  for (const SCase& c : cases) {
    SCOPED_TRACE(std::string("ca '") + c.caFile + "' pin '" + c.pin + "'");
    const IPCTLSOPTIONS options{c.caFile, c.pin};
    std::string failures;
    std::string opened;
    IPCHANDLE handle = 0;
    {
      vok::CScopedTraceSink sink([&](int level, std::string_view text) {
        if (level == 5) failures.append(text).append("\n");
        if (text.find("open to") != std::string_view::npos) opened = text;
      });
      handle = IpcOpenTls(endpoint.host.c_str(), endpoint.port, CCallbackRecorder::Table(), &options);
    }
    if (c.refusal != nullptr) {
      EXPECT_EQ(handle, 0u);
      EXPECT_EQ(IpcLastOpenError(), kIpcErrorTlsRefused);
      EXPECT_NE(failures.find("certificate refused: "), std::string::npos) << failures;
      EXPECT_NE(failures.find(c.refusal), std::string::npos) << failures;
      continue;
    }
    ASSERT_NE(handle, 0u) << failures;
    EXPECT_NE(opened.find(" over TLS 1."), std::string::npos) << opened;
    const std::string requests =
        std::string("L|100=") + vok::test::kSimulatorUser + ";133=" + password + "\nH|1003=MSFT;2000=20000\n";
    ASSERT_EQ(IpcSend(handle, requests.data(), static_cast<int>(requests.size())), 1);
    ASSERT_TRUE(recorder.WaitForLines(handle, 3));
    const std::vector<std::string> lines = recorder.Lines(handle);
    EXPECT_EQ(lines.at(0).compare(0, 2, "G|"), 0) << lines.at(0);
    EXPECT_TRUE(std::any_of(lines.begin() + 1, lines.end(),
                            [](const std::string& line) { return line.find("1003=MSFT") != std::string::npos; }));
    IpcCloseTcp(handle);
  }
  IpcCleanup();
}

}  // namespace

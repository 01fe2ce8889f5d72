// The simulator's TLS side: --tls-cert and --tls-key only as a pair, a start that names the file
// it could not use, and a client speaking clear text to a TLS server closed without an answer.
// Sessions over TLS themselves are run by the service's TLS tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/tls_test_certificates_util.h"
#include "quote_server.h"
#include "server_options.h"
#include "test_client.h"

namespace vok::sim {
namespace {

using vok::test::CTestCertificates;

TEST(TlsServer, TakesCertificateAndKeyOnlyTogetherAndNamesAFileItCannotUse) {
  const std::vector<std::pair<std::vector<std::string>, bool>> lines = {
      {{"--tls-cert", "c.pem", "--tls-key", "k.pem"}, true},
      {{"--tls-cert", "c.pem"}, false},
      {{"--tls-key", "k.pem"}, false},
  };
  for (const auto& [args, ok] : lines) {
    SServerOptions options;
    bool help = false;
    std::string message;
    EXPECT_EQ(ParseCommandLine(args, options, help, message), ok) << args[0] << ": " << message;
    if (ok) {
      EXPECT_EQ(options.tlsCertificateFile + " " + options.tlsKeyFile, "c.pem k.pem");
    }
  }
  CTestCertificates certificates;
  ASSERT_TRUE(certificates.Ok());
  SServerOptions options;
  options.tlsCertificateFile = certificates.CertFile(CTestCertificates::kValid);
  options.tlsKeyFile = certificates.CaFile();  // a certificate, not a key
  CQuoteServer server(options);
  std::string error;
  EXPECT_FALSE(server.Start(&error));
  EXPECT_NE(error.find("cannot read the TLS key " + certificates.CaFile()), std::string::npos) << error;
}

TEST(TlsServer, ClosesAClearTextClientWithoutAnswering) {
  CTestCertificates certificates;
  ASSERT_TRUE(certificates.Ok());
  SServerOptions options;
  options.tlsCertificateFile = certificates.CertFile(CTestCertificates::kValid);
  options.tlsKeyFile = certificates.KeyFile();
  CQuoteServer server(options);
  ASSERT_TRUE(server.Start());
  CTestClient client;
  ASSERT_TRUE(client.Connect(server.Port()));
  ASSERT_TRUE(client.Send("L|100=user;133=secret\n"));
  EXPECT_TRUE(client.WaitClosed(10000));
  EXPECT_TRUE(client.ReadFor(0).empty());
  EXPECT_EQ(server.LogonCount() + server.RefusedLogonCount(), 0);
  server.Stop();
}

}  // namespace
}  // namespace vok::sim

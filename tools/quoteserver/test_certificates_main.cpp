// vokquote-test-certificates DIR: writes the throwaway test certificates into DIR (ca.pem,
// server.key, server0.pem ... server3.pem, see tls_test_certificates_util.h) and prints the
// SHA-256 fingerprint of server0.pem, the one valid for 127.0.0.1. The Windows test run serves
// them from the Linux simulator, since its tests cannot make certificates themselves.
#include <cstdio>

#include "platform/tls_test_certificates_util.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: vokquote-test-certificates DIR\n", stderr);
    return 2;
  }
  const vok::test::CTestCertificates certificates(argv[1]);
  if (!certificates.Ok()) {
    std::fprintf(stderr, "vokquote-test-certificates: cannot write certificates into %s\n", argv[1]);
    return 1;
  }
  std::printf("%s\n", certificates.Fingerprint(vok::test::CTestCertificates::kValid).c_str());
  return 0;
}

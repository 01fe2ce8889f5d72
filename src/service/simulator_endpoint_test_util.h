// Where Windows tests find the quote server simulator: ctest starts the Linux simulator once and
// names a file holding "HOST PORT" in VOKQUOTE_SIM_ENDPOINT_FILE; the one serving TLS is named in
// VOKQUOTE_TLS_ENDPOINT_FILE, whose line adds the CA file and the certificate's SHA-256. Both
// simulators know one user, "vokuser" with password "vokpass".
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vok::test {

inline constexpr const char* kSimulatorUser = "vokuser";
inline constexpr const char* kSimulatorPassword = "vokpass";

struct SSimulatorEndpoint {
  std::string host;
  int port = 0;
  std::string caFile;       // TLS only
  std::string fingerprint;  // TLS only
};

// False when the variable is unset or the file does not hold an endpoint (with the two TLS fields
// when tls is set).
inline bool ReadSimulatorEndpoint(SSimulatorEndpoint& endpoint, bool tls = false) {
  const char* path = std::getenv(tls ? "VOKQUOTE_TLS_ENDPOINT_FILE" : "VOKQUOTE_SIM_ENDPOINT_FILE");
  std::FILE* file = path != nullptr ? std::fopen(path, "r") : nullptr;
  if (file == nullptr) return false;
  char host[64] = {};
  char ca[512] = {};
  char fingerprint[128] = {};
  int port = 0;
  const int fields = std::fscanf(file, "%63s %d %511s %127s", host, &port, ca, fingerprint);
  std::fclose(file);
  if (fields < (tls ? 4 : 2) || port <= 0 || port >= 65536) return false;
  endpoint = {host, port, ca, fingerprint};
  return true;
}

}  // namespace vok::test

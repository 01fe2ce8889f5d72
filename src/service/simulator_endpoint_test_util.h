// Where Windows tests find the quote server simulator: ctest starts the Linux simulator once and
// names a file holding "HOST PORT" in VOKQUOTE_SIM_ENDPOINT_FILE. The simulator knows one user,
// "vokuser" with password "vokpass".
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vok::test {

inline constexpr const char* kSimulatorUser = "vokuser";
inline constexpr const char* kSimulatorPassword = "vokpass";

// False when the variable is unset or the file does not hold an endpoint.
inline bool ReadSimulatorEndpoint(std::string& host, int& port) {
  const char* path = std::getenv("VOKQUOTE_SIM_ENDPOINT_FILE");
  if (path == nullptr) return false;
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return false;
  char hostText[64] = {};
  int value = 0;
  const bool ok = std::fscanf(file, "%63s %d", hostText, &value) == 2 && value > 0 && value < 65536;
  std::fclose(file);
  if (!ok) return false;
  host = hostText;
  port = value;
  return true;
}

}  // namespace vok::test

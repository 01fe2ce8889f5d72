// The part of the stream socket that both backends share: reading the host text.
#include "platform/socket.h"

#include <cstring>

namespace vok {

std::string HostWithoutBrackets(const char* host) {
  const std::size_t length = std::strlen(host);
  if (length >= 2 && host[0] == '[' && host[length - 1] == ']') return std::string(host + 1, length - 2);
  return std::string(host);
}

}  // namespace vok

// Linux backend of platform/environment.h.
#include "platform/environment.h"

#include <cstdlib>

namespace vok {

void SetEnvironmentValue(const char* name, const char* value) {
  if (value == nullptr || *value == '\0') {
    ::unsetenv(name);
  } else {
    ::setenv(name, value, 1);
  }
}

}  // namespace vok

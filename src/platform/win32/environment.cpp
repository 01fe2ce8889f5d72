// Windows backend of platform/environment.h: the C runtime's copy, which getenv reads.
#include "platform/environment.h"

#include <cstdlib>

namespace vok {

void SetEnvironmentValue(const char* name, const char* value) { ::_putenv_s(name, value != nullptr ? value : ""); }

}  // namespace vok

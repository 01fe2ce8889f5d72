// Linux backend of platform/debug_output.h: there is no debugger channel.
#include "platform/debug_output.h"

namespace vok {

void WriteDebugOutput(const char*) {}

bool HasDebugOutput() { return false; }

}  // namespace vok

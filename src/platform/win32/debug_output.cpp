// Windows backend of platform/debug_output.h.
#include "platform/debug_output.h"

#include <windows.h>

namespace vok {

void WriteDebugOutput(const char* line) { ::OutputDebugStringA(line); }

bool HasDebugOutput() { return true; }

}  // namespace vok

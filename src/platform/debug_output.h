// The system debugger channel: on Windows every trace line also goes to OutputDebugStringA so a
// debugger or DebugView sees it; Linux has no such channel and ignores the call.
#pragma once

namespace vok {

void WriteDebugOutput(const char* line);
// True where the system has such a channel (Windows).
bool HasDebugOutput();

}  // namespace vok

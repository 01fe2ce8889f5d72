// The host suite's message service, which shows the user the server's "logged in elsewhere"
// notice. On Windows it is a COM class of the suite, created by CLSID when the suite installed
// it; on Linux an embedding application may register a handler. Absent either, notices are
// dropped (after the trace the caller writes).
#pragma once

#include <functional>
#include <string>

namespace vok {

// Hands the notice text on; returns false when no service took it.
bool ShowSuiteMessage(const std::string& text);

// Linux hosts: the function that receives notices (empty to remove). Ignored on Windows, where
// the suite's registered class is used.
void SetSuiteMessageHandler(std::function<void(const std::string&)> handler);

}  // namespace vok

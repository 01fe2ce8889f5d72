// The C forms of the calls a Linux client needs beside the service object: the calling thread's
// message loop (the one the library posts callbacks to, so a client never needs the component's
// C++ internals) and the handler for server notices.
#include <vokquote/api.h>

#include <string>

#include "platform/message_loop.h"
#include "service/suite_message_service.h"

extern "C" {

size_t VokPumpMessages() { return vok::PumpMessages(); }

int VokRunMessageLoop(int stopFd, uint32_t timeoutMs) {
  // Level-triggered: the caller's descriptor is only looked at, never consumed.
  switch (vok::RunMessageLoop(vok::WaitHandle{stopFd, false}, timeoutMs)) {
    case vok::LoopExit::Stopped:
      return VOK_LOOP_STOPPED;
    case vok::LoopExit::Quit:
      return VOK_LOOP_QUIT;
    case vok::LoopExit::Timeout:
      return VOK_LOOP_TIMEOUT;
    case vok::LoopExit::Failed:
      break;
  }
  return VOK_LOOP_FAILED;
}

void VokQuitMessageLoop() { vok::QuitMessageLoop(); }

int VokMessageLoopFd() { return vok::MessageLoopFd(); }

void VokSetSuiteMessageHandler(VokSuiteMessageHandler handler, void* context) {
  if (handler == nullptr) {
    vok::SetSuiteMessageHandler(nullptr);
    return;
  }
  vok::SetSuiteMessageHandler([handler, context](const std::string& text) { handler(text.c_str(), context); });
}

}  // extern "C"

// The C forms of the calls a Linux client needs beside the service object: the calling thread's
// message loop (the one the library posts callbacks to, so a client never needs the component's
// C++ internals), the handler for server notices and the process's TLS override.
#include <vokquote/api.h>

#include <string>

#include "connection/tls_settings.h"
#include "platform/message_loop.h"
#include "service/suite_message_service.h"
#include "vokipc/vokipc.h"

static_assert(VOK_ERROR_TLS_HANDSHAKE == kIpcErrorTlsHandshake && VOK_ERROR_TLS_REFUSED == kIpcErrorTlsRefused);

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

void VokOverrideTls(int useTls, const char* caFile, const char* pinnedSha256) {
  OverrideTlsSettings(
      STlsSettings{useTls != 0, caFile != nullptr ? caFile : "", pinnedSha256 != nullptr ? pinnedSha256 : ""});
}

void VokClearTlsOverride() { OverrideTlsSettings(std::nullopt); }

}  // extern "C"

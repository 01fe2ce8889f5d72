// Linked into vokquote only while the build has no quote service library: every live subcommand
// then fails with a clear message, and decode works as usual.
#include "connection/tls_settings.h"
#include "service/connection_times.h"
#include "service/suite_message_service.h"
#include "service/vokquote_create.h"

extern "C" HRESULT VokQuotesCreate(REFIID, void** object) {
  if (object != nullptr) *object = nullptr;
  return E_NOTIMPL;
}

extern "C" void VokSetImmediateDelivery(int) {}

void OverrideTlsSettings(const std::optional<STlsSettings>&) {}

namespace vok {

void SetSuiteMessageHandler(std::function<void(const std::string&)>) {}

const SConnectionTimes& ConnectionTimes() {
  static const SConnectionTimes times;
  return times;
}

}  // namespace vok

// Windows backend of the TLS client. Not available yet in this build: every handshake fails, so a
// configuration that asks for TLS never falls back to clear text.
#include "platform/tls.h"

namespace vok {

struct CTlsClient::SImpl {};

CTlsClient::CTlsClient(std::unique_ptr<SImpl> impl) : m_impl(std::move(impl)) {}
CTlsClient::~CTlsClient() = default;

std::unique_ptr<CTlsClient> CTlsClient::Connect(CSocket socket, const STlsClientOptions&, std::uint32_t,
                                                ETlsFailure& failure, std::string& reason) {
  socket.Close();
  failure = ETlsFailure::Handshake;
  reason = "TLS is not available in this build";
  return nullptr;
}

bool CTlsClient::SendAll(const char*, std::size_t, std::uint32_t) { return false; }
int CTlsClient::Receive(char*, int) { return -1; }
void CTlsClient::Shutdown() {}

}  // namespace vok

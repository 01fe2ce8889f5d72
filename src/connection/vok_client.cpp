// VOKClient: the handle-to-client map, the transport callbacks and the client's operations.
#include "connection/vok_client.h"

#include "connection/timer_queue.h"
#include "message/vok_message.h"

namespace vok::detail {
struct SClientDispatch {};
}  // namespace vok::detail

VOKClient::VOKClient(const char* address, int port, bool datagram, bool alternateOpen, bool openNow)
    : m_datagram(datagram), m_alternateOpen(alternateOpen), m_address(address ? address : ""),
      m_port(port) {
  if (openNow) m_open = Open(address, port, alternateOpen);
}
VOKClient::VOKClient(const char* addressAndPort, bool datagram, bool alternateOpen)
    : m_datagram(datagram), m_alternateOpen(alternateOpen) {
  (void)addressAndPort;
}
VOKClient::VOKClient(const char* interfaceAddress, const char* groupAddress, int port, bool openNow)
    : m_datagram(true), m_address(groupAddress ? groupAddress : ""), m_port(port) {
  if (openNow) m_open = OpenMulticast(interfaceAddress, groupAddress, port);
}
VOKClient::VOKClient(const char* interfaceAddress, const char* groupAndPort) : m_datagram(true) {
  (void)interfaceAddress;
  (void)groupAndPort;
}
VOKClient::~VOKClient() = default;

void VOKClient::OnTimedEvent(CTimerQueueEvent*) {}
long VOKClient::AddRef() { return ++m_refs; }
long VOKClient::Release() { return --m_refs; }
void VOKClient::OnData(const char*, int) {}
void VOKClient::OnStatus(int, int) {}
void VOKClient::OnClosed() {}
void VOKClient::OnHeartbeatData(const char* text, int length) { OnData(text, length); }
bool VOKClient::Open(const char*, int, bool) { return false; }
bool VOKClient::OpenMulticast(const char*, const char*, int) { return false; }
bool VOKClient::IsConnected() { return false; }
void VOKClient::Send(const VOKMessage&) {}
bool VOKClient::Close() { return false; }
void VOKClient::Detach() {}
void VOKClient::EnableHeartbeat(int) {}
VOKClient* VOKClient::FromHandle(IPCHANDLE) { return nullptr; }
void VOKClient::SendHeartbeat() {}

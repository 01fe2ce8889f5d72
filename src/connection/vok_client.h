// VOKClient: one endpoint on the socket transport (a stream to address:port, or a multicast group
// joined on a local interface). It owns the transport handle, sends serialised VOKMessages, and
// turns the transport's handle-only callbacks into virtual calls on the right object through a
// process-wide map from handle to client. It can also run a client-level heartbeat on a timer.
//
// Threads: construction, Open, Send, Close, Detach, EnableHeartbeat and destruction run on the
// owner's threads; OnData, OnHeartbeatData, OnStatus and OnClosed run on the transport's reader
// thread of the handle; OnTimedEvent runs on a system timer thread. The client map has its own
// lock, held only to insert, remove and look up; no callback runs under it.
//
// Lifetime (the rules a derived class and an owner rely on):
// - A client is owned: created with new (or held by a unique_ptr) and destroyed with delete.
//   The reference count only tallies the holds of heartbeat timers (each timer event and each
//   timer call in flight holds one); Release never destroys the object.
// - The destructor does not return while a transport callback or a timer call for this client is
//   running on another thread: it closes the handle (the transport joins its reader), then waits
//   for any callback that was already dispatched (for example OnClosed after a peer close) and
//   for the timer holds to drain. A client may be destroyed from inside its own transport
//   callback (the wait then skips that call), but not from inside its own OnTimedEvent.
// - Close() does not return while a transport callback for this client runs on another thread
//   (even one dispatched before the handle went, such as OnClosed after a peer close). A derived
//   class whose callbacks use its own members must call Close() at the start of its destructor:
//   the base destructor runs after the derived members are gone. The owner must not hold a lock
//   that its callbacks take while it closes or destroys the client.
// - A constructor that opens at once can receive callbacks before a derived class's constructor
//   has run (they reach this class's do-nothing handlers); a derived class that must see every
//   callback constructs without opening and calls Open itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "connection/timed_event_listener.h"
#include "connection/tls_settings.h"
#include "message/wire_vocabulary.h"
#include "vokipc/vokipc.h"

class CTimerQueue;
class VOKMessage;

namespace vok::detail {
struct SClientDispatch;
}

class VOKClient : public ITimedEventListener {
 public:
  // Stream (or datagram) to address:port; opens at once when openNow is set.
  VOKClient(const char* address, int port, bool datagram, bool alternateOpen, bool openNow);
  // A text "address:port" (blanks around it are trimmed); always opens after parsing.
  VOKClient(const char* addressAndPort, bool datagram, bool alternateOpen);
  // Multicast group joined on a local interface; opens at once when openNow is set.
  VOKClient(const char* interfaceAddress, const char* groupAddress, int port, bool openNow);
  // Multicast with the group given as a text "group:port"; always opens after parsing.
  VOKClient(const char* interfaceAddress, const char* groupAndPort);

  VOKClient(const VOKClient&) = delete;
  VOKClient& operator=(const VOKClient&) = delete;

  // ITimedEventListener. A first user value of 1 is the client-level heartbeat tick.
  void OnTimedEvent(CTimerQueueEvent* event) override;
  long AddRef() override;
  long Release() override;

  virtual ~VOKClient();

  // Received message text (NUL-terminated, without the line feed). Nothing here.
  virtual void OnData(const char* text, int length);
  // Transport status notice; the two integers carry no meaning for this class. Nothing here.
  virtual void OnStatus(int code, int detail);
  // The transport reports the connection ended; the client is already detached. Nothing here.
  virtual void OnClosed();
  // Received text starting with "9|": a heartbeat acknowledgement while the client-level
  // heartbeat runs, otherwise passed on to OnData unchanged.
  virtual void OnHeartbeatData(const char* text, int length);
  // The complete lines of one read, in order; true when the override took them all. False here:
  // the transport then sends each line through the data callback (to OnHeartbeatData or OnData),
  // since those calls may close or even destroy the client. An override must do neither.
  virtual bool OnLines(const IPCLINE* lines, int count);

  // Opens a stream (or datagram endpoint when the client is a datagram one); false when the
  // transport could not open. The stream open blocks until the connection is made or has failed.
  bool Open(const char* address, int port, bool alternateOpen);
  // Stream opens from then on use TLS as these settings say (clear text when useTls is off).
  void SetTls(const STlsSettings& tls) { m_tls = tls; }
  bool OpenMulticast(const char* interfaceAddress, const char* groupAddress, int port);

  bool IsConnected();
  // Sends the message's line form when connected; nothing otherwise.
  void Send(const VOKMessage& message);
  // Closes the handle, detaches and waits for callbacks running on other threads; false when
  // there was no handle.
  bool Close();
  // Forgets the handle (without closing it) and removes the client from the client map.
  void Detach();
  // Interval 1..999 counts as seconds, anything else as milliseconds; see SendHeartbeat.
  void EnableHeartbeat(int interval);

  // The client registered under the handle, or nullptr. The pointer is only safe to use while
  // the caller knows the client cannot be destroyed (the transport's own callbacks are safe).
  static VOKClient* FromHandle(IPCHANDLE handle);

  const std::string& GetAddress() const { return m_address; }
  int GetPort() const { return m_port; }
  IPCHANDLE GetHandle() const { return m_handle.load(); }
  bool IsDatagram() const { return m_datagram; }
  bool IsAlternateOpen() const { return m_alternateOpen; }
  // Milliseconds between client-level heartbeats; 0 while off.
  int GetHeartbeatInterval() const { return m_heartbeatInterval.load(); }
  bool IsHeartbeatAcknowledged() const { return m_heartbeatAcknowledged.load(); }

 protected:
  // One heartbeat tick: sends '9' when the last one was acknowledged, otherwise closes.
  void SendHeartbeat();
  // A line for OnHeartbeatData rather than OnData: one starting "9|". The text ends with a NUL.
  static bool IsHeartbeatLine(const char* text) { return text[0] == vok::wire::kMsgHeartbeat && text[1] == '|'; }

 private:
  friend struct VOKClientCallbacks;

  // The data callback's choice for one line: OnHeartbeatData for text starting "9|", else OnData.
  void DeliverLine(const char* text, int length);
  void Init();
  bool ParseAddressAndPort(const char* text);
  bool Register(IPCHANDLE handle);
  void DropTimerQueue();
  void WaitForCallbacks();

  bool m_datagram = false;
  bool m_alternateOpen = false;
  STlsSettings m_tls;  // owner's threads, like Open
  std::atomic<bool> m_open{false};
  std::atomic<bool> m_heartbeatAcknowledged{true};
  std::atomic<IPCHANDLE> m_handle{0};
  std::string m_address;
  int m_port = 0;
  std::atomic<int> m_heartbeatInterval{0};
  std::atomic<long> m_refs{0};
  std::unique_ptr<CTimerQueue> m_timerQueue;
  // Shared with the client map entry so the dispatcher can count calls in progress even while
  // the client itself is being destroyed.
  std::shared_ptr<vok::detail::SClientDispatch> m_dispatch;
};

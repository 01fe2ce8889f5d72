// CQuoteClient: the one connection to the quote server. It sends the logon as soon as the stream
// is open, keeps the connection state, posts every received message (and its own connection
// events, as internal '0' messages) to the dispatching thread, and checks the server's liveness
// on each heartbeat tick. At most one client is alive: the current client, guarded by the
// module-wide recursive client lock (Lock()).
//
// Threads: the connection worker constructs (CreateClients); transport threads call OnData and
// OnClosed, which only parse and post; the dispatching thread runs CheckCurrentHeartbeat and
// DeleteCurrent. Clients are created and destroyed only with the client lock held. Lock order:
// the service object's lock, then the client lock, then a handler's lock; the client lock is never
// held while waiting for the service object's lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "connection/quote_message_sink.h"
#include "connection/vok_client.h"
#include "platform/critical_section.h"
#include "records/vokquote.h"

// Where and as whom to connect; copied from the service object before the client lock is taken.
struct SQuoteClientSettings {
  std::string address;
  int port = 0;
  std::string userName;
  std::string password;  // the transformed form sent in the logon
};

class CQuoteClient final : public VOKClient {
 public:
  // Field ids and event codes of the internal connection-event message (type '0').
  static constexpr int kFidClientId = 9976;
  static constexpr int kFidEventCode = 9992;
  static constexpr int kEventConnected = 9978;
  static constexpr int kEventDisconnected = 9977;
  static constexpr int kEventConnectFailed = 9966;

  // Opens at once; when the stream is open, posts the connected event, sends the logon and is
  // csLoggingIn. When the open failed, CreateClients posts the connect-failed event.
  CQuoteClient(const SQuoteClientSettings& settings, IQuoteMessageSink* sink);
  ~CQuoteClient() override;

  void OnData(const char* text, int length) override;
  void OnClosed() override;

  // One heartbeat tick: sends '9' if anything arrived since the last tick, else posts a
  // disconnection and returns false.
  bool CheckHeartbeat();

  // A 32-bit identity never reused within the process, carried in field 9976.
  std::uint32_t Identity() const { return m_identity; }
  enumConnectionState State() const { return m_state.load(); }
  void SetState(enumConnectionState state) { m_state.store(state); }
  // Open and logged in (or connected): a Connect request keeps such a client.
  bool IsHealthy();

  static vok::CCriticalSection& Lock();
  // With Lock() held: the current client, or null; its identity, or 0.
  static CQuoteClient* Current();
  static std::uint32_t CurrentIdentity();

  // The body of the connection worker: with the client lock held, creates the current client
  // unless one exists and posts its connected or connect-failed event. Returns 0.
  static int CreateClients(const SQuoteClientSettings& settings, IQuoteMessageSink* sink);
  // The heartbeat tick of the dispatching thread: checks the current client if it is open.
  static bool CheckCurrentHeartbeat();
  // Destroys the current client (closing its connection) under the client lock.
  static void DeleteCurrent();

 private:
  void PostEvent(int eventCode);

  IQuoteMessageSink* const m_sink;
  const std::uint32_t m_identity;
  std::atomic<enumConnectionState> m_state{csDisconnected};
  std::atomic<bool> m_heartbeatReceived{true};
  bool m_opened = false;  // the open at construction succeeded
};

// CQuoteClient: the one connection to the quote server. The connection worker opens its stream
// without any lock, installs it as the current client, posts its connected event and only then
// sends the logon; the client keeps the connection state, posts every message the server may
// send (and its own connection events, as internal '0' messages) to the dispatching thread, and
// checks the server's liveness on each heartbeat tick. At most one client is current, guarded by
// the module-wide recursive client lock (Lock()).
//
// Threads: the connection worker constructs, opens and installs (CreateClients); transport threads
// call OnData and OnClosed, which only parse and post (and may wait for room in the sink's queue,
// holding no lock); the dispatching thread runs CheckCurrentHeartbeat and DeleteCurrent; any
// thread starts or cancels attempts. Clients become current and are destroyed only with the client
// lock held. Lock order: the service object's lock, then the client lock, then a handler's lock;
// the client lock is never held while waiting for the service object's lock, nor during an open.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "connection/feed_counters.h"
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
  // Not open yet: the connection worker opens it (OpenStream) outside the client lock.
  CQuoteClient(const SQuoteClientSettings& settings, IQuoteMessageSink* sink);
  ~CQuoteClient() override;

  void OnData(const char* text, int length) override;
  // The lines of one read: each handled as OnData does, then queued together.
  bool OnLines(const IPCLINE* lines, int count) override;
  void OnClosed() override;

  // One heartbeat tick: sends '9' if anything arrived since the last tick (or the reader is waiting
  // for room in the queue, which is the server outrunning us, not a dead server), else posts a
  // disconnection and returns false.
  bool CheckHeartbeat();

  // A 32-bit identity never reused within the process, carried in field 9976.
  std::uint32_t Identity() const { return m_identity; }
  enumConnectionState State() const { return m_state.load(); }
  void SetState(enumConnectionState state) { m_state.store(state); }
  // Open and logged in (or connected): a Connect request keeps such a client.
  bool IsHealthy();

  // Whether the server may send a message of this type; anything else (the internal '0' above
  // all) is dropped on receipt.
  static bool IsServerMessageType(int type);

  static vok::CCriticalSection& Lock();
  // With Lock() held: the current client, or null; its identity, or 0; the state ConnectionState
  // reports (the current client's, csConnecting while a wanted attempt runs, else csDisconnected).
  static CQuoteClient* Current();
  static std::uint32_t CurrentIdentity();
  static enumConnectionState CurrentState();

  // Connection attempts, with Lock() held. StartAttempt makes a new attempt the wanted one and
  // returns its number for CreateClients; CancelAttempts makes every running attempt unwanted (a
  // Disconnect or a release); AttemptUnderWay tells whether the wanted attempt still runs.
  static std::uint64_t StartAttempt();
  static void CancelAttempts();
  static bool AttemptUnderWay();
  // Marks attempt `attempt` as over (its worker could not start, or finished).
  static void EndAttempt(std::uint64_t attempt);

  // The body of the connection worker for attempt `attempt`: unless a client is current or the
  // attempt is no longer wanted, opens a new client with no lock held, then under the client lock
  // installs it as current and posts its connected event and sends the logon (or posts its
  // connect-failed event with the open's error); a client whose attempt was overtaken meanwhile
  // is closed and dropped. Returns 0.
  static int CreateClients(const SQuoteClientSettings& settings, IQuoteMessageSink* sink, std::uint64_t attempt);
  // The heartbeat tick of the dispatching thread: checks the current client if it is open.
  static bool CheckCurrentHeartbeat();
  // Destroys the current client (closing its connection) under the client lock.
  static void DeleteCurrent();

 private:
  void PostEvent(int eventCode, int errorCode = 0);
  // One received text, recorded, parsed and counted; the message to queue, or null when it is
  // dropped or needs no dispatch (a heartbeat).
  std::unique_ptr<VOKMessage> Receive(const char* text, int length, vok::CFeedTally& tally);
  // With the client lock held: posts the connected event (and a disconnection that came before
  // it), then sends the logon.
  void Install(const SQuoteClientSettings& settings);

  IQuoteMessageSink* const m_sink;
  const std::uint32_t m_identity;
  std::atomic<enumConnectionState> m_state{csDisconnected};
  std::atomic<bool> m_heartbeatReceived{true};
  std::atomic<bool> m_readerWaiting{false};   // the reader waits for room in the sink's queue
  std::atomic<bool> m_closing{false};         // set first by the destructor: ends that wait
  std::atomic<bool> m_noticeReceived{false};  // the server said the user logged in elsewhere
  std::atomic<bool> m_heartbeatLost{false};   // a heartbeat tick found nothing received
  bool m_droppingTypes = false;               // reader thread only: within a burst of dropped lines
  // Reader thread only: the messages of the read being handled, kept to reuse its storage.
  std::vector<IQuoteMessageSink::SReceived> m_received;
  // Orders the connected event before a disconnection seen while the client was not yet current.
  std::mutex m_eventLock;
  bool m_installed = false;    // guarded by m_eventLock
  bool m_closedEarly = false;  // guarded by m_eventLock
};

// CConnectionLifecycle: the service object's connection to the quote server. Connect starts a
// worker that builds the quote client, Disconnect drops it; the pump hands it the logon reply, the
// transport's connection events and the server's notices, and the heartbeat and reconnect timers'
// work. It keeps the state these need (server name, permissions, Disconnect count, the "logged in
// elsewhere" mark, the last worker) and tells its owner what happened through IConnectionEvents.
//
// Threads: Connect and Disconnect run on any client thread (and Connect on the pump, for the
// reconnect timer); OnConnectionMessage and the timers on the pump thread; the worker on its own.
// Locks follow the order stated in service/vok_quotes.h; m_workerLock is held only briefly, is
// taken before the client lock, and nothing waits for a worker under it. Events are never fired
// with the client lock held.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/com.h"
#include "platform/critical_section.h"
#include "platform/thread_handle.h"
#include "records/vokquote.h"

class CHandlerSet;
class VOKMessage;
struct SQuoteClientSettings;

// What the lifecycle needs of its owner: the settings to connect with and the events to fire.
class IConnectionEvents {
 public:
  // Address, port and logon, copied under the owner's object lock (never with the client lock held).
  virtual void ReadConnectionSettings(SQuoteClientSettings& settings) = 0;
  virtual void FireConnect(LONG code) = 0;
  virtual void FireClose(LONG code) = 0;
  virtual void FireLogonSucceed() = 0;

 protected:
  ~IConnectionEvents() = default;
};

class CConnectionLifecycle final {
 public:
  // The WSAEWOULDBLOCK result of Connect: a connection attempt is under way.
  static constexpr LONG kConnectPending = 10035;
  // OnConnect's code for a failed connect whose reason the transport could not tell.
  static constexpr LONG kConnectErrorUnknown = -1;

  // `handlers` are resubscribed at each logon.
  CConnectionLifecycle(IConnectionEvents& events, CHandlerSet& handlers);
  CConnectionLifecycle(const CConnectionLifecycle&) = delete;
  CConnectionLifecycle& operator=(const CConnectionLifecycle&) = delete;

  // Replaces an unhealthy client and starts a worker unless a wanted attempt runs; a Connect that
  // finds another one starting reports 1 when the current client is usable.
  HRESULT Connect(LONG* result);
  // Cancels attempts and the reconnect timer, drops the current client and fires OnClose(0).
  HRESULT Disconnect();
  enumConnectionState State() const;
  // The client lock (CQuoteClient's): the current client and its state.
  static vok::CCriticalSection& ClientLock();
  // Both with the client lock held: whether a current client is logged in, and sending on it (the
  // result is not checked).
  bool LoggedIn() const;
  void Send(const VOKMessage& message);
  std::string ServerName() const;
  std::uint64_t QuotePermissions() const { return m_quotePermissions.load(); }

  // The logon reply, a connection event or a disconnect notice, on the pump thread.
  void OnConnectionMessage(const VOKMessage& message);
  void OnHeartbeatTimer();
  void OnReconnectTimer();

  // Release: the timers stop; a worker still opening is let go (Disconnect makes it unwanted).
  void CancelTimers();
  // Joins the previous connection worker if it has ended, else lets it go; never waits.
  void ReapWorker();
  // Traces and fires OnClose(errcode).
  void SocketOnClose(LONG errcode);

  // The delay before a reconnect after a drop: the base plus 0 to 4 random steps.
  static std::uint32_t ReconnectDelayMs();
  // For tests and diagnostics: connection workers started so far, and still running.
  static std::uint32_t WorkersStarted();
  static std::uint32_t WorkersRunning();

 private:
  void StartConnection();
  // Starts the connection worker of attempt `attempt` (the previous one reaped first).
  void StartWorker(SQuoteClientSettings settings, std::uint64_t attempt);
  void OnLogonReply(const VOKMessage& message);
  void OnConnectionEvent(const VOKMessage& message);
  void OnDisconnectNotice(const VOKMessage& message);
  // The connection worker's body: builds the current client from a copy of the settings. Touches
  // nothing of the lifecycle, so a worker left running after the wait is harmless.
  static int CreateClientsRun(const SQuoteClientSettings& settings, std::uint32_t worker, std::uint64_t attempt);

  IConnectionEvents& m_events;
  CHandlerSet& m_handlers;
  std::string m_serverName;         // guarded by the client lock
  std::uint32_t m_disconnects = 0;  // guarded by the client lock; counts Disconnect requests
  std::atomic<LONG> m_connectBusy{0};
  std::atomic<LONG> m_loggedInElsewhere{0};  // pump thread
  std::atomic<std::uint64_t> m_quotePermissions{0};
  // The last connection worker started, guarded by m_workerLock.
  vok::CCriticalSection m_workerLock;
  std::unique_ptr<vok::CThreadHandle> m_connectWorker;
};

// CVokQuoteApp: the library's application object. It owns the queue of decoded server messages,
// the pump thread "-Q-" that hands them one by one, in arrival order, to the current service
// object, and the heartbeat and reconnect timers that thread also waits on. One instance per
// process, reached through vok::App(); the library's load and unload call InitInstance/ExitInstance.
//
// Threads and locks: QueueMessage runs on transport threads and the connection worker, the pump
// on its own thread. m_queueLock guards m_queue and is held only for one list operation (the pump
// takes up to a whole batch in one); m_threadLock guards m_pump (start and stop); m_currentLock
// guards changes of m_current and is a leaf: only TryAddRef runs under it. Order: m_threadLock, then
// m_queueLock. The pump wakes through m_messageEvent only when it said it would wait (m_pumpIdle):
// while it works, producers append without a system call.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "connection/quote_message_sink.h"
#include "platform/critical_section.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "platform/thread_handle.h"
#include "vokcommon/waitable_timer.h"

class VOKMessage;

// What the pump thread drives: the current service object.
class IQueueConsumer {
 public:
  // Takes a reference unless the last one is already gone (the object is being released).
  virtual bool TryAddRef() = 0;
  virtual void ReleaseRef() = 0;
  // One dequeued message; the pump keeps ownership and destroys it afterwards.
  virtual void ProcessMessage(const VOKMessage& message) = 0;
  virtual void OnHeartbeatTimer() = 0;
  virtual void OnReconnectTimer() = 0;

 protected:
  ~IQueueConsumer() = default;
};

class CVokQuoteApp final : public IQuoteMessageSink {
 public:
  // Messages handled per wake-up of the pump before the timers and the stop event get a turn.
  static constexpr int kBatchLimit = 501;

  CVokQuoteApp();
  ~CVokQuoteApp();
  CVokQuoteApp(const CVokQuoteApp&) = delete;
  CVokQuoteApp& operator=(const CVokQuoteApp&) = delete;

  void InitInstance();
  int ExitInstance();

  // Starts the pump thread unless one runs; stops it (waiting while dispatching the caller's
  // messages, or, called on the pump thread itself, letting it end after the current dispatch)
  // and empties the queue. Calls pair up: the pump stops at the End that matches the first Begin.
  void BeginProcessMessages();
  void EndProcessMessages();

  // Appends for the pump thread; without a current service object the message is destroyed.
  void QueueMessage(std::unique_ptr<VOKMessage> message) override;
  void ClearQueue();
  std::size_t QueuedCount();

  // The object that receives server traffic; null clears it. The last one set wins.
  void SetCurrent(IQueueConsumer* consumer);
  // Clears the current object only if it still is `consumer`.
  void ClearCurrent(IQueueConsumer* consumer);
  bool IsCurrent(IQueueConsumer* consumer);

  CWaitableTimer& HeartbeatTimer() { return m_heartbeatTimer; }
  CWaitableTimer& ReconnectTimer() { return m_reconnectTimer; }

  bool HasPumpThread();
  vok::ThreadId PumpThreadId();
  // Wake-ups of the pump that dispatched at least one message: lets tests see batching.
  std::uint64_t DispatchWakeups() const { return m_dispatchWakeups.load(); }
  std::uint64_t HeartbeatTicks() const { return m_heartbeatTicks.load(); }
  // Messages taken from the queue by the pump so far (counted per wake-up).
  std::uint64_t DispatchedMessages() const { return m_dispatchedMessages.load(std::memory_order_relaxed); }

 private:
  struct CPumpControl;
  struct CPump;

  // A new reference on the current object, or null.
  IQueueConsumer* AcquireCurrent();
  void PumpLoop(CPumpControl& control);
  // Whether the queue is empty, after telling producers that the pump is about to wait.
  bool IdleIfEmpty();
  // Handles up to kBatchLimit messages, then lets the timers and the stop event have a turn.
  void DispatchBatch(CPumpControl& control);

  vok::CCriticalSection m_queueLock;
  vok::CCriticalSection m_threadLock;
  vok::CCriticalSection m_currentLock;
  std::deque<std::unique_ptr<VOKMessage>> m_queue;  // guarded by m_queueLock
  vok::CEvent m_messageEvent{vok::EventReset::Auto};
  std::atomic<bool> m_pumpIdle{true};                // set by the pump before it waits
  // Bumped whenever m_current changes, so the pump sees a change without taking m_currentLock.
  std::atomic<std::uint64_t> m_currentVersion{0};
  std::vector<std::unique_ptr<VOKMessage>> m_batch;  // pump thread only: the messages taken
  CWaitableTimer m_heartbeatTimer;
  CWaitableTimer m_reconnectTimer;
  std::unique_ptr<CPump> m_pump;         // guarded by m_threadLock
  int m_pumpUsers = 0;                   // guarded by m_threadLock
  // Written under m_currentLock; read without it only to see whether there is one.
  std::atomic<IQueueConsumer*> m_current{nullptr};
  std::atomic<std::uint64_t> m_dispatchWakeups{0};
  std::atomic<std::uint64_t> m_heartbeatTicks{0};
  std::atomic<std::uint64_t> m_dispatchedMessages{0};
};

namespace vok {
CVokQuoteApp& App();
}  // namespace vok

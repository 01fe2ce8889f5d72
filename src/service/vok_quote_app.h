// CVokQuoteApp: the library's application object. It owns the queue of decoded server messages,
// the pump thread "-Q-" that hands them one by one, in arrival order, to the current service
// object (data messages straight to its handler set, the connection's own messages to it), and
// the heartbeat and reconnect timers that thread also waits on. One instance per process, reached
// through vok::App(); the library's load and unload call InitInstance/ExitInstance.
//
// Threads and locks: QueueMessage runs on transport threads, the connection worker and the pump,
// QueueReceived and QueueReceivedBatch on transport reader threads, the pump on its own thread. m_queueLock guards
// m_queue and its byte count and is held only for one list operation (the pump takes up to a whole batch in one, a
// reader appends the messages of one read that fit in one); m_threadLock guards m_pump (start and stop), and is never
// held while waiting for a pump to end, since the pump may itself be releasing the last service object; m_currentLock
// guards changes of m_current and is a leaf: only TryAddRef runs under it; m_roomLock only pairs the waits for room
// with their wake-ups and is a leaf. Order: m_threadLock, then m_queueLock. The pump wakes through m_messageEvent only
// when it said it would wait (m_pumpIdle): while it works, producers append without a system call.
//
// The queue is bounded (kMaxQueuedMessages, kMaxQueuedBytes of received text). Received messages
// wait for room rather than being dropped: the reader thread stops, stops reading its socket, and
// TCP makes the server wait. The component's own events never wait (the pump posts some itself)
// and may pass the bound; they are few.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "connection/quote_message_sink.h"
#include "handlers/handler_set.h"
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
  // A dequeued logon reply, connection event or notice; the pump keeps ownership of the message.
  virtual void OnConnectionMessage(const VOKMessage& message) = 0;
  // Where the pump hands every other (data) message.
  virtual IDataDispatch& DataDispatch() = 0;
  virtual void OnHeartbeatTimer() = 0;
  virtual void OnReconnectTimer() = 0;

 protected:
  ~IQueueConsumer() = default;
};

class CVokQuoteApp final : public IQuoteMessageSink {
 public:
  // Messages handled per wake-up of the pump before the timers and the stop event get a turn.
  static constexpr int kBatchLimit = 501;
  // The queue's bound: some 16 ms of work for the pump at a million updates a second, and at most
  // a few tens of megabytes of parsed messages.
  static constexpr std::size_t kMaxQueuedMessages = 16384;
  static constexpr std::size_t kMaxQueuedBytes = 4u << 20;

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
  // QueueMessage never waits; QueueReceived waits while the queue is full (IQuoteMessageSink).
  void QueueMessage(std::unique_ptr<VOKMessage> message) override;
  bool QueueReceived(std::unique_ptr<VOKMessage> message, std::size_t bytes, const std::atomic<bool>& abandon) override;
  // One lock per run of messages that fits, and one wake-up of the pump per run.
  bool QueueReceivedBatch(std::vector<SReceived>& messages, const std::atomic<bool>& abandon) override;
  void ReleaseWaiters() override;
  void ClearQueue();
  std::size_t QueuedCount();
  // The most messages ever waiting in the queue at once.
  std::size_t QueueHighWater() const { return m_queueHighWater.load(std::memory_order_relaxed); }
  // Producers inside QueueReceived's wait for room.
  int WaitingProducers() const { return m_waiters.load(); }

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
  void StartPump();
  void PumpLoop(CPumpControl& control);
  // Whether the queue is empty, after telling producers that the pump is about to wait.
  bool IdleIfEmpty();
  // Appends (under m_queueLock) when there is room or `force`; false when full.
  bool Append(std::unique_ptr<VOKMessage>& message, std::size_t bytes, bool force);
  // Appends messages[next...] while they fit, under one hold of m_queueLock; returns the index of
  // the first one left out (messages.size() when all went in).
  std::size_t AppendRun(std::vector<SReceived>& messages, std::size_t next);
  // Waits until a message of `bytes` may fit; false when the wait was given up instead (abandon,
  // the pump stopped since `epoch`, or the library unloads).
  bool WaitForRoom(std::size_t bytes, std::uint64_t epoch, const std::atomic<bool>& abandon);
  // Whether a message of `bytes` fits now (an empty queue takes any size).
  bool HasRoom(std::size_t bytes) const;
  // After messages left the queue: wakes the producers waiting for room.
  void MadeRoom();
  // Ends every wait for room at once (the pump stopped, or the library unloads).
  void EndWaits();
  // One message to the consumer: the connection's own to it, data to its dispatch.
  static void Deliver(IQueueConsumer& consumer, const VOKMessage& message);
  // Handles up to kBatchLimit messages, then lets the timers and the stop event have a turn.
  void DispatchBatch(CPumpControl& control);

  vok::CCriticalSection m_queueLock;
  vok::CCriticalSection m_threadLock;
  vok::CCriticalSection m_currentLock;
  // Each message with the bytes it counts for; guarded by m_queueLock.
  std::deque<std::pair<std::unique_ptr<VOKMessage>, std::size_t>> m_queue;
  // Copies of the queue's length and bytes, written under m_queueLock, read by waits for room.
  std::atomic<std::size_t> m_queuedCount{0};
  std::atomic<std::size_t> m_queuedBytes{0};
  std::atomic<std::size_t> m_queueHighWater{0};  // written under m_queueLock
  // Waits for room. m_waiters counts producers inside the wait, so the pump takes m_roomLock only
  // when one may be there; m_waitEpoch changes whenever a wait must end without room (the pump
  // stopped, unload), so a waiter sees it even if a new pump has started since.
  std::mutex m_roomLock;
  std::condition_variable m_room;
  std::atomic<int> m_waiters{0};
  std::atomic<std::uint64_t> m_waitEpoch{0};
  std::atomic<bool> m_unloading{false};
  vok::CEvent m_messageEvent{vok::EventReset::Auto};
  std::atomic<bool> m_pumpIdle{true};  // set by the pump before it waits
  // Bumped whenever m_current changes, so the pump sees a change without taking m_currentLock.
  std::atomic<std::uint64_t> m_currentVersion{0};
  std::vector<std::unique_ptr<VOKMessage>> m_batch;  // pump thread only: the messages taken
  CWaitableTimer m_heartbeatTimer;
  CWaitableTimer m_reconnectTimer;
  std::unique_ptr<CPump> m_pump;  // guarded by m_threadLock
  int m_pumpUsers = 0;            // guarded by m_threadLock
  // A pump being stopped by a thread that waits for it outside m_threadLock; guarded by it.
  std::shared_ptr<CPumpControl> m_ending;
  // Written under m_currentLock; read without it only to see whether there is one.
  std::atomic<IQueueConsumer*> m_current{nullptr};
  std::atomic<std::uint64_t> m_dispatchWakeups{0};
  std::atomic<std::uint64_t> m_heartbeatTicks{0};
  std::atomic<std::uint64_t> m_dispatchedMessages{0};
};

namespace vok {
CVokQuoteApp& App();
}  // namespace vok

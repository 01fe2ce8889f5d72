// CVokQuoteApp: the message queue, the pump thread "-Q-" with its four-handle wait, the heartbeat
// and reconnect timers, and the library's start and exit hooks.
#include "service/vok_quote_app.h"

#include "handlers/thread_queue.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "platform/interface_table.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "platform/wait_with_message_loop.h"
#include "service/connection_times.h"
#include "vkdll/vkdll.h"

// What the pump thread and its stopper share; outlives the thread object when the pump stops
// itself (its thread is then detached and ends on its own).
struct CVokQuoteApp::CPumpControl {
  vok::CEvent stop{vok::EventReset::Auto};
  std::atomic<bool> stopping{false};
  // Set by the pump thread once it dispatches nothing more.
  vok::CEvent ended{vok::EventReset::Manual};
  vok::ThreadId thread = 0;
};

struct CVokQuoteApp::CPump {
  vok::CThreadHandle thread;
  std::shared_ptr<CPumpControl> control = std::make_shared<CPumpControl>();
};

CVokQuoteApp::CVokQuoteApp() {
  // Both timers exist for the life of the process, so any thread may arm or cancel them whether
  // or not a pump thread runs.
  m_heartbeatTimer.Create();
  m_reconnectTimer.Create();
  VOK_Startup();
}

CVokQuoteApp::~CVokQuoteApp() {
  EndProcessMessages();
  ClearQueue();
}

void CVokQuoteApp::InitInstance() { VOKTRACE_Write(VOKTRACE_INFO, "CVokComApp::InitInstance"); }

int CVokQuoteApp::ExitInstance() {
  VOKTRACE_Printf(VOKTRACE_INFO, "CVokQuoteApp::ExitInstance tid=%x", vok::CurrentThreadId());
  m_unloading.store(true);
  EndWaits();
  VOK_Shutdown();
  // Never wait for the pump while holding the queue lock: the ending pump empties the queue.
  EndProcessMessages();
  vok::CCriticalSectionLock lock(m_queueLock);
  ClearQueue();
  return 0;
}

void CVokQuoteApp::BeginProcessMessages() {
  for (;;) {
    std::shared_ptr<CPumpControl> ending;
    {
      vok::CCriticalSectionLock lock(m_threadLock);
      // A pump that is still ending must be gone before another starts: one thread handles the
      // messages, in order. (Unless this is that pump itself, creating an object in a callback.)
      if (m_ending && m_ending->thread != vok::CurrentThreadId() &&
          vok::WaitForOne(m_ending->ended.Handle(), 0) != vok::kWaitObject0) {
        ending = m_ending;
      } else {
        StartPump();
        return;
      }
    }
    vok::WaitWithMessageLoop(ending->ended.Handle(), vok::kInfinite);
  }
}

// With m_threadLock held.
void CVokQuoteApp::StartPump() {
  // Service objects that overlap share the one pump; the last one to go stops it.
  ++m_pumpUsers;
  if (m_pump) return;
  auto pump = std::make_unique<CPump>();
  std::shared_ptr<CPumpControl> control = pump->control;
  const bool started = pump->thread.Start([this, control] {
    vok::SetCurrentThreadName("vokquote-pump");
    {
      vok::CComApartment apartment(vok::CComApartment::kMultiThreaded);
      PumpLoop(*control);
      ClearQueue();
    }
    control->ended.Set();
  });
  if (!started) {
    VOKTRACE_Write(VOKTRACE_FAILURE, "CVokQuoteApp::BeginProcessMessages: cannot start the queue thread");
    return;
  }
  control->thread = pump->thread.Id();
  VOKTRACE_Printf(VOKTRACE_INFO, "CVokQuoteApp::BeginProcessMessages: queue created in tid 0x%x", pump->thread.Id());
  m_pump = std::move(pump);
}

void CVokQuoteApp::EndProcessMessages() {
  VOKTRACE_Write(VOKTRACE_INFO, "CVokQuoteApp::EndProcessMessages");
  std::unique_ptr<CPump> stopping;
  {
    vok::CCriticalSectionLock lock(m_threadLock);
    if (m_pumpUsers > 1) {
      --m_pumpUsers;
      return;
    }
    m_pumpUsers = 0;
    // Nothing drains the queue any more: a reader waiting for room gives up its message. Ended
    // before the queue is emptied, so the room that makes cannot let a waiter in.
    EndWaits();
    if (m_pump) {
      VOKTRACE_Write(VOKTRACE_INFO, "-Q- Set queue thread deletion event...");
      const bool fromPump = m_pump->thread.Id() == vok::CurrentThreadId();
      if (!fromPump) VOKTRACE_Write(VOKTRACE_INFO, "-Q- Waiting for queue thread end...");
      m_pump->control->stopping.store(true);
      m_pump->control->stop.Set();
      if (!fromPump) {
        m_ending = m_pump->control;
        stopping = std::move(m_pump);
      } else {
        // The last release of the service object happened inside a dispatch: the pump ends by
        // itself once that dispatch returns.
        m_pump->thread.Detach();
        m_pump.reset();
      }
    }
  }
  if (stopping) {
    // Waited for without the thread lock: the pump may be releasing the last service object at
    // this moment (unload while a dispatch holds it), and that release stops the pump too.
    // Keep the caller's own messages flowing: a single-threaded caller may be servicing calls
    // the pump makes into its apartment while it finishes.
    vok::WaitWithMessageLoop(stopping->thread.EndHandle(), vok::kInfinite);
    VOKTRACE_Write(VOKTRACE_INFO, "-Q- Queue thread destroyed.");
    stopping->thread.Join();
    vok::CCriticalSectionLock lock(m_threadLock);
    if (m_ending == stopping->control) m_ending.reset();
  }
  ClearQueue();
}

void CVokQuoteApp::QueueMessage(std::unique_ptr<VOKMessage> message) {
  if (m_current.load(std::memory_order_seq_cst) == nullptr) return;
  Append(message, 0, true);
}

bool CVokQuoteApp::QueueReceived(std::unique_ptr<VOKMessage> message, std::size_t bytes,
                                 const std::atomic<bool>& abandon) {
  const std::uint64_t epoch = m_waitEpoch.load(std::memory_order_seq_cst);
  for (;;) {
    if (m_current.load(std::memory_order_seq_cst) == nullptr) return false;
    if (Append(message, bytes, false)) return true;
    if (!WaitForRoom(bytes, epoch, abandon)) return false;
  }
}

bool CVokQuoteApp::QueueReceivedBatch(std::vector<SReceived>& messages, const std::atomic<bool>& abandon) {
  const std::uint64_t epoch = m_waitEpoch.load(std::memory_order_seq_cst);
  std::size_t next = 0;
  bool queued = true;
  while (next < messages.size()) {
    if (m_current.load(std::memory_order_seq_cst) == nullptr) {
      queued = false;
      break;
    }
    next = AppendRun(messages, next);
    if (next < messages.size() && !WaitForRoom(messages[next].bytes, epoch, abandon)) {
      queued = false;
      break;
    }
  }
  // What could not be queued goes with its batch.
  messages.clear();
  return queued;
}

bool CVokQuoteApp::WaitForRoom(std::size_t bytes, std::uint64_t epoch, const std::atomic<bool>& abandon) {
  // Full: wait, holding no lock the pump or a closing thread needs. The reader that called this
  // stops reading its socket meanwhile, which holds the server back.
  std::unique_lock<std::mutex> lock(m_roomLock);
  m_waiters.fetch_add(1, std::memory_order_seq_cst);
  m_room.wait(lock, [&] {
    return abandon.load() || m_waitEpoch.load(std::memory_order_seq_cst) != epoch || m_unloading.load() ||
           HasRoom(bytes);
  });
  m_waiters.fetch_sub(1, std::memory_order_seq_cst);
  return !(abandon.load() || m_waitEpoch.load(std::memory_order_seq_cst) != epoch || m_unloading.load());
}

bool CVokQuoteApp::HasRoom(std::size_t bytes) const {
  const std::size_t count = m_queuedCount.load(std::memory_order_seq_cst);
  return count == 0 ||
         (count < kMaxQueuedMessages && m_queuedBytes.load(std::memory_order_seq_cst) + bytes <= kMaxQueuedBytes);
}

bool CVokQuoteApp::Append(std::unique_ptr<VOKMessage>& message, std::size_t bytes, bool force) {
  {
    vok::CCriticalSectionLock lock(m_queueLock);
    if (!force && !HasRoom(bytes)) return false;
    m_queue.emplace_back(std::move(message), bytes);
    // Relaxed: an append only shrinks the room, and a waiter for room is woken by the pump, whose
    // stores when it takes messages out are the ordered ones.
    m_queuedCount.store(m_queue.size(), std::memory_order_relaxed);
    if (m_queue.size() > m_queueHighWater.load(std::memory_order_relaxed))
      m_queueHighWater.store(m_queue.size(), std::memory_order_relaxed);
    m_queuedBytes.store(m_queuedBytes.load(std::memory_order_relaxed) + bytes, std::memory_order_relaxed);
  }
  // A working pump finds the message when it next looks at the queue; only a pump that said it
  // waits needs the event (a system call), and only the first producer to see that sets it.
  if (m_pumpIdle.load(std::memory_order_seq_cst) && m_pumpIdle.exchange(false, std::memory_order_seq_cst)) {
    m_messageEvent.Set();
  }
  return true;
}

std::size_t CVokQuoteApp::AppendRun(std::vector<SReceived>& messages, std::size_t next) {
  {
    vok::CCriticalSectionLock lock(m_queueLock);
    for (; next < messages.size() && HasRoom(messages[next].bytes); ++next) {
      m_queue.emplace_back(std::move(messages[next].message), messages[next].bytes);
      // Relaxed, as in Append; HasRoom reads them for the next message of the run.
      m_queuedCount.store(m_queue.size(), std::memory_order_relaxed);
      m_queuedBytes.store(m_queuedBytes.load(std::memory_order_relaxed) + messages[next].bytes,
                          std::memory_order_relaxed);
    }
    // The queue only grew during the run, so its length now is the run's highest.
    if (m_queue.size() > m_queueHighWater.load(std::memory_order_relaxed))
      m_queueHighWater.store(m_queue.size(), std::memory_order_relaxed);
  }
  if (m_pumpIdle.load(std::memory_order_seq_cst) && m_pumpIdle.exchange(false, std::memory_order_seq_cst)) {
    m_messageEvent.Set();
  }
  return next;
}

void CVokQuoteApp::MadeRoom() {
  // A waiter counts itself before it looks at the room, so either it sees the room made or the
  // pump sees it waiting and wakes it (under m_roomLock, so never before it waits).
  if (m_waiters.load(std::memory_order_seq_cst) == 0) return;
  std::lock_guard<std::mutex> lock(m_roomLock);
  m_room.notify_all();
}

void CVokQuoteApp::ReleaseWaiters() {
  std::lock_guard<std::mutex> lock(m_roomLock);
  m_room.notify_all();
}

void CVokQuoteApp::EndWaits() {
  std::lock_guard<std::mutex> lock(m_roomLock);
  m_waitEpoch.fetch_add(1, std::memory_order_seq_cst);
  m_room.notify_all();
}

void CVokQuoteApp::ClearQueue() {
  std::deque<std::pair<std::unique_ptr<VOKMessage>, std::size_t>> doomed;
  {
    vok::CCriticalSectionLock lock(m_queueLock);
    m_messageEvent.Reset();
    doomed.swap(m_queue);
    m_queuedCount.store(0, std::memory_order_seq_cst);
    m_queuedBytes.store(0, std::memory_order_seq_cst);
  }
  MadeRoom();
}

std::size_t CVokQuoteApp::QueuedCount() {
  vok::CCriticalSectionLock lock(m_queueLock);
  return m_queue.size();
}

void CVokQuoteApp::SetCurrent(IQueueConsumer* consumer) {
  {
    vok::CCriticalSectionLock lock(m_currentLock);
    m_current.store(consumer, std::memory_order_seq_cst);
    m_currentVersion.fetch_add(1, std::memory_order_seq_cst);
  }
  // Messages left waiting while there was no object get their wake-up now.
  if (consumer != nullptr && QueuedCount() != 0 && m_pumpIdle.exchange(false, std::memory_order_seq_cst)) {
    m_messageEvent.Set();
  }
}

void CVokQuoteApp::ClearCurrent(IQueueConsumer* consumer) {
  vok::CCriticalSectionLock lock(m_currentLock);
  if (m_current.load(std::memory_order_relaxed) != consumer) return;
  m_current.store(nullptr, std::memory_order_seq_cst);
  m_currentVersion.fetch_add(1, std::memory_order_seq_cst);
}

bool CVokQuoteApp::IsCurrent(IQueueConsumer* consumer) {
  vok::CCriticalSectionLock lock(m_currentLock);
  return m_current.load(std::memory_order_relaxed) == consumer;
}

bool CVokQuoteApp::HasPumpThread() {
  vok::CCriticalSectionLock lock(m_threadLock);
  return m_pump != nullptr;
}

vok::ThreadId CVokQuoteApp::PumpThreadId() {
  vok::CCriticalSectionLock lock(m_threadLock);
  return m_pump ? m_pump->thread.Id() : 0;
}

IQueueConsumer* CVokQuoteApp::AcquireCurrent() {
  vok::CCriticalSectionLock lock(m_currentLock);
  IQueueConsumer* current = m_current.load(std::memory_order_relaxed);
  if (current == nullptr || !current->TryAddRef()) return nullptr;
  return current;
}

bool CVokQuoteApp::IdleIfEmpty() {
  // Producers append under the queue lock, then look at m_pumpIdle; the pump sets m_pumpIdle, then
  // looks at the queue under that lock. Whichever takes the lock second sees the other's step: a
  // message is never left behind a waiting pump. (SetCurrent and the object check below pair the
  // same way, through sequentially consistent steps.)
  m_pumpIdle.store(true, std::memory_order_seq_cst);
  if (QueuedCount() == 0 || m_current.load(std::memory_order_seq_cst) == nullptr) return true;
  m_pumpIdle.store(false, std::memory_order_seq_cst);
  return false;
}

void CVokQuoteApp::PumpLoop(CPumpControl& control) {
  const std::uint32_t heartbeatMs = vok::ConnectionTimes().heartbeatMs;
  m_heartbeatTimer.SetPeriodicRelative(heartbeatMs, heartbeatMs);
  for (;;) {
    // With messages waiting the timers and the stop event are only polled, so they still get their
    // turn between two batches.
    const bool idle = IdleIfEmpty();
    const std::uint32_t result = vok::WaitForAny(
        {m_messageEvent.Handle(), m_heartbeatTimer.Handle(), m_reconnectTimer.Handle(), control.stop.Handle()},
        idle ? vok::kInfinite : 0);
    switch (result) {
      case vok::kWaitObject0:
      case vok::kWaitTimeout:
        DispatchBatch(control);
        break;
      case vok::kWaitObject0 + 1:
        ++m_heartbeatTicks;
        if (IQueueConsumer* consumer = AcquireCurrent()) {
          consumer->OnHeartbeatTimer();
          consumer->ReleaseRef();
        }
        break;
      case vok::kWaitObject0 + 2:
        if (IQueueConsumer* consumer = AcquireCurrent()) {
          consumer->OnReconnectTimer();
          consumer->ReleaseRef();
        }
        break;
      case vok::kWaitObject0 + 3:
        ClearQueue();
        VOKTRACE_Write(VOKTRACE_INFO, "-Q- Queue thread returning.");
        return;
      default:
        // A failed wait is not fatal; it is simply tried again.
        break;
    }
  }
}

void CVokQuoteApp::Deliver(IQueueConsumer& consumer, const VOKMessage& message) {
  if (vok::wire::IsConnectionMessage(message.GetType())) {
    consumer.OnConnectionMessage(message);
  } else {
    consumer.DataDispatch().Dispatch(message);
  }
}

namespace {

void PrefetchObject(const VOKMessage& message) {
  const char* bytes = reinterpret_cast<const char*>(&message);
  for (std::size_t offset = 0; offset < sizeof(VOKMessage); offset += 64) __builtin_prefetch(bytes + offset);
}

void PrefetchFields(const VOKMessage& message) {
  message.Fields().ForEach([](int, const VOKField& field) { __builtin_prefetch(&field); });
}

}  // namespace

void CVokQuoteApp::DispatchBatch(CPumpControl& control) {
  // Without a service object queued messages wait for the next one (SetCurrent wakes the pump).
  if (m_current.load(std::memory_order_seq_cst) == nullptr) return;
  {
    // One lock for the whole batch: producers and the pump meet here once per batch.
    vok::CCriticalSectionLock lock(m_queueLock);
    const std::size_t count = m_queue.size() < kBatchLimit ? m_queue.size() : std::size_t{kBatchLimit};
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
      m_batch.push_back(std::move(m_queue.front().first));
      bytes += m_queue.front().second;
      m_queue.pop_front();
    }
    m_queuedCount.store(m_queue.size(), std::memory_order_seq_cst);
    m_queuedBytes.store(m_queuedBytes.load(std::memory_order_relaxed) - bytes, std::memory_order_seq_cst);
  }
  MadeRoom();
  // Each message goes to the object current when it is handled. The reference is kept from one
  // message to the next while no other object became current, and let go after the batch.
  IQueueConsumer* consumer = nullptr;
  std::uint64_t consumerVersion = 0;
  int handled = 0;
  const std::size_t count = m_batch.size();
  if (count > 0) PrefetchObject(*m_batch[0]);
  if (count > 1) PrefetchObject(*m_batch[1]);
  if (count > 0) PrefetchFields(*m_batch[0]);
  // The work items the handlers make reach the subscriber queues a few dozen at a time; the
  // batch is flushed before another object takes over and before a connection event, so those
  // see every item of the messages before them queued.
  CDistributionBatch distribution;
  for (std::size_t i = 0; i < count; ++i) {
    std::unique_ptr<VOKMessage>& message = m_batch[i];
    if (control.stopping.load(std::memory_order_relaxed)) break;
    // The messages were built on the reader's processor: asking for the next ones now lets their
    // transfer overlap this one's handling instead of stalling each lookup in turn.
    if (i + 2 < count) PrefetchObject(*m_batch[i + 2]);
    if (i + 1 < count) PrefetchFields(*m_batch[i + 1]);
    ++handled;
    const std::uint64_t version = m_currentVersion.load(std::memory_order_seq_cst);
    if (consumer == nullptr || version != consumerVersion) {
      distribution.Flush();
      if (consumer != nullptr) consumer->ReleaseRef();
      consumer = AcquireCurrent();
      consumerVersion = version;
    }
    if (consumer != nullptr) {
      if (vok::wire::IsConnectionMessage(message->GetType())) distribution.Flush();
      Deliver(*consumer, *message);
    }
    message.reset();
  }
  distribution.Flush();
  m_batch.clear();
  // May be the last reference: the object is then released here, on the pump thread.
  if (consumer != nullptr) consumer->ReleaseRef();
  if (handled > 0) {
    ++m_dispatchWakeups;
    m_dispatchedMessages.fetch_add(handled, std::memory_order_relaxed);
  }
  if (handled == kBatchLimit) {
    // Let other threads have the processor before the rest of the queue.
    vok::SleepMs(0);
  }
}

namespace vok {

CVokQuoteApp& App() {
  static CVokQuoteApp app;
  return app;
}

}  // namespace vok

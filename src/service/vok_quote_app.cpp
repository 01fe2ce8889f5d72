// CVokQuoteApp: the message queue, the pump thread "-Q-" with its four-handle wait, the heartbeat
// and reconnect timers, and the library's start and exit hooks.
#include "service/vok_quote_app.h"

#include "message/vok_message.h"
#include "platform/interface_table.h"
#include "platform/wait.h"
#include "platform/wait_with_message_loop.h"
#include "service/connection_times.h"
#include "vkdll/vkdll.h"

// What the pump thread and its stopper share; outlives the thread object when the pump stops
// itself (its thread is then detached and ends on its own).
struct CVokQuoteApp::CPumpControl {
  vok::CEvent stop{vok::EventReset::Auto};
  std::atomic<bool> stopping{false};
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
  VOK_Shutdown();
  // Never wait for the pump while holding the queue lock: the ending pump empties the queue.
  EndProcessMessages();
  vok::CCriticalSectionLock lock(m_queueLock);
  ClearQueue();
  return 0;
}

void CVokQuoteApp::BeginProcessMessages() {
  vok::CCriticalSectionLock lock(m_threadLock);
  // Service objects that overlap share the one pump; the last one to go stops it.
  ++m_pumpUsers;
  if (m_pump) return;
  auto pump = std::make_unique<CPump>();
  std::shared_ptr<CPumpControl> control = pump->control;
  const bool started = pump->thread.Start([this, control] {
    vok::CComApartment apartment(vok::CComApartment::kMultiThreaded);
    PumpLoop(*control);
    ClearQueue();
  });
  if (!started) {
    VOKTRACE_Write(VOKTRACE_FAILURE, "CVokQuoteApp::BeginProcessMessages: cannot start the queue thread");
    return;
  }
  VOKTRACE_Printf(VOKTRACE_INFO, "CVokQuoteApp::BeginProcessMessages: queue created in tid 0x%x", pump->thread.Id());
  m_pump = std::move(pump);
}

void CVokQuoteApp::EndProcessMessages() {
  VOKTRACE_Write(VOKTRACE_INFO, "CVokQuoteApp::EndProcessMessages");
  vok::CCriticalSectionLock lock(m_threadLock);
  if (m_pumpUsers > 1) {
    --m_pumpUsers;
    return;
  }
  m_pumpUsers = 0;
  if (m_pump) {
    VOKTRACE_Write(VOKTRACE_INFO, "-Q- Set queue thread deletion event...");
    if (m_pump->thread.Id() != vok::CurrentThreadId()) {
      VOKTRACE_Write(VOKTRACE_INFO, "-Q- Waiting for queue thread end...");
      m_pump->control->stopping.store(true);
      m_pump->control->stop.Set();
      // Keep the caller's own messages flowing: a single-threaded caller may be servicing calls
      // the pump makes into its apartment while it finishes.
      vok::WaitWithMessageLoop(m_pump->thread.EndHandle(), vok::kInfinite);
      VOKTRACE_Write(VOKTRACE_INFO, "-Q- Queue thread destroyed.");
      m_pump->thread.Join();
      m_pump.reset();
    } else {
      // The last release of the service object happened inside a dispatch: the pump ends by
      // itself once that dispatch returns.
      std::shared_ptr<CPumpControl> control = m_pump->control;
      m_pump->thread.Detach();
      m_pump.reset();
      control->stopping.store(true);
      control->stop.Set();
    }
  }
  ClearQueue();
}

void CVokQuoteApp::QueueMessage(std::unique_ptr<VOKMessage> message) {
  {
    vok::CCriticalSectionLock current(m_currentLock);
    if (m_current == nullptr) return;
  }
  vok::CCriticalSectionLock lock(m_queueLock);
  // The pump drains the queue until it is empty (or re-signals itself after a full batch), so
  // only the first message into an empty queue needs to wake it: one system call per burst,
  // not per message.
  const bool wasEmpty = m_queue.empty();
  m_queue.push_back(std::move(message));
  if (wasEmpty) m_messageEvent.Set();
}

std::unique_ptr<VOKMessage> CVokQuoteApp::NextMessage() {
  vok::CCriticalSectionLock lock(m_queueLock);
  if (m_queue.empty()) return nullptr;
  std::unique_ptr<VOKMessage> head = std::move(m_queue.front());
  m_queue.pop_front();
  return head;
}

void CVokQuoteApp::ClearQueue() {
  std::deque<std::unique_ptr<VOKMessage>> doomed;
  {
    vok::CCriticalSectionLock lock(m_queueLock);
    m_messageEvent.Reset();
    doomed.swap(m_queue);
  }
}

std::size_t CVokQuoteApp::QueuedCount() {
  vok::CCriticalSectionLock lock(m_queueLock);
  return m_queue.size();
}

void CVokQuoteApp::SetCurrent(IQueueConsumer* consumer) {
  {
    vok::CCriticalSectionLock lock(m_currentLock);
    m_current = consumer;
  }
  // Messages left waiting while there was no object get their wake-up now.
  vok::CCriticalSectionLock lock(m_queueLock);
  if (consumer != nullptr && !m_queue.empty()) m_messageEvent.Set();
}

void CVokQuoteApp::ClearCurrent(IQueueConsumer* consumer) {
  vok::CCriticalSectionLock lock(m_currentLock);
  if (m_current == consumer) m_current = nullptr;
}

bool CVokQuoteApp::IsCurrent(IQueueConsumer* consumer) {
  vok::CCriticalSectionLock lock(m_currentLock);
  return m_current == consumer;
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
  if (m_current == nullptr || !m_current->TryAddRef()) return nullptr;
  return m_current;
}

void CVokQuoteApp::PumpLoop(CPumpControl& control) {
  const std::uint32_t heartbeatMs = vok::ConnectionTimes().heartbeatMs;
  m_heartbeatTimer.SetPeriodicRelative(heartbeatMs, heartbeatMs);
  for (;;) {
    const std::uint32_t result = vok::WaitForAny(
        {m_messageEvent.Handle(), m_heartbeatTimer.Handle(), m_reconnectTimer.Handle(), control.stop.Handle()},
        vok::kInfinite);
    switch (result) {
      case vok::kWaitObject0:
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

void CVokQuoteApp::DispatchBatch(CPumpControl& control) {
  {
    vok::CCriticalSectionLock lock(m_currentLock);
    // Without a service object queued messages wait for the next one (SetCurrent wakes the pump).
    if (m_current == nullptr) return;
  }
  int handled = 0;
  while (handled < kBatchLimit && !control.stopping.load(std::memory_order_relaxed)) {
    std::unique_ptr<VOKMessage> message = NextMessage();
    if (!message) break;
    ++handled;
    if (IQueueConsumer* consumer = AcquireCurrent()) {
      consumer->ProcessMessage(*message);
      // May be the last reference: the object is then released here, on the pump thread.
      consumer->ReleaseRef();
    }
  }
  if (handled > 0) {
    ++m_dispatchWakeups;
    m_dispatchedMessages.fetch_add(handled, std::memory_order_relaxed);
  }
  if (handled == kBatchLimit) {
    // Let the timers and the stop event have their turn before the rest of the queue.
    m_messageEvent.Set();
    vok::SleepMs(0);
  }
}

namespace vok {

CVokQuoteApp& App() {
  static CVokQuoteApp app;
  return app;
}

}  // namespace vok

// Test helpers for the socket client and the timer queue: a listener that counts its references
// and timer calls, and a gate a callback can wait at. Waits are bounded waits for conditions.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "connection/timed_event_listener.h"
#include "vkdll/trace_test_util.h"

namespace vok::test {

// The traces name threads and objects in lower-case hex without a prefix.
inline std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}
inline std::string Hex(const void* object) {
  return Hex(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(object)));
}

// Counts AddRef/Release and OnTimedEvent calls; a test may block the call with a hook.
class CCountingListener : public ITimedEventListener {
 public:
  void OnTimedEvent(CTimerQueueEvent* event) override {
    if (onEvent) onEvent(event);
    ++m_calls;
  }
  long AddRef() override { return ++m_refs; }
  long Release() override { return --m_refs; }

  long Refs() const { return m_refs.load(); }
  int Calls() const { return m_calls.load(); }
  bool WaitForCalls(int count) {
    return WaitUntil([&] { return m_calls.load() >= count; });
  }

  std::function<void(CTimerQueueEvent*)> onEvent;

 private:
  std::atomic<long> m_refs{0};
  std::atomic<int> m_calls{0};
};

// A one-way gate: Wait blocks until Open, for kWaitLimit at most. Open notifies under the lock,
// so a waiter that wakes and destroys the gate never races the opener.
class CGate {
 public:
  void Open() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_open = true;
    m_changed.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, kWaitLimit, [&] { return m_open; });
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_open = false;
};

}  // namespace vok::test

// Test helpers for the socket client and the timer queue: a listener that counts its references
// and timer calls, and a gate a callback can wait at. Waits are bounded waits for conditions.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "connection/timed_event_listener.h"
#include "platform/event.h"
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

// A one-way gate a callback can wait at, for kWaitLimit at most.
class CGate {
 public:
  void Open() { m_event.Set(); }
  bool Wait() { return m_event.Wait(static_cast<std::uint32_t>(std::chrono::milliseconds(kWaitLimit).count())); }

 private:
  CEvent m_event{EventReset::Manual};
};

}  // namespace vok::test

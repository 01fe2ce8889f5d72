// Test helpers for the socket client and the timer queue: trace capture and a listener that counts
// its references and timer calls. Waits are bounded waits for conditions.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "connection/timed_event_listener.h"
#include "vkdll/trace.h"

namespace vok::test {

inline constexpr auto kConditionLimit = std::chrono::seconds(20);

// Every trace line while alive. The state lives on the heap so that a late line from another
// thread never meets a destroyed lock of a test's stack.
class CTraceLines {
 public:
  CTraceLines()
      : m_state(std::make_shared<State>()), m_sink([state = m_state](int level, std::string_view text) {
          std::lock_guard<std::mutex> lock(state->lock);
          state->lines.emplace_back(level, std::string(text));
          state->changed.notify_all();
        }) {}

  // Lines at level that contain the text, in order.
  std::vector<std::string> Lines(int level, std::string_view contains) {
    std::lock_guard<std::mutex> lock(m_state->lock);
    std::vector<std::string> result;
    for (const auto& [lineLevel, text] : m_state->lines) {
      if (lineLevel == level && text.find(contains) != std::string::npos) result.push_back(text);
    }
    return result;
  }
  bool WaitFor(int level, std::string_view contains) {
    std::unique_lock<std::mutex> lock(m_state->lock);
    return m_state->changed.wait_for(lock, kConditionLimit, [&] {
      for (const auto& [lineLevel, text] : m_state->lines) {
        if (lineLevel == level && text.find(contains) != std::string::npos) return true;
      }
      return false;
    });
  }

 private:
  struct State {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<int, std::string>> lines;
  };
  std::shared_ptr<State> m_state;
  vok::CScopedTraceSink m_sink;
};

// Counts AddRef/Release and OnTimedEvent calls; a test may block the call with a hook.
class CCountingListener : public ITimedEventListener {
 public:
  void OnTimedEvent(CTimerQueueEvent* event) override {
    if (onEvent) onEvent(event);
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_calls;
    m_changed.notify_all();
  }
  long AddRef() override { return ++m_refs; }
  long Release() override { return --m_refs; }

  long Refs() const { return m_refs.load(); }
  int Calls() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls;
  }
  bool WaitForCalls(int count) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, kConditionLimit, [&] { return m_calls >= count; });
  }

  std::function<void(CTimerQueueEvent*)> onEvent;

 private:
  std::atomic<long> m_refs{0};
  std::mutex m_lock;
  std::condition_variable m_changed;
  int m_calls = 0;
};

// A one-way gate: Wait blocks until Open.
class CGate {
 public:
  void Open() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_open = true;
    m_changed.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, kConditionLimit, [&] { return m_open; });
  }
  bool IsOpen() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_open;
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_open = false;
};

}  // namespace vok::test

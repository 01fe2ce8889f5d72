// Test helpers shared by the layers above the trace: a capture of every trace line while alive,
// and a bounded wait for a condition another thread makes true.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "vkdll/trace.h"

namespace vok::test {

inline constexpr auto kWaitLimit = std::chrono::seconds(20);

// Waits for a condition that another thread makes true, up to kWaitLimit.
inline bool WaitUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + kWaitLimit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::yield();
  }
  return true;
}

// Every trace line while alive. The state lives on the heap so that a late line from another
// thread never meets a destroyed lock of a test's stack.
class CTraceLines {
 public:
  CTraceLines()
      : m_state(std::make_shared<State>()), m_sink([state = m_state](int level, std::string_view text) {
          std::lock_guard<std::mutex> lock(state->lock);
          state->lines.emplace_back(level, std::string(text));
        }) {}

  std::vector<std::pair<int, std::string>> All() {
    std::lock_guard<std::mutex> lock(m_state->lock);
    return m_state->lines;
  }
  // Lines at level that contain the text, in order.
  std::vector<std::string> Lines(int level, std::string_view contains) {
    std::vector<std::string> result;
    for (auto& [lineLevel, text] : All()) {
      if (lineLevel == level && text.find(contains) != std::string::npos) result.push_back(std::move(text));
    }
    return result;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_state->lock);
    m_state->lines.clear();
  }

 private:
  struct State {
    std::mutex lock;
    std::vector<std::pair<int, std::string>> lines;
  };
  std::shared_ptr<State> m_state;
  vok::CScopedTraceSink m_sink;
};

}  // namespace vok::test

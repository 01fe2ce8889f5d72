// The main thread's mailbox.
#include "mailbox.h"

#include <utility>

namespace vok::cli {

void CMailbox::Post(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> hold(m_lock);
    m_calls.push_back(std::move(call));
  }
  m_wake.Signal();
}

void CMailbox::RunPending() {
  m_wake.Clear();
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    calls.swap(m_calls);
  }
  for (auto& call : calls) call();
}

}  // namespace vok::cli

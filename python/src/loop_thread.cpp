// The loop thread: the library's message loop, woken for posted calls through an eventfd.
#include "loop_thread.h"

#include <vokquote/api.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vok::py {

CLoopThread::CLoopThread() : m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CLoopThread::~CLoopThread() {
  Stop();
  if (m_wakeFd >= 0) ::close(m_wakeFd);
}

bool CLoopThread::Start() {
  if (m_wakeFd < 0) return false;
  try {
    m_thread = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CLoopThread::Wake() {
  const std::uint64_t one = 1;
  (void)!::write(m_wakeFd, &one, sizeof one);
}

bool CLoopThread::Post(std::function<void()> call) {
  {
    std::lock_guard lock(m_mutex);
    if (m_stopping || !m_thread.joinable()) return false;
    m_calls.push_back(std::move(call));
  }
  Wake();
  return true;
}

void CLoopThread::Stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  if (!m_thread.joinable()) return;
  if (std::this_thread::get_id() == m_thread.get_id()) return;  // cannot join itself
  Wake();
  m_thread.join();
}

void CLoopThread::Run() {
  for (;;) {
    // The wake descriptor is only looked at by the loop, so it is read here.
    if (VokRunMessageLoop(m_wakeFd, 0xFFFFFFFF) == VOK_LOOP_FAILED) {
      pollfd wake{m_wakeFd, POLLIN, 0};
      ::poll(&wake, 1, 100);  // no busy loop while the library's loop cannot run
    }
    std::uint64_t count = 0;
    (void)!::read(m_wakeFd, &count, sizeof count);
    std::vector<std::function<void()>> calls;
    bool stopping = false;
    {
      std::lock_guard lock(m_mutex);
      calls.swap(m_calls);
      stopping = m_stopping;
    }
    for (auto& call : calls) call();
    if (stopping) {
      std::lock_guard lock(m_mutex);
      if (m_calls.empty()) break;
    }
  }
  // Callbacks already queued for this thread run before it ends.
  VokPumpMessages();
}

}  // namespace vok::py

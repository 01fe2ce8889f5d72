// Linux backend of platform/message_loop.h. Each thread that uses the loop gets one queue, made
// on first use and torn down when the thread ends: posted calls (guarded by the queue's mutex,
// since any thread may post) behind an eventfd, and thread timers (touched only by the owning
// thread, so unlocked) behind a timerfd armed for the earliest due time. Both sit in an epoll
// set whose descriptor is MessageLoopFd(): readable exactly while something is pending.
#include "platform/message_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>

#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/linux/fd_util.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/wait_internal.h"
#include "platform/message_loop_backend.h"
#include "platform/thread.h"

namespace vok {

struct CMessageTarget::State {
  State()
      : callFdOwner(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
        timerFdOwner(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)),
        epollFdOwner(::epoll_create1(EPOLL_CLOEXEC)) {
    for (int fd : {callFd, timerFd}) {
      epoll_event event{};
      event.events = EPOLLIN;
      event.data.fd = fd;
      if (epollFd >= 0 && fd >= 0) ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &event);
    }
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  const CUniqueFd callFdOwner;
  const CUniqueFd timerFdOwner;
  const CUniqueFd epollFdOwner;
  const int callFd = callFdOwner.Get();
  const int timerFd = timerFdOwner.Get();
  const int epollFd = epollFdOwner.Get();

  std::mutex lock;
  std::deque<std::function<void()>> calls;  // guarded by lock
  bool alive = true;                        // guarded by lock; false once the thread has ended
  bool quit = false;                        // guarded by lock

  // Owner thread only.
  struct Timer {
    std::uint32_t periodMs;
    std::uint64_t dueMs;
    std::shared_ptr<std::function<void()>> callback;
  };
  std::map<ThreadTimerId, Timer> timers;
  ThreadTimerId nextTimerId = 1;
};

namespace {

using State = CMessageTarget::State;

// Set when the thread's queue has been torn down: other thread_local objects that are destroyed
// later at thread end (and kill their timers) must find nothing rather than a dead object.
thread_local bool t_queueGone = false;

// Owns the thread's queue; at thread end refuses further posts and drops what was not run.
class CThreadQueueHolder {
 public:
  ~CThreadQueueHolder() {
    t_queueGone = true;
    if (!m_state) return;
    std::deque<std::function<void()>> dropped;
    {
      std::lock_guard<std::mutex> guard(m_state->lock);
      m_state->alive = false;
      dropped.swap(m_state->calls);
    }
    m_state->timers.clear();
  }
  std::shared_ptr<State>& Shared() {
    if (!m_state) m_state = std::make_shared<State>();
    return m_state;
  }

 private:
  std::shared_ptr<State> m_state;
};

thread_local CThreadQueueHolder t_queue;

// The calling thread's queue, or null once the thread is ending.
State* Queue() { return t_queueGone ? nullptr : t_queue.Shared().get(); }

void RearmTimerFd(State& state) {
  itimerspec spec{};
  if (!state.timers.empty()) {
    std::uint64_t earliest = UINT64_MAX;
    for (const auto& [id, timer] : state.timers) earliest = std::min(earliest, timer.dueMs);
    spec.it_value.tv_sec = static_cast<time_t>(earliest / 1000);
    spec.it_value.tv_nsec = static_cast<long>(earliest % 1000) * 1000000L;
    if (spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0) spec.it_value.tv_nsec = 1;
  }
  ::timerfd_settime(state.timerFd, TFD_TIMER_ABSTIME, &spec, nullptr);
}

}  // namespace

bool CMessageTarget::PostCall(std::function<void()> call) const {
  std::shared_ptr<State> state = m_state.lock();
  if (!state || !call) return false;
  std::lock_guard<std::mutex> guard(state->lock);
  if (!state->alive) return false;
  state->calls.push_back(std::move(call));
  linux_fd::Signal(state->callFd);
  return true;
}

CMessageTarget CurrentMessageTarget() { return t_queueGone ? CMessageTarget() : CMessageTarget(t_queue.Shared()); }

ThreadTimerId SetThreadTimer(std::uint32_t periodMs, std::function<void()> callback) {
  State* queue = Queue();
  if (queue == nullptr || queue->timerFd < 0 || !callback) return 0;
  State& state = *queue;
  const ThreadTimerId id = state.nextTimerId++;
  // Windows raises periods below 10 ms to 10 ms; do the same so a 0 period cannot spin.
  const std::uint32_t period = periodMs < 10 ? 10 : periodMs;
  state.timers[id] =
      State::Timer{period, MonotonicMs() + period, std::make_shared<std::function<void()>>(std::move(callback))};
  RearmTimerFd(state);
  return id;
}

bool KillThreadTimer(ThreadTimerId id) {
  State* queue = Queue();
  if (queue == nullptr || queue->timers.erase(id) == 0) return false;
  RearmTimerFd(*queue);
  return true;
}

std::size_t PumpMessages() {
  State* queue = Queue();
  if (queue == nullptr) return 0;
  State& state = *queue;
  std::size_t dispatched = 0;

  // Only the calls queued so far: a call that posts again runs on the next pump, so one pump
  // always ends.
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    calls.swap(state.calls);
    linux_fd::Drain(state.callFd);
  }
  for (auto& call : calls) {
    call();
    ++dispatched;
  }

  linux_fd::Drain(state.timerFd);
  const std::uint64_t now = MonotonicMs();
  std::vector<ThreadTimerId> due;
  for (const auto& [id, timer] : state.timers) {
    if (timer.dueMs <= now) due.push_back(id);
  }
  for (ThreadTimerId id : due) {
    // A callback may kill or add timers, this one included; look it up afresh each time.
    auto it = state.timers.find(id);
    if (it == state.timers.end()) continue;
    it->second.dueMs = MonotonicMs() + it->second.periodMs;
    std::shared_ptr<std::function<void()>> callback = it->second.callback;
    (*callback)();
    ++dispatched;
  }
  RearmTimerFd(state);
  {
    // A pending quit keeps the loop's descriptor readable, as a re-posted WM_QUIT keeps a Windows
    // queue non-empty, so every wait that pumps finds it at once until the thread's loop takes it.
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.quit) linux_fd::Signal(state.callFd);
  }
  return dispatched;
}

bool QuitPending() {
  State* queue = Queue();
  if (queue == nullptr) return false;
  std::lock_guard<std::mutex> guard(queue->lock);
  return queue->quit;
}

std::uint32_t MsgWaitForAny(std::span<const WaitHandle> handles, std::uint32_t timeoutMs) {
  return linux_wait::WaitForAnyOrFd(handles, MessageLoopFd(), timeoutMs);
}

void QuitMessageLoop() {
  State* queue = Queue();
  if (queue == nullptr) return;
  std::lock_guard<std::mutex> guard(queue->lock);
  queue->quit = true;
  linux_fd::Signal(queue->callFd);
}

int MessageLoopFd() {
  State* queue = Queue();
  return queue == nullptr ? -1 : queue->epollFd;
}

namespace message_loop_backend {

bool TakeQuitRequest() {
  State* queue = Queue();
  if (queue == nullptr) return false;
  std::lock_guard<std::mutex> guard(queue->lock);
  const bool quit = queue->quit;
  queue->quit = false;
  return quit;
}

}  // namespace message_loop_backend
}  // namespace vok

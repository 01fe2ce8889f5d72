// Linux backend of platform/thread_handle.h: std::thread plus a manual-reset event that the
// thread signals from its first thread-local object's destructor, which runs after all of the
// thread's other thread-local objects are gone.
#include "platform/thread_handle.h"

#include <future>
#include <thread>

#include "platform/event.h"

namespace vok {
namespace {

struct EndSignal {
  std::shared_ptr<CEvent> ended;
  ~EndSignal() {
    if (ended) ended->Set();
  }
};

}  // namespace

struct CThreadHandle::State {
  std::thread thread;
  std::shared_ptr<CEvent> ended;
  ThreadId id = 0;
};

CThreadHandle::CThreadHandle() = default;
CThreadHandle::CThreadHandle(CThreadHandle&& other) noexcept = default;

CThreadHandle& CThreadHandle::operator=(CThreadHandle&& other) noexcept {
  if (this != &other) {
    Join();
    m_state = std::move(other.m_state);
  }
  return *this;
}

CThreadHandle::~CThreadHandle() { Join(); }

bool CThreadHandle::Start(std::function<void()> body) {
  if (m_state || !body) return false;
  try {
    auto state = std::make_unique<State>();
    state->ended = std::make_shared<CEvent>(EventReset::Manual);
    if (!state->ended->IsValid()) return false;
    // The new thread reports its id before Start returns, so Id() is valid at once.
    std::promise<ThreadId> started;
    std::future<ThreadId> id = started.get_future();
    state->thread = std::thread([ended = state->ended, body = std::move(body), &started]() mutable {
      thread_local EndSignal endSignal;
      endSignal.ended = std::move(ended);
      started.set_value(CurrentThreadId());
      RunThreadBody(body);
    });
    state->id = id.get();
    m_state = std::move(state);
    return true;
  } catch (const std::exception&) {
    // No memory or no thread: the caller sees a refusal, not an exception.
    return false;
  }
}

bool CThreadHandle::Join(std::uint32_t timeoutMs) {
  if (!m_state) return true;
  if (!m_state->ended->Wait(timeoutMs)) return false;
  m_state->thread.join();
  m_state.reset();
  return true;
}

void CThreadHandle::Detach() {
  if (!m_state) return;
  m_state->thread.detach();
  m_state.reset();
}

bool CThreadHandle::Joinable() const { return m_state != nullptr; }
ThreadId CThreadHandle::Id() const { return m_state ? m_state->id : 0; }
WaitHandle CThreadHandle::EndHandle() const { return m_state ? m_state->ended->Handle() : WaitHandle{}; }

}  // namespace vok

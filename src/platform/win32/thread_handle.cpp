// Windows backend of platform/thread_handle.h: a thread from _beginthreadex, whose handle is
// itself the end handle.
#include "platform/thread_handle.h"

#include <process.h>
#include <windows.h>

namespace vok {
namespace {

unsigned __stdcall ThreadMain(void* argument) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  RunThreadBody(*body);
  return 0;
}

}  // namespace

struct CThreadHandle::State {
  HANDLE thread = nullptr;
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
  std::unique_ptr<State> state;
  std::unique_ptr<std::function<void()>> argument;
  try {
    // Both allocations come first, so nothing can fail once the thread runs.
    state = std::make_unique<State>();
    argument = std::make_unique<std::function<void()>>(std::move(body));
  } catch (const std::bad_alloc&) {
    return false;
  }
  unsigned id = 0;
  const auto handle = ::_beginthreadex(nullptr, 0, &ThreadMain, argument.get(), 0, &id);
  if (handle == 0) return false;
  argument.release();  // the thread owns it now
  state->thread = reinterpret_cast<HANDLE>(handle);
  state->id = id;
  m_state = std::move(state);
  return true;
}

bool CThreadHandle::Join(std::uint32_t timeoutMs) {
  if (!m_state) return true;
  if (::WaitForSingleObject(m_state->thread, timeoutMs) != WAIT_OBJECT_0) return false;
  ::CloseHandle(m_state->thread);
  m_state.reset();
  return true;
}

void CThreadHandle::Detach() {
  if (!m_state) return;
  ::CloseHandle(m_state->thread);
  m_state.reset();
}

bool CThreadHandle::Joinable() const { return m_state != nullptr; }
ThreadId CThreadHandle::Id() const { return m_state ? m_state->id : 0; }
WaitHandle CThreadHandle::EndHandle() const { return m_state ? WaitHandle{m_state->thread} : WaitHandle{}; }

}  // namespace vok

// Windows backend of platform/message_loop.h on the thread's own user32 queue. Thread timers are
// SetTimer(nullptr, ...) timers whose TimerProc finds the callback by id; posted calls wait in
// our own queue and a message-only window of the target thread runs them when its message loop
// dispatches the wake-up message, so any GetMessage/DispatchMessage loop drives both.
#include "platform/message_loop.h"

#include <windows.h>

#include <deque>
#include <map>
#include <mutex>

#include "platform/message_loop_backend.h"
#include "platform/thread_local_slot.h"

namespace vok {

struct CMessageTarget::State {
  std::mutex lock;
  std::deque<std::function<void()>> calls;  // guarded by lock
  HWND window = nullptr;                    // guarded by lock; null once the thread has ended
};

namespace {

using State = CMessageTarget::State;
constexpr UINT kRunCallsMessage = WM_APP + 0x56;
constexpr wchar_t kWindowClass[] = L"VokQuoteMessageTarget";

thread_local bool t_threadGone = false;
// Set when the last PumpMessages stopped at a WM_QUIT and posted it again.
thread_local bool t_quitPending = false;

void RunPostedCalls(State& state) {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    calls.swap(state.calls);
  }
  for (auto& call : calls) call();
}

LRESULT CALLBACK TargetWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunCallsMessage) {
    auto* state = reinterpret_cast<State*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state != nullptr) RunPostedCalls(*state);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&TargetWindowProc), &module);
  return module;
}

bool RegisterTargetClass() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TargetWindowProc;
    windowClass.hInstance = ThisModule();
    windowClass.lpszClassName = kWindowClass;
    return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

// The thread's message target and timers; torn down on the owning thread when it ends.
class CThreadLoop {
 public:
  ~CThreadLoop() {
    t_threadGone = true;
    for (const auto& [id, callback] : m_timers) ::KillTimer(nullptr, id);
    m_timers.clear();
    if (!m_state) return;
    std::deque<std::function<void()>> dropped;
    HWND window = nullptr;
    {
      std::lock_guard<std::mutex> guard(m_state->lock);
      window = m_state->window;
      m_state->window = nullptr;
      dropped.swap(m_state->calls);
    }
    if (window != nullptr) ::DestroyWindow(window);
  }

  std::shared_ptr<State> Target() {
    if (!m_state) {
      auto state = std::make_shared<State>();
      if (RegisterTargetClass()) {
        HWND window =
            ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
        if (window != nullptr) ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state.get()));
        state->window = window;
      }
      m_state = std::move(state);
    }
    return m_state;
  }

  std::map<UINT_PTR, std::shared_ptr<std::function<void()>>> m_timers;

 private:
  std::shared_ptr<State> m_state;
};

// Not a C++ thread_local: see platform/thread_local_slot.h.
CThreadLocal<CThreadLoop> g_loops;

// The calling thread's loop, or null once the thread is ending (or out of memory).
CThreadLoop* Loop() { return t_threadGone ? nullptr : g_loops.Get(); }

void CALLBACK ThreadTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  CThreadLoop* loop = g_loops.Peek();
  if (t_threadGone || loop == nullptr) return;
  auto it = loop->m_timers.find(id);
  if (it == loop->m_timers.end()) return;
  std::shared_ptr<std::function<void()>> callback = it->second;  // survives a KillThreadTimer inside
  (*callback)();
}

bool DispatchOne() {
  MSG msg;
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) return false;
  // Take and dispatch the message with the character width of its window.
  const bool unicode = msg.hwnd == nullptr || ::IsWindowUnicode(msg.hwnd);
  const BOOL taken =
      unicode ? ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) : ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
  if (!taken) return false;
  if (msg.message == WM_QUIT) {
    // Not ours to take: post it again with its exit code for the thread's own loop.
    ::PostQuitMessage(static_cast<int>(msg.wParam));
    t_quitPending = true;
    return false;
  }
  ::TranslateMessage(&msg);
  if (unicode) {
    ::DispatchMessageW(&msg);
  } else {
    ::DispatchMessageA(&msg);
  }
  return true;
}

}  // namespace

bool CMessageTarget::PostCall(std::function<void()> call) const {
  std::shared_ptr<State> state = m_state.lock();
  if (!state || !call) return false;
  std::lock_guard<std::mutex> guard(state->lock);
  if (state->window == nullptr) return false;
  const bool wasEmpty = state->calls.empty();
  state->calls.push_back(std::move(call));
  // One wake-up message covers everything queued before the target drains the queue.
  if (wasEmpty && !::PostMessageW(state->window, kRunCallsMessage, 0, 0)) {
    state->calls.pop_back();
    return false;
  }
  return true;
}

CMessageTarget CurrentMessageTarget() {
  CThreadLoop* loop = Loop();
  return loop == nullptr ? CMessageTarget() : CMessageTarget(loop->Target());
}

ThreadTimerId SetThreadTimer(std::uint32_t periodMs, std::function<void()> callback) {
  CThreadLoop* loop = Loop();
  if (loop == nullptr || !callback) return 0;
  const UINT_PTR id = ::SetTimer(nullptr, 0, periodMs, &ThreadTimerProc);
  if (id == 0) return 0;
  loop->m_timers[id] = std::make_shared<std::function<void()>>(std::move(callback));
  return id;
}

bool KillThreadTimer(ThreadTimerId id) {
  CThreadLoop* loop = g_loops.Peek();
  if (t_threadGone || loop == nullptr || loop->m_timers.erase(id) == 0) return false;
  ::KillTimer(nullptr, id);
  return true;
}

std::size_t PumpMessages() {
  t_quitPending = false;
  std::size_t dispatched = 0;
  while (DispatchOne()) ++dispatched;
  return dispatched;
}

std::uint32_t MsgWaitForAny(std::span<const WaitHandle> handles, std::uint32_t timeoutMs) {
  if (handles.size() > kMaximumWaitObjects - 1) return kWaitFailed;
  HANDLE raw[kMaximumWaitObjects];
  for (std::size_t i = 0; i < handles.size(); ++i) {
    if (!handles[i].IsValid()) return kWaitFailed;
    raw[i] = handles[i].handle;
  }
  const DWORD count = static_cast<DWORD>(handles.size());
  const DWORD result = ::MsgWaitForMultipleObjectsEx(count, raw, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (result <= WAIT_OBJECT_0 + count) return result - WAIT_OBJECT_0;
  if (result == WAIT_TIMEOUT) return kWaitTimeout;
  if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count) return result - WAIT_ABANDONED_0;
  return kWaitFailed;
}

void QuitMessageLoop() { ::PostQuitMessage(0); }

bool QuitPending() { return t_quitPending; }

namespace message_loop_backend {

bool TakeQuitRequest() {
  if (!t_quitPending) return false;
  t_quitPending = false;
  MSG msg;
  ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  return true;
}

}  // namespace message_loop_backend
}  // namespace vok

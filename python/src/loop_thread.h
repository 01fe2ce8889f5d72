// CLoopThread: the binding's own thread. It runs the library's message loop, so every callback of
// a subscription made on it arrives there, and between two turns of the loop it runs the calls
// other threads post to it. Python never runs on it: it holds no Python object and never takes
// the interpreter lock, so it can neither stall nor outlive the interpreter's threads.
// Post and Call may be used from any thread; m_mutex guards m_calls and m_stopping.
#pragma once

#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vok::py {

class CLoopThread {
 public:
  CLoopThread();
  CLoopThread(const CLoopThread&) = delete;
  CLoopThread& operator=(const CLoopThread&) = delete;
  ~CLoopThread();  // Stop

  // False when the wake descriptor or the thread cannot be made.
  bool Start();
  // Runs call on the loop thread; false once the thread is stopping (the call is dropped).
  bool Post(std::function<void()> call);
  // Runs call on the loop thread and returns its result; waits, so the caller must not hold the
  // interpreter lock. Rethrows what the call throws. On a stopped thread the call runs here.
  template <class F>
  auto Call(F call) -> decltype(call()) {
    if (std::this_thread::get_id() == m_thread.get_id()) return call();
    std::packaged_task<decltype(call())()> task(std::move(call));
    auto result = task.get_future();
    auto shared = std::make_shared<decltype(task)>(std::move(task));
    if (!Post([shared] { (*shared)(); })) (*shared)();
    return result.get();
  }
  // Runs the calls already posted, ends the loop and joins the thread. Idempotent.
  void Stop();

 private:
  void Run();
  void Wake();

  int m_wakeFd;
  std::mutex m_mutex;
  std::vector<std::function<void()>> m_calls;  // guarded by m_mutex
  bool m_stopping = false;                     // guarded by m_mutex
  std::thread m_thread;
};

}  // namespace vok::py

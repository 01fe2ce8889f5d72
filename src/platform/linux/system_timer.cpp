// Linux backend of the system timer: one thread for the process keeps the timers ordered by due
// time and runs each callback in turn, without its lock held. It starts with the first timer and
// is stopped and joined when static objects are destroyed at exit.
#include "platform/system_timer.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace vok {

namespace {

using Clock = std::chrono::steady_clock;

class CTimerThread {
 public:
  static CTimerThread& Instance() {
    static CTimerThread s_instance;
    return s_instance;
  }

  ~CTimerThread() {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_stop = true;
      m_changed.notify_all();
    }
    if (m_thread.joinable()) m_thread.join();
  }

  SystemTimerHandle Create(SystemTimerCallback callback, void* parameter, std::uint32_t dueMs, std::uint32_t periodMs) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_thread.joinable()) {
      m_thread = std::thread([this] { Run(); });
    }
    // Ids start at 1 so that a handle is never null, and are never reused.
    const std::uintptr_t id = ++m_lastId;
    m_timers.emplace(
        id, STimer{callback, parameter, Clock::now() + std::chrono::milliseconds(dueMs), periodMs, false, false});
    m_changed.notify_all();
    return reinterpret_cast<SystemTimerHandle>(id);
  }

  bool Delete(SystemTimerHandle timer, bool wait, std::uint32_t* error) {
    std::unique_lock<std::mutex> lock(m_lock);
    const auto it = m_timers.find(reinterpret_cast<std::uintptr_t>(timer));
    if (it == m_timers.end()) {
      if (error) *error = 22;  // EINVAL
      return false;
    }
    if (!it->second.running) {
      m_timers.erase(it);
      return true;
    }
    // The thread erases the entry when the callback returns.
    it->second.deleted = true;
    if (!wait || std::this_thread::get_id() == m_threadId) {
      if (error) *error = kSystemTimerCallbackRunning;
      return false;
    }
    const std::uintptr_t id = it->first;
    m_changed.wait(lock, [&] { return m_timers.find(id) == m_timers.end(); });
    return true;
  }

 private:
  struct STimer {
    SystemTimerCallback callback;
    void* parameter;
    Clock::time_point due;
    std::uint32_t periodMs;
    bool running;
    bool deleted;
  };

  void Run() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_threadId = std::this_thread::get_id();
    while (!m_stop) {
      auto next = m_timers.end();
      for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->second.periodMs == 0 && it->second.due == Clock::time_point::max()) continue;
        if (next == m_timers.end() || it->second.due < next->second.due) next = it;
      }
      if (next == m_timers.end()) {
        m_changed.wait(lock);
        continue;
      }
      if (Clock::now() < next->second.due) {
        // A copy: the timer may be deleted while this thread waits.
        const Clock::time_point due = next->second.due;
        m_changed.wait_until(lock, due);
        continue;
      }
      STimer& timer = next->second;
      const std::uintptr_t id = next->first;
      timer.running = true;
      // A one-shot timer stays registered, never due again, until it is deleted.
      timer.due =
          timer.periodMs == 0 ? Clock::time_point::max() : timer.due + std::chrono::milliseconds(timer.periodMs);
      const SystemTimerCallback callback = timer.callback;
      void* const parameter = timer.parameter;
      lock.unlock();
      callback(parameter, 1);
      lock.lock();
      const auto it = m_timers.find(id);
      if (it != m_timers.end()) {
        it->second.running = false;
        if (it->second.deleted) m_timers.erase(it);
        // A callback that overran its period does not fire a burst to catch up.
        else if (it->second.periodMs != 0 && it->second.due < Clock::now())
          it->second.due = Clock::now();
      }
      m_changed.notify_all();
    }
  }

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::map<std::uintptr_t, STimer> m_timers;  // guarded by m_lock
  std::uintptr_t m_lastId = 0;
  bool m_stop = false;
  std::thread m_thread;
  std::thread::id m_threadId;
};

}  // namespace

SystemTimerHandle CreateSystemTimer(SystemTimerCallback callback, void* parameter, std::uint32_t dueMs,
                                    std::uint32_t periodMs, std::uint32_t, std::uint32_t* error) {
  if (callback == nullptr) {
    if (error) *error = 22;  // EINVAL
    return nullptr;
  }
  try {
    return CTimerThread::Instance().Create(callback, parameter, dueMs, periodMs);
  } catch (const std::system_error& failure) {
    if (error) *error = static_cast<std::uint32_t>(failure.code().value());
    return nullptr;
  }
}

bool DeleteSystemTimer(SystemTimerHandle timer, bool wait, std::uint32_t* error) {
  return CTimerThread::Instance().Delete(timer, wait, error);
}

}  // namespace vok

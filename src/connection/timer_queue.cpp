// CTimerQueue and CTimerQueueEvent: the process-wide lock and event map, timer creation and
// deletion, and the system timer callback that resolves its event before calling the listener.
#include "connection/timer_queue.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/critical_section.h"
#include "platform/thread.h"
#include "vkdll/vkdll.h"

namespace {

constexpr std::size_t kEventMapBuckets = 10007;
constexpr std::size_t kQueueBuckets = 101;
// The largest whole number of seconds whose milliseconds fit in 32 bits, plus one.
constexpr std::uint64_t kMaxDueSeconds = 4294967;
// Days from 30 December 1899 to 1 January 1970.
constexpr double kUnixEpochDays = 25569.0;

struct SProcessTimers {
  vok::CCriticalSection lock;
  std::unordered_map<CTimerQueueEvent*, vok::SystemTimerHandle> events;  // guarded by lock
};

SProcessTimers& ProcessTimers() {
  static SProcessTimers s_timers;
  return s_timers;
}

unsigned Identity(const void* object) { return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(object)); }

}  // namespace

CTimerQueueEvent::CTimerQueueEvent(CTimerQueue* queue, std::uint32_t userInfo1, std::uint32_t userInfo2,
                                   ITimedEventListener* listener, std::uint32_t due, std::uint32_t period)
    : m_queue(queue),
      m_userInfo1(userInfo1),
      m_userInfo2(userInfo2),
      m_listener(listener),
      m_due(due),
      m_period(period) {
  if (m_listener) m_listener->AddRef();
}

CTimerQueueEvent::~CTimerQueueEvent() {
  if (m_listener) m_listener->Release();
}

long CTimerQueueEvent::AddRef() { return ++m_refs; }

long CTimerQueueEvent::Release() {
  const long refs = --m_refs;
  if (refs == 0) delete this;  // the count owns the event
  return refs;
}

CTimerQueue::CTimerQueue() {
  m_events.reserve(kQueueBuckets);
  SProcessTimers& timers = ProcessTimers();
  vok::CCriticalSectionLock lock(timers.lock);
  if (timers.events.bucket_count() < kEventMapBuckets) timers.events.reserve(kEventMapBuckets);
}

CTimerQueue::~CTimerQueue() {
  SProcessTimers& timers = ProcessTimers();
  vok::CCriticalSectionLock lock(timers.lock);
  // DeleteTimer erases from m_events, so walk a copy.
  std::vector<CTimerQueueEvent*> events;
  events.reserve(m_events.size());
  for (const auto& entry : m_events) events.push_back(entry.second);
  for (CTimerQueueEvent* event : events) {
    event->AddRef();
    DeleteTimer(event, false);
    timers.events.erase(event);
    event->Release();
  }
  m_events.clear();
}

std::size_t CTimerQueue::Count() const {
  vok::CCriticalSectionLock lock(ProcessTimers().lock);
  return m_events.size();
}

bool CTimerQueue::CreateTimer(CTimerQueueEvent** out, ITimedEventListener* listener, std::uint32_t userInfo1,
                              std::uint32_t userInfo2, std::uint32_t due, std::uint32_t period, std::uint32_t flags) {
  if (out == nullptr) return false;
  *out = nullptr;
  SProcessTimers& timers = ProcessTimers();
  vok::CCriticalSectionLock lock(timers.lock);
  const auto existing = m_events.find(userInfo1);
  if (existing != m_events.end()) {
    VOKTRACE_Printf(VOKTRACE_WARNING, "CTimerQueue::CreateTimer, dwUserInfo1=%d already mapped to event %x,%x",
                    static_cast<int>(userInfo1), Identity(existing->second),
                    Identity(existing->second->GetTimerHandle()));
    return false;
  }
  // The creation reference: dropped at the end whatever happens.
  CTimerQueueEvent* event = new CTimerQueueEvent(this, userInfo1, userInfo2, listener, due, period);
  std::uint32_t error = 0;
  const vok::SystemTimerHandle timer = vok::CreateSystemTimer(&TimerProc, event, due, period, flags, &error);
  if (timer == nullptr) {
    VOKTRACE_Printf(VOKTRACE_FAILURE, "CreateTimerQueueTimer failed - GetLastError() returns 0x%x", error);
    event->Release();
    return false;
  }
  // The callback cannot resolve the event before both maps hold it: it needs this lock first.
  event->AddRef();  // the registration's
  event->m_timer = timer;
  timers.events[event] = timer;
  m_events[userInfo1] = event;
  event->AddRef();  // the caller's
  *out = event;
  event->Release();
  return true;
}

bool CTimerQueue::CreateTimer(CTimerQueueEvent** out, ITimedEventListener* listener, std::uint32_t userInfo1,
                              std::uint32_t userInfo2, AbsoluteSeconds due, std::uint32_t period, std::uint32_t flags) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const std::int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  const std::int64_t nowSeconds = nowMs / 1000;
  const std::int64_t dueOfDay = ((due.seconds % 86400) + 86400) % 86400;
  return CreateTimerIn(out, listener, userInfo1, userInfo2, due.seconds - nowSeconds,
                       static_cast<std::uint32_t>(nowMs % 1000), static_cast<std::uint32_t>(dueOfDay), period, flags);
}

bool CTimerQueue::CreateTimer(CTimerQueueEvent** out, ITimedEventListener* listener, std::uint32_t userInfo1,
                              std::uint32_t userInfo2, AbsoluteDate due, std::uint32_t period, std::uint32_t flags) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const std::int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  const double nowDays = kUnixEpochDays + static_cast<double>(nowMs) / 86400000.0;
  const double differenceSeconds = (due.days - nowDays) * 86400.0;
  // llround rounds halves away from zero; far-off or invalid dates count as overflow.
  const std::int64_t seconds = std::isfinite(differenceSeconds) && std::fabs(differenceSeconds) < 1e15
                                   ? std::llround(differenceSeconds)
                                   : std::int64_t{-1};
  double dayFraction = std::isfinite(due.days) ? due.days - std::floor(due.days) : 0.0;
  const std::uint32_t dueOfDay = static_cast<std::uint32_t>(std::llround(dayFraction * 86400.0)) % 86400;
  return CreateTimerIn(out, listener, userInfo1, userInfo2, seconds, static_cast<std::uint32_t>(nowMs % 1000), dueOfDay,
                       period, flags);
}

bool CTimerQueue::CreateTimerIn(CTimerQueueEvent** out, ITimedEventListener* listener, std::uint32_t userInfo1,
                                std::uint32_t userInfo2, std::int64_t seconds, std::uint32_t nowMs,
                                std::uint32_t dueOfDaySeconds, std::uint32_t period, std::uint32_t flags) {
  if (out == nullptr) return false;
  *out = nullptr;
  // Taken as unsigned, a due time in the past is a huge number and fails the same way.
  if (static_cast<std::uint32_t>(seconds) >= kMaxDueSeconds || seconds < 0 ||
      seconds >= static_cast<std::int64_t>(kMaxDueSeconds)) {
    char dueText[16];
    std::snprintf(dueText, sizeof dueText, "%02u:%02u:%02u", dueOfDaySeconds / 3600, dueOfDaySeconds / 60 % 60,
                  dueOfDaySeconds % 60);
    VOKTRACE_Printf(VOKTRACE_WARNING,
                    "CTimerQueue::CreateTimer (%x) failed due to timeDue overflow, due=%s, period=%d, userinfo=%d "
                    "tid=%x",
                    Identity(this), dueText, static_cast<int>(period), static_cast<int>(userInfo1),
                    vok::CurrentThreadId());
    return false;
  }
  const std::uint32_t dueMs = static_cast<std::uint32_t>(seconds) * 1000;
  // Due within the current second: at once rather than wrapping round.
  return CreateTimer(out, listener, userInfo1, userInfo2, dueMs > nowMs ? dueMs - nowMs : 0, period, flags);
}

void VOK_TIMER_CALLBACK CTimerQueue::TimerProc(void* parameter, unsigned char) {
  // The event may already be deleted: it is only a key until the map says it is alive.
  CTimerQueueEvent* const event = static_cast<CTimerQueueEvent*>(parameter);
  SProcessTimers& timers = ProcessTimers();
  ITimedEventListener* listener = nullptr;
  {
    vok::CCriticalSectionLock lock(timers.lock);
    const auto it = timers.events.find(event);
    if (it == timers.events.end() || it->second != event->GetTimerHandle()) {
      VOKTRACE_Printf(VOKTRACE_WARNING, "CTimerQueue::TimerProc, unable to resolve event %x", Identity(event));
      return;
    }
    event->AddRef();
    listener = event->GetListener();
    if (listener) listener->AddRef();
  }
  if (listener) {
    listener->OnTimedEvent(event);
    listener->Release();
  }
  event->Release();
}

bool CTimerQueue::DeleteTimer(CTimerQueueEvent* event, bool wait) {
  if (event == nullptr) return false;
  SProcessTimers& timers = ProcessTimers();
  vok::CCriticalSectionLock lock(timers.lock);
  const vok::SystemTimerHandle timer = event->GetTimerHandle();
  const auto it = timers.events.find(event);
  if (it == timers.events.end() || it->second != timer) {
    VOKTRACE_Printf(VOKTRACE_DETAIL, "CTimerQueue::DeleteTimer: failed to resolve hTimer=%x!", Identity(timer));
    return false;
  }
  timers.events.erase(it);
  CTimerQueue* const queue = event->GetQueue();
  const auto own = queue->m_events.find(event->GetUserInfo1());
  if (own != queue->m_events.end() && own->second == event) queue->m_events.erase(own);
  // Kept alive until the system timer is gone, whoever else drops a reference meanwhile.
  event->AddRef();
  event->Release();  // the registration's
  std::uint32_t error = 0;
  bool deleted;
  if (wait) {
    // A running callback needs this lock before it can finish, so the waiting deletion runs
    // without it. The recursive lock may be held more than once by this thread; the caller must
    // not hold it when asking to wait.
    timers.lock.Unlock();
    deleted = vok::DeleteSystemTimer(timer, true, &error);
    timers.lock.Lock();
  } else {
    deleted = vok::DeleteSystemTimer(timer, false, &error);
  }
  if (!deleted && error != vok::kSystemTimerCallbackRunning) {
    VOKTRACE_Printf(VOKTRACE_WARNING,
                    "CTimerQueue::DeleteTimer: DeleteTimerQueueTimer(%x) failed. GetLastError() returned %x",
                    Identity(event), error);
  }
  event->Release();
  return deleted;
}

bool CTimerQueue::DeleteTimerByUserInfo1(std::uint32_t userInfo1, bool wait) {
  SProcessTimers& timers = ProcessTimers();
  CTimerQueueEvent* event = nullptr;
  {
    vok::CCriticalSectionLock lock(timers.lock);
    const auto it = m_events.find(userInfo1);
    if (it == m_events.end()) {
      VOKTRACE_Printf(VOKTRACE_DETAIL, "CTimerQueue::DeleteTimerByUserInfo1: failed to find event id %d",
                      static_cast<int>(userInfo1));
      return false;
    }
    event = it->second;
    event->AddRef();
  }
  // Outside the lock so that a waiting deletion really waits without it.
  const bool deleted = DeleteTimer(event, wait);
  event->Release();
  return deleted;
}

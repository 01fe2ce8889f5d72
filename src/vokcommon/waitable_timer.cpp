// CWaitableTimer over the platform's kernel timer.
#include "vokcommon/waitable_timer.h"

#include <new>

BOOL CWaitableTimer::Create(BOOL, const void*, const char*) {
  if (!m_timer) {
    auto timer = std::unique_ptr<vok::CWaitTimer>(new (std::nothrow) vok::CWaitTimer);
    if (!timer || !timer->IsValid()) return 0;
    m_timer = std::move(timer);
  }
  return 1;
}

BOOL CWaitableTimer::SetOnceOffRelative(DWORD ms) { return m_timer && m_timer->SetOnceOffRelative(ms) ? 1 : 0; }

BOOL CWaitableTimer::SetPeriodicRelative(DWORD dueMs, DWORD periodMs) {
  return m_timer && m_timer->SetPeriodicRelative(dueMs, periodMs) ? 1 : 0;
}

BOOL CWaitableTimer::Cancel() { return m_timer && m_timer->Cancel() ? 1 : 0; }

vok::WaitHandle CWaitableTimer::Handle() const { return m_timer ? m_timer->Handle() : vok::WaitHandle(); }

// CMasterRecord: the process-wide entry of one subscribed symbol on one service: the ids of the
// threads that hold at least one callback for it, and (in the service subclasses) the cached data.
// Guarded by the owning handler's lock.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/thread.h"

class CMasterRecord {
 public:
  CMasterRecord() = default;
  CMasterRecord(const CMasterRecord&) = delete;
  CMasterRecord& operator=(const CMasterRecord&) = delete;
  virtual ~CMasterRecord() = default;

  // False when the thread is already in the array.
  bool AddThread(vok::ThreadId thread) {
    if (std::find(m_threads.begin(), m_threads.end(), thread) != m_threads.end()) return false;
    m_threads.push_back(thread);
    return true;
  }
  // False when the thread is not in the array.
  bool RemoveThread(vok::ThreadId thread) {
    auto it = std::find(m_threads.begin(), m_threads.end(), thread);
    if (it == m_threads.end()) return false;
    m_threads.erase(it);
    return true;
  }
  int ThreadCount() const { return static_cast<int>(m_threads.size()); }
  std::span<const vok::ThreadId> Threads() const { return m_threads; }

  // When the last data message for the symbol arrived, in ns since 1970 UTC at the system tick's
  // resolution (staleness is judged in seconds, and a precise reading per update cost the
  // dispatcher a clock read each); 0 when none came since the subscription or the last logon
  // (what the cache holds may be stale then).
  std::int64_t LastUpdateNs() const { return m_lastUpdateNs; }
  void NoteUpdate() { m_lastUpdateNs = vok::CoarseWallClockNs(); }
  void ForgetUpdate() { m_lastUpdateNs = 0; }

 private:
  std::vector<vok::ThreadId> m_threads;
  std::int64_t m_lastUpdateNs = 0;
};

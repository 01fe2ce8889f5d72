// The bounded, conflating queue between the loop thread and a Python consumer.
#include "record_queue.h"

#include <chrono>

#include <sys/eventfd.h>
#include <unistd.h>

namespace vok::py {

CRecordQueue::CRecordQueue(std::size_t bound)
    : m_bound(bound < 1 ? 1 : bound), m_readyFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CRecordQueue::~CRecordQueue() {
  if (m_readyFd >= 0) ::close(m_readyFd);
}

void CRecordQueue::SetReady(bool ready) {
  if (ready == m_ready || m_readyFd < 0) return;
  m_ready = ready;
  std::uint64_t value = 1;
  // The counter is only ever 0 or 1, so neither call can block or fail for a full counter.
  if (ready) {
    (void)!::write(m_readyFd, &value, sizeof value);
  } else {
    (void)!::read(m_readyFd, &value, sizeof value);
  }
}

void CRecordQueue::Push(SBindingRecord&& record) {
  {
    std::lock_guard lock(m_mutex);
    if (m_closed) return;
    ++m_stats.delivered;
    if (m_records.size() >= m_bound) {
      std::u16string key = record.ConflationKey();
      if (key.empty()) {
        if (m_indexed) {
          const auto front = m_newest.find(m_records.front().ConflationKey());
          if (front != m_newest.end() && front->second == m_frontSequence) m_newest.erase(front);
        }
        m_records.pop_front();
        ++m_frontSequence;
        ++m_stats.dropped;
      } else {
        if (!m_indexed) {
          for (std::size_t i = 0; i < m_records.size(); ++i) {
            std::u16string waiting = m_records[i].ConflationKey();
            if (!waiting.empty()) m_newest[std::move(waiting)] = m_frontSequence + i;
          }
          m_indexed = true;
        }
        const auto found = m_newest.find(key);
        if (found != m_newest.end()) {
          m_records[found->second - m_frontSequence] = std::move(record);
          ++m_stats.replaced;
          return;
        }
        m_newest.emplace(std::move(key), m_frontSequence + m_records.size());
      }
    } else if (m_indexed) {
      std::u16string key = record.ConflationKey();
      if (!key.empty()) m_newest[std::move(key)] = m_frontSequence + m_records.size();
    }
    m_records.push_back(std::move(record));
    if (m_records.size() > m_stats.highWater) m_stats.highWater = m_records.size();
    SetReady(true);
  }
  m_wake.notify_one();
}

bool CRecordQueue::Pop(SBindingRecord& out, int timeoutMs, bool& closed) {
  std::unique_lock lock(m_mutex);
  if (m_records.empty() && !m_closed && timeoutMs > 0)
    m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_records.empty() || m_closed; });
  closed = m_closed && m_records.empty();
  if (m_records.empty()) return false;
  out = std::move(m_records.front());
  m_records.pop_front();
  if (m_indexed) {
    const auto found = m_newest.find(out.ConflationKey());
    if (found != m_newest.end() && found->second == m_frontSequence) m_newest.erase(found);
  }
  ++m_frontSequence;
  if (m_records.empty()) {
    m_newest.clear();
    m_indexed = false;
    SetReady(m_closed);
  }
  return true;
}

void CRecordQueue::Close() {
  {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    SetReady(true);
  }
  m_wake.notify_all();
}

SQueueStats CRecordQueue::Stats() const {
  std::lock_guard lock(m_mutex);
  SQueueStats stats = m_stats;
  stats.depth = m_records.size();
  return stats;
}

}  // namespace vok::py

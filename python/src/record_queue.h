// CRecordQueue: the bounded hand-over between the binding's loop thread, where the library calls
// back with records, and the Python thread that iterates a stream. A consumer that falls behind
// gets the library's conflation: at the bound a level 1 or options record replaces the waiting one
// of its symbol, a level 2 record the one of its symbol, market maker and side (each keeps its
// predecessor's place), and a time and sales print or an event pushes out the oldest waiting one,
// counted. Every method may be called from any thread; m_mutex guards everything but m_readyFd.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

#include "binding_record.h"

namespace vok::py {

struct SQueueStats {
  std::uint64_t delivered = 0;  // records the library handed over
  std::uint64_t replaced = 0;   // waiting records replaced by a newer one of the same key
  std::uint64_t dropped = 0;    // prints and events pushed out unread
  std::size_t depth = 0;
  std::size_t highWater = 0;
};

class CRecordQueue {
 public:
  explicit CRecordQueue(std::size_t bound);
  CRecordQueue(const CRecordQueue&) = delete;
  CRecordQueue& operator=(const CRecordQueue&) = delete;
  ~CRecordQueue();

  void Push(SBindingRecord&& record);
  // Waits up to timeoutMs (0: not at all) for a record. True with `out` set; false when none
  // waits, with `closed` saying whether none ever will.
  bool Pop(SBindingRecord& out, int timeoutMs, bool& closed);
  // No record is accepted after this; waiters wake, and what waits can still be taken.
  void Close();
  // Readable while a record waits or the queue is closed; for an event loop's reader.
  int ReadyFd() const { return m_readyFd; }
  SQueueStats Stats() const;

 private:
  void SetReady(bool ready);  // with m_mutex held

  const std::size_t m_bound;
  const int m_readyFd;
  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<SBindingRecord> m_records;  // guarded by m_mutex
  // Conflation key -> sequence number of its newest waiting record; built when the queue reaches
  // its bound and dropped when it empties, so a consumer that keeps up pays nothing for it.
  std::unordered_map<std::u16string, std::uint64_t> m_newest;
  std::uint64_t m_frontSequence = 0;  // sequence number of m_records.front()
  bool m_indexed = false;
  bool m_ready = false;
  bool m_closed = false;
  SQueueStats m_stats;
};

}  // namespace vok::py

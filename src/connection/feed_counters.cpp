// The process-wide feed counters.
#include "connection/feed_counters.h"

#include <new>

#include "message/wire_vocabulary.h"

namespace vok {

EFeedType FeedTypeOf(int messageType) {
  switch (messageType) {
    case wire::kMsgLevel1:
      return kFeedLevel1;
    case wire::kMsgLevel1Alt:
      return kFeedLevel1Alt;
    case wire::kMsgLevel2:
      return kFeedLevel2;
    case wire::kMsgTimeSales:
      return kFeedTimeSales;
    case wire::kMsgOptions:
      return kFeedOptions;
    case wire::kMsgLogonReply:
      return kFeedLogonReply;
    case wire::kMsgHeartbeat:
      return kFeedHeartbeat;
    case wire::kMsgDisconnectNotice:
      return kFeedNotice;
    default:
      return kFeedOther;
  }
}

CFeedCounters& CFeedCounters::Process() {
  // Never destroyed: a reader thread may count while the process exits.
  alignas(CFeedCounters) static unsigned char storage[sizeof(CFeedCounters)];
  static CFeedCounters* const counters = new (storage) CFeedCounters();
  return *counters;
}

void CFeedCounters::Ended(EDisconnectReason reason, std::int32_t error) {
  if (reason == EDisconnectReason::ConnectFailed) {
    m_connectFailures.fetch_add(1, std::memory_order_relaxed);
  } else {
    m_disconnects.fetch_add(1, std::memory_order_relaxed);
  }
  m_last.store((static_cast<std::uint64_t>(reason) << 32) | static_cast<std::uint32_t>(error),
               std::memory_order_relaxed);
}

SFeedCounts CFeedCounters::Snapshot() const {
  SFeedCounts counts;
  for (int i = 0; i < kFeedTypeCount; ++i) {
    counts.messages[i] = m_messages[i].load(std::memory_order_relaxed);
    counts.bytes[i] = m_bytes[i].load(std::memory_order_relaxed);
  }
  counts.connects = m_connects.load(std::memory_order_relaxed);
  counts.disconnects = m_disconnects.load(std::memory_order_relaxed);
  counts.connectFailures = m_connectFailures.load(std::memory_order_relaxed);
  const std::uint64_t last = m_last.load(std::memory_order_relaxed);
  counts.lastReason = static_cast<EDisconnectReason>(last >> 32);
  counts.lastError = static_cast<std::int32_t>(static_cast<std::uint32_t>(last));
  return counts;
}

}  // namespace vok

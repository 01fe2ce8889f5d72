// The process's counts of what the quote server sent and of how its connections ended: messages
// and bytes per message type, connections made, lost and failed, and the last reason a
// connection ended. The transport's reader thread counts the lines of each read in a CFeedTally
// and adds them at the end of the read (relaxed atomic additions per type seen); anyone reads a
// snapshot. Process-wide, like the one current client.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace vok {

// Message types in the order of the counters; kFeedOther holds types a server may not send.
enum EFeedType : int {
  kFeedLevel1,
  kFeedLevel1Alt,
  kFeedLevel2,
  kFeedTimeSales,
  kFeedOptions,
  kFeedLogonReply,
  kFeedHeartbeat,
  kFeedNotice,
  kFeedOther,
  kFeedTypeCount
};

enum class EDisconnectReason : int {
  None = 0,
  Closed = 1,         // the stream ended: the server closed it or the network failed
  Heartbeat = 2,      // nothing arrived between two heartbeat ticks
  Notice = 3,         // the server said the user logged in elsewhere
  ConnectFailed = 4,  // an attempt to connect failed (error: the system's code)
  Requested = 5,      // the host called Disconnect
};

struct SFeedCounts {
  std::array<std::uint64_t, kFeedTypeCount> messages{};
  std::array<std::uint64_t, kFeedTypeCount> bytes{};
  std::uint64_t connects = 0;
  std::uint64_t disconnects = 0;  // connections that ended, for any reason
  std::uint64_t connectFailures = 0;
  EDisconnectReason lastReason = EDisconnectReason::None;
  std::int32_t lastError = 0;
};

EFeedType FeedTypeOf(int messageType);

class CFeedCounters {
 public:
  static CFeedCounters& Process();

  void CountLine(int messageType, std::uint64_t bytes) { Add(FeedTypeOf(messageType), 1, bytes); }
  void Add(EFeedType type, std::uint64_t messages, std::uint64_t bytes) {
    m_messages[type].fetch_add(messages, std::memory_order_relaxed);
    m_bytes[type].fetch_add(bytes, std::memory_order_relaxed);
  }
  void Connected() { m_connects.fetch_add(1, std::memory_order_relaxed); }
  void Ended(EDisconnectReason reason, std::int32_t error = 0);
  SFeedCounts Snapshot() const;

 private:
  std::array<std::atomic<std::uint64_t>, kFeedTypeCount> m_messages{};
  std::array<std::atomic<std::uint64_t>, kFeedTypeCount> m_bytes{};
  std::atomic<std::uint64_t> m_connects{0};
  std::atomic<std::uint64_t> m_disconnects{0};
  std::atomic<std::uint64_t> m_connectFailures{0};
  // Reason and error in one word, so a reader never sees one without the other.
  std::atomic<std::uint64_t> m_last{0};
};

// The lines of one read, counted on the reader's own stack and added to the process's counters
// in one go: the shared counters then cost a few additions per read, not two per line.
class CFeedTally {
 public:
  void CountLine(int messageType, std::uint64_t bytes) {
    const EFeedType type = FeedTypeOf(messageType);
    ++m_messages[type];
    m_bytes[type] += bytes;
  }
  // Adds what was counted and starts again from zero.
  void AddTo(CFeedCounters& counters) {
    for (int type = 0; type < kFeedTypeCount; ++type) {
      if (m_messages[type] == 0) continue;
      counters.Add(static_cast<EFeedType>(type), m_messages[type], m_bytes[type]);
      m_messages[type] = 0;
      m_bytes[type] = 0;
    }
  }

 private:
  std::array<std::uint64_t, kFeedTypeCount> m_messages{};
  std::array<std::uint64_t, kFeedTypeCount> m_bytes{};
};

}  // namespace vok

// CFeedStatsSampler: readings of the library's feed statistics turned into what vokquote shows -
// rates per second since the previous reading, per message type, the pump queue, the subscriber
// queues and the connection's history - as a table for the live `stats` view or as one JSON line
// {"kind":"stats",...} for --stats-every. Main thread only.
#pragma once

#include <vokquote/api.h>

#include <optional>
#include <string>
#include <vector>

namespace vok::cli {

class CFeedStatsSampler {
 public:
  // Takes a reading; the first one's rates count from the library's start.
  void Sample();
  std::string Json() const;
  std::vector<std::string> Table() const;

 private:
  double Seconds() const;
  double Rate(std::uint64_t now, std::uint64_t before) const;

  VokFeedStatistics m_now{};
  std::optional<VokFeedStatistics> m_before;
  std::vector<VokSubscriberStatistics> m_subscribers;
};

// The name of a VokDisconnectReason ("closed", "heartbeat", ...).
const char* DisconnectReasonName(int reason);

}  // namespace vok::cli

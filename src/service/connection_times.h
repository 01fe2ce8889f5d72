// The fixed delays of the connection: the heartbeat period, the reconnect delay after a drop
// (a random whole number of steps above the base) and the retry after a failed connect. Read
// wherever a timer is armed.
#pragma once

#include <atomic>
#include <cstdint>

namespace vok {

struct SConnectionTimes {
  std::atomic<std::uint32_t> heartbeatMs{30000};
  std::atomic<std::uint32_t> reconnectBaseMs{10000};
  std::atomic<std::uint32_t> reconnectStepMs{1000};  // the delay is base + (0..4) steps
  std::atomic<std::uint32_t> connectRetryMs{20000};
};

const SConnectionTimes& ConnectionTimes();

}  // namespace vok

// The fixed delays of the connection: the heartbeat period, the reconnect delay after a drop
// (a random whole number of steps above the base) and the retry after a failed connect. Read
// wherever a timer is armed.
#pragma once

#include <vokquote/api.h>

#include <atomic>
#include <cstdint>

namespace vok {

struct SConnectionTimes {
  std::atomic<std::uint32_t> heartbeatMs{30000};
  std::atomic<std::uint32_t> reconnectBaseMs{VOK_RECONNECT_BASE_MS};
  std::atomic<std::uint32_t> reconnectStepMs{VOK_RECONNECT_STEP_MS};  // the delay is base + (0..4) steps
  std::atomic<std::uint32_t> connectRetryMs{VOK_CONNECT_RETRY_MS};
};

const SConnectionTimes& ConnectionTimes();

}  // namespace vok

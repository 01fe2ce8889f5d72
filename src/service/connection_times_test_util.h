// Test builds only: shortens the connection's delays for the length of a scope, so that tests of
// heartbeats and reconnection run in fractions of a second. The product never changes them.
#pragma once

#include <cstdint>

#include "service/connection_times.h"

namespace vok::detail {
extern SConnectionTimes g_connectionTimes;
}  // namespace vok::detail

namespace vok::test {

class CScopedConnectionTimes {
 public:
  CScopedConnectionTimes(std::uint32_t heartbeatMs, std::uint32_t reconnectBaseMs, std::uint32_t reconnectStepMs,
                         std::uint32_t connectRetryMs) {
    Save();
    auto& times = detail::g_connectionTimes;
    times.heartbeatMs = heartbeatMs;
    times.reconnectBaseMs = reconnectBaseMs;
    times.reconnectStepMs = reconnectStepMs;
    times.connectRetryMs = connectRetryMs;
  }
  ~CScopedConnectionTimes() {
    auto& times = detail::g_connectionTimes;
    times.heartbeatMs = m_saved[0];
    times.reconnectBaseMs = m_saved[1];
    times.reconnectStepMs = m_saved[2];
    times.connectRetryMs = m_saved[3];
  }
  CScopedConnectionTimes(const CScopedConnectionTimes&) = delete;
  CScopedConnectionTimes& operator=(const CScopedConnectionTimes&) = delete;

 private:
  void Save() {
    const auto& times = detail::g_connectionTimes;
    m_saved[0] = times.heartbeatMs;
    m_saved[1] = times.reconnectBaseMs;
    m_saved[2] = times.reconnectStepMs;
    m_saved[3] = times.connectRetryMs;
  }
  std::uint32_t m_saved[4] = {};
};

}  // namespace vok::test

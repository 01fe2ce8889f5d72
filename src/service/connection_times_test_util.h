// Test builds only: shortens the connection's delays for the length of a scope, so that tests of
// heartbeats and reconnection run in fractions of a second. The product never changes them.
#pragma once

#include <array>
#include <cstddef>
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
    const std::uint32_t values[4] = {heartbeatMs, reconnectBaseMs, reconnectStepMs, connectRetryMs};
    for (std::size_t i = 0; i < 4; ++i) m_saved[i] = Times()[i]->exchange(values[i]);
  }
  ~CScopedConnectionTimes() {
    for (std::size_t i = 0; i < 4; ++i) Times()[i]->store(m_saved[i]);
  }
  CScopedConnectionTimes(const CScopedConnectionTimes&) = delete;
  CScopedConnectionTimes& operator=(const CScopedConnectionTimes&) = delete;

 private:
  static std::array<std::atomic<std::uint32_t>*, 4> Times() {
    auto& times = detail::g_connectionTimes;
    return {&times.heartbeatMs, &times.reconnectBaseMs, &times.reconnectStepMs, &times.connectRetryMs};
  }
  std::uint32_t m_saved[4] = {};
};

}  // namespace vok::test

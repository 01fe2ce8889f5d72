// The one instance of the connection's delays.
#include "service/connection_times.h"

namespace vok::detail {
// Written only by the test-build override in connection_times_test_util.h.
SConnectionTimes g_connectionTimes;
}  // namespace vok::detail

namespace vok {
const SConnectionTimes& ConnectionTimes() { return detail::g_connectionTimes; }
}  // namespace vok

// Trace settings and the in-process sink that tests use to read trace lines.
// Lines go to the destination named by VOKQUOTE_TRACE (a file path, "stderr", or unset for none)
// when their level is at least VOKQUOTE_TRACE_LEVEL (default 3), and to an installed sink at every
// level. Where the environment is silent the per-user settings "TraceFile" and "TraceLevel" apply
// ("LogQuotes" on lowers the default to 2); with no destination at all, levels 4 and 5 still go to
// the system debugger where there is one. Read once, on first use; ReloadTraceSettings reads again.
#pragma once

#include <functional>
#include <string_view>

namespace vok {

// Receives the level and the text of each line (no time, thread or trailing line feed).
// Called on the tracing thread, under the trace lock: a sink must not trace.
using TraceSink = std::function<void(int level, std::string_view text)>;

// Installs a sink for its lifetime and restores the previous one afterwards.
class CScopedTraceSink {
 public:
  explicit CScopedTraceSink(TraceSink sink);
  CScopedTraceSink(const CScopedTraceSink&) = delete;
  CScopedTraceSink& operator=(const CScopedTraceSink&) = delete;
  ~CScopedTraceSink();

 private:
  TraceSink m_previous;
};

// True when a line at this level would be written anywhere: lets callers skip building text.
bool TraceEnabled(int level);

void ReloadTraceSettings();

}  // namespace vok

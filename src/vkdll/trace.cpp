// Trace lines: "YYYY-MM-DD HH:MM:SS.mmm [tid] L text", one whole line per call, written under one
// lock so lines from different threads never interleave.
#include "vkdll/trace.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/debug_output.h"
#include "platform/settings_store.h"
#include "platform/thread.h"
#include "vkdll/vkdll.h"

namespace vok {
namespace {

constexpr int kDefaultMinLevel = 3;
constexpr std::size_t kMaxLine = 70 * 1024;  // a whole 64 KiB message line and its prefix
constexpr int kDebugOutputLevel = VOKTRACE_WARNING;

struct STraceSettings {
  std::string destination;  // a file path, "stderr", or empty for none
  int minLevel = kDefaultMinLevel;
};

// The environment first (VOKQUOTE_TRACE, VOKQUOTE_TRACE_LEVEL); what it leaves unset comes from the
// per-user settings ("TraceFile", "TraceLevel"), which a COM host such as a spreadsheet cannot
// bypass. With "LogQuotes" on and no level given, the data-message lines (level 2) are written.
STraceSettings ReadTraceSettings() {
  STraceSettings settings;
  if (const char* dest = std::getenv("VOKQUOTE_TRACE"); dest != nullptr && *dest != '\0') {
    settings.destination = dest;
  } else {
    CSettingsStore::ReadString("", "TraceFile", settings.destination);
  }
  std::uint32_t value = 0;
  if (const char* level = std::getenv("VOKQUOTE_TRACE_LEVEL"); level != nullptr && *level != '\0') {
    settings.minLevel = std::atoi(level);
  } else if (CSettingsStore::ReadDword("", "TraceLevel", value) && value != 0) {
    settings.minLevel = static_cast<int>(std::min<std::uint32_t>(value, VOKTRACE_FAILURE));
  } else if (CSettingsStore::ReadDword("", "LogQuotes", value) && value != 0) {
    settings.minLevel = VOKTRACE_INFO;
  }
  return settings;
}

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr && f != stderr) std::fclose(f);
  }
};

class CTraceState {
 public:
  static CTraceState& Instance() {
    static CTraceState state;
    return state;
  }

  bool Enabled(int level) const {
    return m_hasSink.load(std::memory_order_acquire) ||
           (m_hasFile.load(std::memory_order_acquire) && level >= m_minLevel.load(std::memory_order_relaxed)) ||
           (m_debugWarnings.load(std::memory_order_acquire) && level >= kDebugOutputLevel);
  }

  void Reload() {
    const STraceSettings settings = ReadTraceSettings();
    std::lock_guard lock(m_lock);
    m_file.reset();
    m_hasFile.store(false, std::memory_order_release);
    m_minLevel.store(settings.minLevel, std::memory_order_relaxed);
    // With nowhere to write, warnings and failures still reach a debugger.
    m_debugWarnings.store(settings.destination.empty() && HasDebugOutput(), std::memory_order_release);
    if (settings.destination.empty()) return;
    std::FILE* f = settings.destination == "stderr" ? stderr : std::fopen(settings.destination.c_str(), "a");
    if (f == nullptr) {
      m_debugWarnings.store(HasDebugOutput(), std::memory_order_release);
      return;
    }
    m_file.reset(f);
    m_hasFile.store(true, std::memory_order_release);
  }

  TraceSink SwapSink(TraceSink sink) {
    std::lock_guard lock(m_lock);
    std::swap(sink, m_sink);
    m_hasSink.store(static_cast<bool>(m_sink), std::memory_order_release);
    return sink;
  }

  void Write(int level, std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    std::lock_guard lock(m_lock);
    if (m_sink) m_sink(level, text);
    const bool toFile = m_file && level >= m_minLevel.load(std::memory_order_relaxed);
    const bool toDebugger = toFile || (m_debugWarnings.load(std::memory_order_relaxed) && level >= kDebugOutputLevel);
    if (!toDebugger) return;
    char prefix[64];
    const int prefixLen = FormatPrefix(level, prefix, sizeof prefix);
    std::string& line = m_line;
    line.assign(prefix, static_cast<std::size_t>(prefixLen));
    line.append(text);
    line.push_back('\n');
    if (toFile) {
      std::fwrite(line.data(), 1, line.size(), m_file.get());
      std::fflush(m_file.get());
    }
    WriteDebugOutput(line.c_str());
  }

 private:
  CTraceState() { Reload(); }

  static int FormatPrefix(int level, char* out, std::size_t size) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto days = floor<std::chrono::days>(now);
    const year_month_day ymd{days};
    const hh_mm_ss hms{duration_cast<milliseconds>(now - days)};
    return std::snprintf(out, size, "%04d-%02u-%02u %02d:%02d:%02d.%03d [%x] %d ", static_cast<int>(ymd.year()),
                         static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                         static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                         static_cast<int>(hms.seconds().count()), static_cast<int>(hms.subseconds().count()),
                         CurrentThreadId(), level);
  }

  std::mutex m_lock;
  std::unique_ptr<std::FILE, FileCloser> m_file;  // guarded by m_lock
  TraceSink m_sink;                               // guarded by m_lock
  std::string m_line;                             // guarded by m_lock; reused to avoid allocation
  std::atomic<bool> m_hasFile{false};
  std::atomic<bool> m_hasSink{false};
  std::atomic<int> m_minLevel{kDefaultMinLevel};
  std::atomic<bool> m_debugWarnings{false};  // no destination: levels 4 and 5 go to the debugger
};

}  // namespace

CScopedTraceSink::CScopedTraceSink(TraceSink sink) : m_previous(CTraceState::Instance().SwapSink(std::move(sink))) {}

CScopedTraceSink::~CScopedTraceSink() { CTraceState::Instance().SwapSink(std::move(m_previous)); }

bool TraceEnabled(int level) { return CTraceState::Instance().Enabled(level); }

void ReloadTraceSettings() { CTraceState::Instance().Reload(); }

}  // namespace vok

void VOKTRACE_Write(int level, const char* text) {
  auto& state = vok::CTraceState::Instance();
  if (text == nullptr || !state.Enabled(level)) return;
  state.Write(level, text);
}

void VOKTRACE_Printf(int level, const char* format, ...) {
  auto& state = vok::CTraceState::Instance();
  if (format == nullptr || !state.Enabled(level)) return;
  // Formatting happens outside the trace lock; long lines (a whole message) go to the heap.
  char small[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(copy);
    return;
  }
  if (static_cast<std::size_t>(needed) < sizeof small) {
    va_end(copy);
    state.Write(level, std::string_view(small, static_cast<std::size_t>(needed)));
    return;
  }
  const std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(needed), vok::kMaxLine);
  std::string big(size, '\0');
  std::vsnprintf(big.data(), size + 1, format, copy);
  va_end(copy);
  state.Write(level, big);
}

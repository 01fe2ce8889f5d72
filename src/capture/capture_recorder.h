// The process-wide recording of what the quote server sends: while a capture file is set, every
// received line and connection event is appended to it with its receive time. Off by default;
// when off the connection pays one relaxed load and a predictable branch per line (Recording()).
// Any thread: the transport's reader thread records lines, the connection worker and reader
// events, a host starts and stops; one internal lock serialises the writes.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "capture/capture_format.h"

namespace vok::capture {

namespace detail {
inline std::atomic<bool> g_recording{false};
}

inline bool Recording() { return detail::g_recording.load(std::memory_order_relaxed); }

// Starts recording into path (appended; created with its header), replacing any recording under
// way. False, with a one-line reason and nothing recording, when the file cannot be used.
bool StartRecording(const std::string& path, std::string& error);
// Flushes and closes the file. Idempotent.
void StopRecording();
// The file being recorded into, or empty.
std::string RecordingPath();

// Only where Recording() said yes (it may have stopped since: then they do nothing).
void RecordReceived(std::string_view line);
void RecordEvent(std::string_view word, std::int64_t value);
// Writes buffered records out; the heartbeat tick calls it so a quiet feed's last lines reach
// the file too.
void FlushRecording();

}  // namespace vok::capture

// The recorder's state behind one lock, and its flush policy: buffered records go out when a block
// fills, at least every 100 ms while lines arrive, at each connection event and on the heartbeat
// tick, so a crash loses at most the last moments and never a record in the middle of the file.
#include "capture/capture_recorder.h"

#include <chrono>
#include <mutex>
#include <new>

#include "capture/capture_format.h"
#include "capture/capture_writer.h"
#include "vkdll/vkdll.h"

namespace vok::capture {

namespace {

constexpr std::chrono::milliseconds kFlushEvery{100};

struct SRecorder {
  std::mutex lock;
  CCaptureWriter writer;                            // guarded by lock
  std::string path;                                 // guarded by lock
  std::chrono::steady_clock::time_point lastFlush;  // guarded by lock
};

SRecorder& Shared() {
  // Never destroyed: a reader thread may still record while the process exits.
  alignas(SRecorder) static unsigned char storage[sizeof(SRecorder)];
  static SRecorder* const recorder = new (storage) SRecorder();
  return *recorder;
}

// With the lock held: a failed write ends the recording.
void Written(SRecorder& recorder, bool ok) {
  if (ok) return;
  VOKTRACE_Printf(VOKTRACE_FAILURE, "Capture: writing %s failed, recording stopped", recorder.path.c_str());
  detail::g_recording.store(false);
  recorder.writer.Close();
  recorder.path.clear();
}

}  // namespace

bool StartRecording(const std::string& path, std::string& error) {
  SRecorder& recorder = Shared();
  std::lock_guard<std::mutex> lock(recorder.lock);
  detail::g_recording.store(false);
  recorder.writer.Close();
  recorder.path.clear();
  if (!recorder.writer.Open(path, error)) {
    VOKTRACE_Printf(VOKTRACE_FAILURE, "Capture: %s %s", path.c_str(), error.c_str());
    return false;
  }
  recorder.path = path;
  recorder.lastFlush = std::chrono::steady_clock::now();
  detail::g_recording.store(true);
  VOKTRACE_Printf(VOKTRACE_INFO, "Capture: recording into %s", path.c_str());
  return true;
}

void StopRecording() {
  SRecorder& recorder = Shared();
  std::lock_guard<std::mutex> lock(recorder.lock);
  detail::g_recording.store(false);
  if (!recorder.writer.IsOpen()) return;
  recorder.writer.Close();
  VOKTRACE_Printf(VOKTRACE_INFO, "Capture: recording into %s stopped", recorder.path.c_str());
  recorder.path.clear();
}

std::string RecordingPath() {
  SRecorder& recorder = Shared();
  std::lock_guard<std::mutex> lock(recorder.lock);
  return recorder.path;
}

void RecordReceived(std::string_view line) {
  const std::int64_t now = NowNs();
  SRecorder& recorder = Shared();
  std::lock_guard<std::mutex> lock(recorder.lock);
  if (!recorder.writer.IsOpen()) return;
  bool ok = recorder.writer.Append(now, kKindData, line);
  const auto tick = std::chrono::steady_clock::now();
  if (ok && tick - recorder.lastFlush >= kFlushEvery) {
    ok = recorder.writer.Flush();
    recorder.lastFlush = tick;
  }
  Written(recorder, ok);
}

void RecordEvent(std::string_view word, std::int64_t value) {
  std::string text(word);
  text += ' ';
  text += std::to_string(value);
  const std::int64_t now = NowNs();
  SRecorder& recorder = Shared();
  std::lock_guard<std::mutex> lock(recorder.lock);
  if (!recorder.writer.IsOpen()) return;
  Written(recorder, recorder.writer.Append(now, kKindEvent, text) && recorder.writer.Flush());
  recorder.lastFlush = std::chrono::steady_clock::now();
}

void FlushRecording() {
  SRecorder& recorder = Shared();
  std::lock_guard<std::mutex> lock(recorder.lock);
  if (!recorder.writer.IsOpen()) return;
  Written(recorder, recorder.writer.Flush());
  recorder.lastFlush = std::chrono::steady_clock::now();
}

}  // namespace vok::capture

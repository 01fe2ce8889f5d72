// CReplay: a capture file loaded for serving. Only the data lines of the capture are kept (level 1,
// level 2, time and sales, options), each with its receive time relative to the first one and the
// subscription it belongs to, so a session sends a line only to a client that subscribed its
// symbol on its service. Logon replies, heartbeats, notices and connection events are the
// serving session's own business and are not replayed. Loaded once, then read by the server
// thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vok::sim {

struct SReplayLine {
  std::int64_t offsetUs = 0;  // receive time after the capture's first data line
  std::string symbol;         // the level 1/2 and prints symbol, or the options' underlier
  int serviceId = 0;
  std::string line;  // with its line feed
};

class CReplay {
 public:
  // Captures beyond this are refused rather than held: the whole replay lives in memory.
  static constexpr std::size_t kMaxBytes = std::size_t{1} << 30;

  // False, with a one-line reason, when path is no readable capture or is too large.
  bool Load(const std::string& path, std::string& error);
  const std::vector<SReplayLine>& Lines() const { return m_lines; }
  std::uint64_t SkippedLines() const { return m_skipped; }

 private:
  std::vector<SReplayLine> m_lines;
  std::uint64_t m_skipped = 0;
};

// A session's position in a replay: started by its subscriptions, then every line is due at
// the session's start plus the line's offset divided by the speed (speed 0: at once, as fast as
// the client reads).
class CReplayCursor {
 public:
  // Each subscription before the first line went out moves the start to `startUs`, so the
  // requests a client sends one after the other all count from the first line on.
  void Start(std::int64_t startUs) {
    if (m_index == 0) m_startUs = startUs;
    m_started = true;
  }
  bool Started() const { return m_started; }
  // INT64_MAX when the replay ended (or not started).
  std::int64_t NextDueUs(const CReplay& replay, double speed) const;
  // The next line if it is due, else null; Advance moves past it.
  const SReplayLine* Due(const CReplay& replay, double speed, std::int64_t nowUs) const;
  void Advance() { ++m_index; }
  // At the end of a looping replay: play it again from now.
  bool Rewind(const CReplay& replay, std::int64_t nowUs);

 private:
  bool m_started = false;
  std::int64_t m_startUs = 0;
  std::size_t m_index = 0;
};

}  // namespace vok::sim

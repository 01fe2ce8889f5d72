// Loading a capture for replay and the pacing of a session's replay.
#include "replay.h"

#include <climits>
#include <cmath>
#include <fstream>

#include "capture/capture_reader.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"

namespace vok::sim {

namespace {

// The subscription a data line belongs to; false for lines that are no data of a service.
bool SubscriptionOf(std::string_view line, std::string& symbol, int& serviceId) {
  if (line.empty()) return false;
  switch (line[0]) {
    case wire::kMsgLevel1:
    case wire::kMsgLevel1Alt:
      serviceId = wire::kLevel1Service;
      break;
    case wire::kMsgLevel2:
      serviceId = wire::kLevel2Service;
      break;
    case wire::kMsgTimeSales:
      serviceId = wire::kTimeSalesService;
      break;
    case wire::kMsgOptions:
      serviceId = wire::kOptionsService;
      break;
    default:
      return false;
  }
  const std::string text(line);
  VOKMessage message(text.c_str(), static_cast<int>(text.size()));
  symbol.clear();
  if (serviceId == wire::kOptionsService) message.GetString(wire::kFidUnderlier, symbol);
  if (symbol.empty()) message.GetString(wire::kFidSymbol, symbol);
  return !symbol.empty();
}

}  // namespace

bool CReplay::Load(const std::string& path, std::string& error) {
  m_lines.clear();
  m_skipped = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  capture::CCaptureReader reader(in);
  if (!reader.ReadHeader()) {
    error = path + " is not a capture file of version " + std::to_string(capture::kVersion);
    return false;
  }
  std::size_t bytes = 0;
  std::int64_t firstNs = -1;
  capture::SRecord record;
  while (reader.Next(record)) {
    if (record.kind != capture::kKindData) continue;
    SReplayLine line;
    if (!SubscriptionOf(record.text, line.symbol, line.serviceId)) continue;
    bytes += record.text.size() + line.symbol.size() + sizeof(SReplayLine);
    if (bytes > kMaxBytes) {
      error = path + " holds more than " + std::to_string(kMaxBytes >> 20) + " MiB of data lines";
      return false;
    }
    if (firstNs < 0) firstNs = record.timeNs;
    // A clock set back while recording must not send the replay back in time.
    const std::int64_t previous = m_lines.empty() ? 0 : m_lines.back().offsetUs;
    line.offsetUs = std::max(previous, (record.timeNs - firstNs) / 1000);
    line.line.reserve(record.text.size() + 1);
    line.line.append(record.text);
    line.line.push_back('\n');
    m_lines.push_back(std::move(line));
  }
  m_skipped = reader.Skipped();
  return true;
}

std::int64_t CReplayCursor::NextDueUs(const CReplay& replay, double speed) const {
  if (!m_started || m_index >= replay.Lines().size()) return INT64_MAX;
  if (speed <= 0) return m_startUs;
  return m_startUs + static_cast<std::int64_t>(std::llround(replay.Lines()[m_index].offsetUs / speed));
}

const SReplayLine* CReplayCursor::Due(const CReplay& replay, double speed, std::int64_t nowUs) const {
  if (NextDueUs(replay, speed) > nowUs) return nullptr;
  return &replay.Lines()[m_index];
}

bool CReplayCursor::Rewind(const CReplay& replay, std::int64_t nowUs) {
  if (!m_started || replay.Lines().empty() || m_index < replay.Lines().size()) return false;
  m_index = 0;
  m_startUs = nowUs;
  return true;
}

}  // namespace vok::sim

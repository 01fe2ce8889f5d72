// Session behaviour of the simulator: protocol answers, subscriptions, data pacing, scripts, flood.
#include "session.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "server_system.h"

namespace vok::sim {

namespace {

constexpr std::size_t kMaxSubscriptions = 10000;
constexpr std::size_t kMaxSymbolLength = 256;
constexpr std::size_t kMaxRecordedBytes = 16u << 20;
constexpr int kMaxUpdatesPerWake = 1000;
constexpr std::size_t kFloodLines = 4096;
constexpr std::size_t kFloodChunk = 256u << 10;
constexpr int kFloodChunksPerWake = 64;
// A replay queues at most this much ahead of the client and waits for writability beyond it.
constexpr std::size_t kReplayAhead = 256u << 10;
constexpr int kReplayLinesPerWake = 10000;
constexpr std::int64_t kReplaySettleUs = 200000;

}  // namespace

CSession::CSession(int number, CUniqueFd socket, const SServerOptions& options, const SFeedSettings& feedSettings,
                   ISessionHost& host)
    : m_number(number), m_socket(std::move(socket)), m_options(options), m_feedSettings(feedSettings), m_host(host) {
  if (options.flood) {
    m_flooding = true;
    m_floodUnbounded = true;
  }
}

void CSession::Start(std::int64_t nowUs) {
  VOK_DCHECK_THREAD(m_threadChecker);
  m_steps = m_options.script.StepsFor(m_number);
  RunScript(nowUs);
  FlushOut();
}

void CSession::AddSteps(const std::vector<SScriptStep>& steps, std::int64_t nowUs) {
  VOK_DCHECK_THREAD(m_threadChecker);
  m_steps.insert(m_steps.end(), steps.begin(), steps.end());
  RunScript(nowUs);
  FlushOut();
}

void CSession::Close(std::string reason) {
  if (m_closeReason.empty()) m_closeReason = std::move(reason);
}

void CSession::FlushBeforeClose() {
  if (!m_socket.Valid() || m_out.Empty()) return;
  std::size_t written = 0;
  m_out.Flush(m_socket.Get(), m_tls.get(), written);
  m_bytesSent += written;
}

void CSession::FlushOut() {
  if (Closed()) return;
  std::size_t written = 0;
  CSendBuffer::EFlush result = m_out.Flush(m_socket.Get(), m_tls.get(), written);
  m_bytesSent += written;
  if (result == CSendBuffer::EFlush::Failed) {
    Close(std::string("send failed: ") + std::strerror(errno));
  } else if (m_out.Pending() > m_options.maxBacklog) {
    Close("send backlog over " + std::to_string(m_options.maxBacklog) + " bytes");
  }
}

bool CSession::WantsWrite() const {
  if (Closed()) return false;
  // A flood whose lines are not built yet asks for writability; PumpFlood builds them then.
  return !m_out.Empty() || FloodPending();
}

bool CSession::FloodPending() const {
  return m_flooding && m_loggedIn && (m_floodDirty || !m_floodEnds.empty()) &&
         (m_floodUnbounded || m_floodRemaining > 0);
}

std::int64_t CSession::NextDueUs() const {
  std::int64_t due = INT64_MAX;
  if (Closed()) return due;
  if (m_pendingLogonUs >= 0) due = std::min(due, m_pendingLogonUs);
  if (!m_timed.empty()) due = std::min(due, m_timed.front().dueUs);
  if (m_sleepUntilUs >= 0) due = std::min(due, m_sleepUntilUs);
  if (Streaming() && m_heartbeats) due = std::min(due, m_nextHeartbeatUs);
  if (Streaming() && m_data && m_options.replay && m_out.Pending() < kReplayAhead) {
    due = std::min(due, m_replay.NextDueUs(*m_options.replay, m_options.replaySpeed));
  }
  if (Streaming() && m_data && m_options.rate > 0 && !m_options.replay) {
    for (const auto& [key, subscription] : m_subscriptions) {
      due = std::min(due, subscription.nextDueUs);
    }
  }
  return due;
}

void CSession::OnReadable(std::int64_t nowUs) {
  VOK_DCHECK_THREAD(m_threadChecker);
  char buffer[64 * 1024];
  // TLS may hold decrypted bytes that the socket no longer signals, so those are read too.
  for (int reads = 0; (reads < 16 || (m_tls && m_tls->HasBuffered())) && !Closed(); ++reads) {
    const long got = m_tls ? m_tls->Read(buffer, sizeof buffer) : ReceiveSome(m_socket.Get(), buffer, sizeof buffer);
    if (got > 0) {
      Consume(buffer, static_cast<std::size_t>(got), nowUs);
      continue;
    }
    if (got == 0) {
      Close("client closed the connection");
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      Close(std::string("receive failed: ") + std::strerror(errno));
    }
    break;
  }
  FlushOut();
}

void CSession::Consume(const char* data, std::size_t size, std::int64_t nowUs) {
  while (size > 0 && !Closed()) {
    const char* newline = static_cast<const char*>(std::memchr(data, '\n', size));
    const std::size_t take = newline != nullptr ? static_cast<std::size_t>(newline - data) : size;
    if (m_discarding) {
      m_discarding = newline == nullptr;
    } else if (m_partial.size() + take > m_options.maxLine) {
      m_host.Log("session " + std::to_string(m_number) + ": client line over " + std::to_string(m_options.maxLine) +
                 " bytes skipped");
      m_partial.clear();
      m_discarding = newline == nullptr;
    } else {
      m_partial.append(data, take);
      if (newline != nullptr) {
        HandleLine(m_partial, nowUs);
        m_partial.clear();
      }
    }
    const std::size_t used = take + (newline != nullptr ? 1 : 0);
    data += used;
    size -= used;
  }
}

void CSession::HandleLine(std::string& line, std::int64_t nowUs) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return;
  // Recording is bounded in lines and bytes, so a client cannot make the server hoard its input.
  const bool record = m_lines.size() < m_options.maxRecordedLines && m_recordedBytes + line.size() <= kMaxRecordedBytes;
  m_host.OnClientLine(m_number, line, record);
  if (record) {
    m_lines.push_back(line);
    m_recordedBytes += line.size();
  }

  VOKMessage message(line.c_str(), static_cast<int>(line.size()));
  const char type = line[0];
  switch (type) {
    case wire::kMsgLogon:
      OnLogonLine(message, nowUs);
      break;
    case wire::kMsgHeartbeat:
      if (!m_silent) Queue("9|\n");
      break;
    case wire::kMsgSubscribeLevel1:
    case wire::kMsgSubscribe:
    case wire::kMsgUnsubscribe:
      OnSubscribeLine(type, message, nowUs);
      break;
    default:
      m_host.Log("session " + std::to_string(m_number) + ": ignored a line of type '" + std::string(1, type) + "'");
      break;
  }
  RunScript(nowUs);
}

bool CSession::CheckCredentials(const std::string& user, const std::string& password) const {
  if (m_options.users.empty()) return true;
  auto it = m_options.users.find(user);
  return it != m_options.users.end() && it->second == password;
}

void CSession::OnLogonLine(const VOKMessage& message, std::int64_t nowUs) {
  std::string user, password;
  message.GetString(wire::kFidUserName, user);
  message.GetString(wire::kFidPassword, password);
  if (m_logonPolicy == ELogonPolicy::Ignore) {
    m_host.Log("session " + std::to_string(m_number) + ": logon of '" + user + "' left unanswered");
    return;
  }
  if (m_logonPolicy == ELogonPolicy::Refuse || !CheckCredentials(user, password)) {
    m_host.OnLogon(m_number, user, false);
    Close("logon of '" + user + "' refused");
    return;
  }
  m_user = user;
  if (m_logonPolicy == ELogonPolicy::Delay && m_logonDelayMs > 0) {
    m_pendingLogonUs = nowUs + m_logonDelayMs * 1000;
  } else {
    CompleteLogon(nowUs);
  }
}

void CSession::CompleteLogon(std::int64_t nowUs) {
  m_pendingLogonUs = -1;
  m_writer.Begin(wire::kMsgLogonReply);
  m_writer.Text(wire::kFidServerName, m_options.name);
  m_writer.Int(wire::kFidPermissions, static_cast<std::int64_t>(m_options.permissions));
  m_scratch.clear();
  m_writer.AppendTo(m_scratch);
  Queue(m_scratch);
  if (!m_loggedIn) m_nextHeartbeatUs = nowUs + std::int64_t{m_options.heartbeatMs} * 1000;
  m_loggedIn = true;
  m_host.OnLogon(m_number, m_user, true);
}

void CSession::OnSubscribeLine(char type, const VOKMessage& message, std::int64_t nowUs) {
  const std::string prefix = "session " + std::to_string(m_number) + ": ";
  if (!m_loggedIn) {
    m_host.Log(prefix + "subscription line before logon ignored");
    return;
  }
  std::string symbol;
  int service = 0;
  message.GetString(wire::kFidSymbol, symbol);
  if (!message.GetInt(wire::kFidServiceId, service) && type == wire::kMsgSubscribeLevel1) service = kLevel1Service;
  if (symbol.empty() || symbol.size() > kMaxSymbolLength || !IsKnownService(service)) {
    m_host.Log(prefix + "subscription line without a usable symbol or service ignored");
    return;
  }
  auto key = std::make_pair(symbol, service);
  if (type == wire::kMsgUnsubscribe) {
    if (m_subscriptions.erase(key) > 0 && service == kLevel1Service) m_floodDirty = true;
    return;
  }
  if (m_options.replay) {
    // What was recorded is served as it was: no snapshot of a simulated market.
    if (m_subscriptions.size() < kMaxSubscriptions) m_subscriptions.emplace(key, SSubscription{});
    // The clock starts a moment after the last subscription that comes before the first line, so
    // the requests a client sends together (all of them at logon) are in before anything is due.
    m_replay.Start(nowUs + kReplaySettleUs);
    return;
  }
  auto it = m_subscriptions.find(key);
  if (it == m_subscriptions.end()) {
    if (m_subscriptions.size() >= kMaxSubscriptions) {
      m_host.Log(prefix + "subscription limit reached, " + symbol + " ignored");
      return;
    }
    SSubscription subscription;
    subscription.feed = CFeed::Create(service, symbol, m_feedSettings);
    it = m_subscriptions.emplace(key, std::move(subscription)).first;
    if (service == kLevel1Service) m_floodDirty = true;
  }
  const std::int64_t periodUs = m_options.rate > 0 ? 1000000 / m_options.rate : 0;
  it->second.nextDueUs = nowUs + periodUs;
  if (!m_silent && m_data) {
    m_scratch.clear();
    it->second.feed->Snapshot(m_scratch);
    Queue(m_scratch);
  }
}

void CSession::SendData(std::int64_t nowUs) {
  if (!Streaming()) return;
  if (m_heartbeats && nowUs >= m_nextHeartbeatUs) {
    Queue("9|\n");
    const std::int64_t period = std::int64_t{m_options.heartbeatMs} * 1000;
    m_nextHeartbeatUs += period;
    if (m_nextHeartbeatUs <= nowUs) m_nextHeartbeatUs = nowUs + period;
  }
  if (m_options.replay) {
    SendReplay(nowUs);
    return;
  }
  if (!m_data || m_options.rate <= 0) return;
  const std::int64_t periodUs = std::max<std::int64_t>(1, 1000000 / m_options.rate);
  m_scratch.clear();
  for (auto& [key, subscription] : m_subscriptions) {
    int updates = 0;
    while (subscription.nextDueUs <= nowUs && updates < kMaxUpdatesPerWake) {
      subscription.feed->Update(m_scratch);
      subscription.nextDueUs += periodUs;
      ++updates;
    }
    // A server that fell behind (a stalled machine) resumes the pace instead of bursting.
    if (subscription.nextDueUs + 1000000 < nowUs) subscription.nextDueUs = nowUs + periodUs;
  }
  Queue(m_scratch);
}

void CSession::SendReplay(std::int64_t nowUs) {
  if (!Streaming() || !m_data) return;
  const CReplay& replay = *m_options.replay;
  for (int sent = 0; sent < kReplayLinesPerWake && m_out.Pending() < kReplayAhead; ++sent) {
    const SReplayLine* line = m_replay.Due(replay, m_options.replaySpeed, nowUs);
    if (line == nullptr) {
      if (m_options.replayLoop && m_replay.Rewind(replay, nowUs)) continue;
      return;
    }
    if (m_subscriptions.count(std::make_pair(line->symbol, line->serviceId)) != 0) Queue(line->line);
    m_replay.Advance();
  }
}

void CSession::SendPieces(const std::string& bytes, std::size_t pieces, std::int64_t nowUs) {
  pieces = std::clamp<std::size_t>(pieces, 1, std::max<std::size_t>(1, bytes.size()));
  const std::int64_t delayUs = std::int64_t{m_options.splitDelayMs} * 1000;
  // Pieces of consecutive steps keep the delay between them too.
  std::int64_t due = std::max(nowUs, m_lastPieceUs + delayUs);
  std::size_t offset = 0;
  for (std::size_t i = 0; i < pieces; ++i) {
    const std::size_t end = bytes.size() * (i + 1) / pieces;
    m_timed.push_back({due, bytes.substr(offset, end - offset)});
    m_lastPieceUs = due;
    offset = end;
    due += delayUs;
  }
}

void CSession::OnTimer(std::int64_t nowUs) {
  VOK_DCHECK_THREAD(m_threadChecker);
  if (Closed()) return;
  if (m_pendingLogonUs >= 0 && nowUs >= m_pendingLogonUs) CompleteLogon(nowUs);
  while (!m_timed.empty() && m_timed.front().dueUs <= nowUs) {
    Queue(m_timed.front().bytes);
    m_timed.pop_front();
    // Each piece must leave in its own segment: write it before the next one is queued.
    FlushOut();
    if (!m_timed.empty() && m_timed.front().dueUs <= nowUs) break;
  }
  SendData(nowUs);
  RunScript(nowUs);
  FlushOut();
  PumpFloodThenScript(nowUs);
}

void CSession::RunScript(std::int64_t nowUs) {
  while (m_stepIndex < m_steps.size() && !Closed()) {
    // Later steps wait for split pieces still on their way, and for the last line of a bounded
    // flood, so output keeps the script's order.
    if (!m_timed.empty() || (FloodPending() && !m_floodUnbounded)) return;
    const SScriptStep& step = m_steps[m_stepIndex];
    switch (step.action) {
      case EScriptAction::Expect: {
        bool found = false;
        while (m_expectCursor < m_lines.size() && !found) {
          found = m_lines[m_expectCursor].compare(0, step.text.size(), step.text) == 0;
          ++m_expectCursor;
        }
        if (!found) return;
        break;
      }
      case EScriptAction::Send:
        Queue(step.text);
        Queue("\n");
        break;
      case EScriptAction::SendRaw:
        Queue(step.text);
        break;
      case EScriptAction::Split:
        SendPieces(step.text + "\n", static_cast<std::size_t>(step.number), nowUs);
        break;
      case EScriptAction::Bytewise:
        SendPieces(step.text + "\n", step.text.size() + 1, nowUs);
        break;
      case EScriptAction::Sleep:
        if (m_sleepUntilUs < 0) m_sleepUntilUs = nowUs + step.number * 1000;
        if (nowUs < m_sleepUntilUs) return;
        m_sleepUntilUs = -1;
        break;
      case EScriptAction::Silent:
        m_silent = step.number != 0;
        break;
      case EScriptAction::Heartbeats:
        m_heartbeats = step.number != 0;
        break;
      case EScriptAction::Data:
        m_data = step.number != 0;
        break;
      case EScriptAction::Drop:
        FlushOut();
        Close("dropped by the script");
        return;
      case EScriptAction::Logon:
        m_logonDelayMs = step.number;
        m_logonPolicy = step.text == "refuse"   ? ELogonPolicy::Refuse
                        : step.text == "ignore" ? ELogonPolicy::Ignore
                        : step.text == "delay"  ? ELogonPolicy::Delay
                                                : ELogonPolicy::Accept;
        break;
      case EScriptAction::Notice:
        m_writer.Begin(wire::kMsgDisconnectNotice);
        m_writer.Text(wire::kFidNoticeText, step.text);
        m_scratch.clear();
        m_writer.AppendTo(m_scratch);
        Queue(m_scratch);
        break;
      case EScriptAction::Flood:
        m_flooding = true;
        m_floodUnbounded = step.number == 0;
        m_floodRemaining = step.number;
        break;
    }
    ++m_stepIndex;
  }
}

void CSession::BuildFlood() {
  m_floodDirty = false;
  m_floodLines.clear();
  m_floodEnds.clear();
  m_floodIndex = 0;
  std::vector<std::unique_ptr<CFeed>> feeds;
  for (const auto& [key, subscription] : m_subscriptions) {
    if (key.second == kLevel1Service) {
      feeds.push_back(CFeed::Create(kLevel1Service, key.first, m_feedSettings));
    }
  }
  if (feeds.empty()) return;
  for (std::size_t i = 0; i < kFloodLines; ++i) {
    feeds[i % feeds.size()]->Update(m_floodLines);
    m_floodEnds.push_back(m_floodLines.size());
  }
}

void CSession::PumpFlood() {
  if (!m_flooding || !m_loggedIn || Closed()) return;
  if (m_floodDirty) BuildFlood();
  for (int chunk = 0; chunk < kFloodChunksPerWake && m_out.Empty() && !Closed(); ++chunk) {
    if (m_floodEnds.empty() || (!m_floodUnbounded && m_floodRemaining <= 0)) return;
    // Whole lines from the current one up to the chunk size or the end of the prebuilt block.
    const std::size_t start = m_floodIndex == 0 ? 0 : m_floodEnds[m_floodIndex - 1];
    std::size_t last = m_floodIndex;
    std::int64_t lines = 1;
    while (last + 1 < m_floodEnds.size() && m_floodEnds[last + 1] - start <= kFloodChunk &&
           (m_floodUnbounded || lines < m_floodRemaining)) {
      ++last;
      ++lines;
    }
    m_out.Append(std::string_view(m_floodLines).substr(start, m_floodEnds[last] - start));
    if (!m_floodUnbounded) m_floodRemaining -= lines;
    m_floodIndex = (last + 1) % m_floodEnds.size();
    FlushOut();
  }
}

void CSession::PumpFloodThenScript(std::int64_t nowUs) {
  PumpFlood();
  if (m_stepIndex == m_steps.size() || FloodPending()) return;
  // A bounded flood just ended: the steps it held back run now, not at the next timer.
  RunScript(nowUs);
  FlushOut();
  PumpFlood();
}

void CSession::OnWritable(std::int64_t nowUs) {
  VOK_DCHECK_THREAD(m_threadChecker);
  FlushOut();
  if (m_options.replay) {
    SendReplay(nowUs);
    FlushOut();
  }
  PumpFloodThenScript(nowUs);
}

}  // namespace vok::sim

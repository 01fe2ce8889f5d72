// One client connection of the simulator: reads the client's lines, answers logon and heartbeats,
// keeps the client's subscriptions with one feed each, writes due data, runs its script steps and
// bounds what waits to be sent. Runs on the server thread only; the server calls it when its
// socket is readable or writable and when NextDueUs has passed, then asks whether it closed.
#pragma once

#include <climits>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "feed.h"
#include "line_writer.h"
#include "platform/linux/unique_fd.h"
#include "platform/thread_checker.h"
#include "replay.h"
#include "script.h"
#include "send_buffer.h"
#include "server_options.h"
#include "tls_server.h"

class VOKMessage;

namespace vok::sim {

// What a session reports to its server (called on the server thread).
class ISessionHost {
 public:
  // recorded: whether the line is kept for observation (within the per-session bounds).
  virtual void OnClientLine(int number, const std::string& line, bool recorded) = 0;
  virtual void OnLogon(int number, const std::string& user, bool accepted) = 0;
  virtual void Log(const std::string& text) = 0;

 protected:
  ~ISessionHost() = default;
};

class CSession {
 public:
  CSession(int number, CUniqueFd socket, const SServerOptions& options, const SFeedSettings& feedSettings,
           ISessionHost& host);
  CSession(const CSession&) = delete;
  CSession& operator=(const CSession&) = delete;

  int Fd() const { return m_socket.Get(); }
  int Number() const { return m_number; }

  // Before Start: the session speaks TLS through tls instead of clear text on its socket.
  void UseTls(std::unique_ptr<CTlsServerStream> tls) { m_tls = std::move(tls); }
  void Start(std::int64_t nowUs);
  void OnReadable(std::int64_t nowUs);
  void OnWritable(std::int64_t nowUs);
  // Does whatever is due: delayed logon reply, heartbeats, data, timed writes, script steps.
  void OnTimer(std::int64_t nowUs);
  void AddSteps(const std::vector<SScriptStep>& steps, std::int64_t nowUs);

  // Earliest time at which OnTimer has work; INT64_MAX when none.
  std::int64_t NextDueUs() const;
  bool WantsWrite() const;
  bool Closed() const { return !m_closeReason.empty(); }
  const std::string& CloseReason() const { return m_closeReason; }
  // One last non-blocking attempt to deliver queued output before the socket closes.
  void FlushBeforeClose();
  std::uint64_t BytesSent() const { return m_bytesSent; }

 private:
  enum class ELogonPolicy { Accept, Refuse, Ignore, Delay };
  struct SSubscription {
    std::unique_ptr<CFeed> feed;
    std::int64_t nextDueUs = 0;
  };
  struct STimedWrite {
    std::int64_t dueUs;
    std::string bytes;
  };

  void Consume(const char* data, std::size_t size, std::int64_t nowUs);
  void HandleLine(std::string& line, std::int64_t nowUs);
  void OnLogonLine(const VOKMessage& message, std::int64_t nowUs);
  void OnSubscribeLine(char type, const VOKMessage& message, std::int64_t nowUs);
  void CompleteLogon(std::int64_t nowUs);
  bool CheckCredentials(const std::string& user, const std::string& password) const;
  void SendData(std::int64_t nowUs);
  // Queues the capture's due lines of subscribed symbols while the client keeps up.
  void SendReplay(std::int64_t nowUs);
  void RunScript(std::int64_t nowUs);
  void SendPieces(const std::string& bytes, std::size_t pieces, std::int64_t nowUs);
  void BuildFlood();
  void PumpFlood();
  // PumpFlood, then the script steps a bounded flood held back once its last line is queued.
  void PumpFloodThenScript(std::int64_t nowUs);
  bool FloodPending() const;  // flood lines still to send to a logged-on client
  void Queue(std::string_view bytes) { m_out.Append(bytes); }
  void FlushOut();
  void Close(std::string reason);
  bool Streaming() const { return m_loggedIn && !m_silent && !Closed(); }

  vok::CThreadChecker m_threadChecker;  // the server thread, which creates sessions
  const int m_number;
  CUniqueFd m_socket;
  std::unique_ptr<CTlsServerStream> m_tls;  // declared after m_socket: freed before it closes
  const SServerOptions& m_options;
  const SFeedSettings m_feedSettings;
  ISessionHost& m_host;
  std::string m_closeReason;

  // Input
  std::string m_partial;
  bool m_discarding = false;         // inside an over-long line, skipping to its line feed
  std::vector<std::string> m_lines;  // recorded client lines, for expect steps
  std::size_t m_recordedBytes = 0;

  // Output
  CSendBuffer m_out;
  std::uint64_t m_bytesSent = 0;
  std::deque<STimedWrite> m_timed;
  std::int64_t m_lastPieceUs = INT64_MIN / 2;  // due time of the last piece scheduled
  CLineWriter m_writer;
  std::string m_scratch;

  // Logon and liveness
  ELogonPolicy m_logonPolicy = ELogonPolicy::Accept;
  std::int64_t m_logonDelayMs = 0;
  std::int64_t m_pendingLogonUs = -1;  // delayed logon reply due at
  std::string m_user;
  bool m_loggedIn = false;
  bool m_silent = false;
  bool m_heartbeats = true;
  bool m_data = true;
  std::int64_t m_nextHeartbeatUs = 0;

  std::map<std::pair<std::string, int>, SSubscription> m_subscriptions;

  CReplayCursor m_replay;

  // Flood: prebuilt level 1 lines sent round robin while the client keeps reading.
  bool m_flooding = false;
  bool m_floodUnbounded = false;
  std::int64_t m_floodRemaining = 0;
  bool m_floodDirty = true;
  std::string m_floodLines;
  std::vector<std::size_t> m_floodEnds;  // end offset of each line in m_floodLines
  std::size_t m_floodIndex = 0;

  // Script
  std::vector<SScriptStep> m_steps;
  std::size_t m_stepIndex = 0;
  std::size_t m_expectCursor = 0;
  std::int64_t m_sleepUntilUs = -1;
};

}  // namespace vok::sim

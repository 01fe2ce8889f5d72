// The quote server simulator as a library: tests of the component start it in-process on an
// ephemeral loopback port, script it, and look at what it received. Start runs one server thread
// (epoll over all sessions); every public method may be called from any thread. Sessions are
// numbered from 1 in the order their connections were accepted.
//
//   vok::sim::SServerOptions options;
//   options.heartbeatMs = 200;
//   vok::sim::CQuoteServer server(options);
//   server.Start();
//   ... connect to 127.0.0.1:server.Port() ...
//   server.WaitForLine(1, "H|", 2000);
//   server.Run(1, vok::sim::CScript().Notice("logged in elsewhere").Drop());
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "script.h"
#include "server_options.h"

namespace vok::sim {

// What the server knows about one session, also after it closed.
struct SSessionInfo {
  int number = 0;
  bool open = false;
  bool loggedOn = false;
  std::string user;
  // Client lines in arrival order, without line feeds; at most maxRecordedLines and 16 MiB.
  std::vector<std::string> lines;
  std::uint64_t linesReceived = 0;  // also those beyond the recorded maximum
  std::string closeReason;
};

class CQuoteServer {
 public:
  explicit CQuoteServer(SServerOptions options);
  CQuoteServer(const CQuoteServer&) = delete;
  CQuoteServer& operator=(const CQuoteServer&) = delete;
  ~CQuoteServer();

  // Binds, listens and starts the server thread. False, with error set, when it cannot.
  bool Start(std::string* error = nullptr);
  // Closes every session and joins the server thread. Idempotent.
  void Stop();
  int Port() const;

  // Adds steps to a session's script (0: every open session); they run after its current steps.
  // Only the steps of `steps` outside any ForSession section are used. Steps for a session that is
  // not open are dropped (and logged).
  void Run(int session, const CScript& steps);

  int ConnectionCount() const;
  int LogonCount() const;  // accepted logons
  int RefusedLogonCount() const;
  int OpenSessionCount() const;
  SSessionInfo Session(int session) const;  // number 0 when there is no such session
  std::vector<std::string> ReceivedLines(int session) const;

  // Bounded waits; each returns whether the condition held before the time-out.
  bool WaitForConnections(int count, int timeoutMs) const;
  bool WaitForLogons(int count, int timeoutMs) const;
  bool WaitForLine(int session, const std::string& prefix, int timeoutMs) const;
  bool WaitForClosed(int session, int timeoutMs) const;

 private:
  class CImpl;
  std::unique_ptr<CImpl> m_impl;
};

}  // namespace vok::sim

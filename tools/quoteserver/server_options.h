// Settings of the quote server simulator, from code (tests run it in-process) or from the command
// line of vokquote-server. Defaults are those of the command line; tests shorten the intervals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "feed.h"
#include "replay.h"
#include "script.h"

namespace vok::sim {

struct SServerOptions {
  std::string host = "127.0.0.1";      // loopback only
  int port = 0;                        // 0: an ephemeral port, see CQuoteServer::Port
  std::string name = "VokSim";         // logon reply field 8055
  std::uint64_t permissions = 0xFFFF;  // logon reply field 154
  // User name -> transformed password (field 133 as the client sends it). Empty: anyone logs on.
  std::map<std::string, std::string> users;
  std::uint64_t seed = 1;
  int rate = 1;  // updates per second per subscribed symbol and service (0: snapshots only)
  int heartbeatMs = 10000;
  // Simulated time of each feed's first line, ms since 1970 UTC; below 0: the wall clock at Start.
  std::int64_t startTimeMs = -1;
  ETimeStyle times = ETimeStyle::Utc;
  bool flood = false;                 // every session floods its level 1 symbols at full speed once subscribed
  std::size_t maxBacklog = 8u << 20;  // bytes queued for a client before it is disconnected
  std::size_t maxLine = 64u << 10;    // longest client line; longer ones are skipped
  int splitDelayMs = 5;               // pause between the pieces of a split or bytewise send
  int maxSessions = 1024;
  int socketSendBuffer = 0;               // SO_SNDBUF of client sockets; 0: the system's
  std::size_t maxRecordedLines = 100000;  // client lines kept per session for observation (16 MiB at most)
  CScript script;
  // When set, sessions serve this capture (only what each client subscribed) instead of the
  // simulated market; speed 0 sends as fast as each client reads, loop plays it again at its end.
  std::shared_ptr<const CReplay> replay;
  double replaySpeed = 1.0;
  bool replayLoop = false;
  // PEM certificate (chain) and key: when set, every session speaks TLS and nothing in clear.
  std::string tlsCertificateFile;
  std::string tlsKeyFile;
  // Receives one text per notable event (connections, logons, skipped lines). Null: silent.
  std::function<void(const std::string&)> log;
};

// Parses the command line (without argv[0]) into options. On --help, --version or a mistake,
// returns false with the text to print in message: the help or version text for stdout (help set),
// or one line for stderr without the program name (exit status 2).
bool ParseCommandLine(const std::vector<std::string>& args, SServerOptions& options, bool& help, std::string& message);

std::string HelpText();

// Reads "user:password" lines (clear passwords; '#' starts a comment) into options.users.
bool LoadUsers(const std::string& path, SServerOptions& options, std::string& error);

// Reads "HOST:PORT" with HOST a loopback IPv4 address or "localhost".
bool ParseListen(const std::string& text, std::string& host, int& port);

}  // namespace vok::sim

// Command line, users file and listen address of the simulator.
#include "server_options.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "time_text.h"
#include "vkdll/vkdll.h"

namespace vok::sim {

namespace {

bool ToNumber(const std::string& text, std::int64_t low, std::int64_t high, std::int64_t& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long parsed = std::strtoll(text.c_str(), &end, 0);
  if (errno != 0 || end != text.c_str() + text.size() || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

std::string TransformPassword(const std::string& clear) {
  // A 64-character value already is the transformed form, as the client stores it.
  if (clear.size() >= 64) return clear;
  char hex[65] = {};
  VOK_TransformPassword(clear.c_str(), hex);
  return hex;
}

}  // namespace

std::string HelpText() {
  return R"(Usage: vokquote-server [options]
Simulated quote server: answers logons and heartbeats, serves level 1, level 2, time and sales
and option chain data for any symbol, deterministic for a seed, and can run a test script.
Prints the bound port on stdout as one line once it listens. SIGINT or SIGTERM stop it.

  --listen HOST:PORT    address to listen on; HOST must be a loopback address (127.x.x.x or
                        localhost); PORT 0 picks a free port (default 127.0.0.1:5020)
  --name NAME           server name sent in the logon reply, field 8055 (default VokSim)
  --permissions N       quote permissions sent in the logon reply, field 154 (default 0xFFFF)
  --users FILE          accept only these users: lines "user:password" with clear passwords;
                        without it every logon is accepted
  --seed N              seed of the simulated market (default 1); same seed, same data
  --rate N              updates per second per subscribed symbol and service (default 1;
                        0 sends only the snapshot on subscribe)
  --heartbeat-ms MS     interval of the server's heartbeats (default 10000)
  --start-time T        simulated time of the first update, YYYYMMDD-HH:MM:SS UTC
                        (default: now); with a fixed start time output is byte-identical
  --times utc|eastern   level 1 and option times as field 2043 (utc, default) or as Eastern
                        date 2015 and time 2014 (eastern)
  --flood               send level 1 lines of the subscribed symbols as fast as each client reads
  --script FILE         run a test script in every session (format in docs/quoteserver.md)
  --max-backlog BYTES   disconnect a client once this much output waits for it (default 8388608)
  --max-line BYTES      longest client line; longer lines are skipped (default 65536)
  --split-delay-ms MS   pause between the pieces of a scripted split or bytewise send (default 5)
  --quiet               print nothing but the port
  --help                this text
)";
}

bool ParseListen(const std::string& text, std::string& host, int& port) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  std::string name = text.substr(0, colon);
  std::int64_t number = 0;
  if (!ToNumber(text.substr(colon + 1), 0, 65535, number)) return false;
  if (name == "localhost") name = "127.0.0.1";
  in_addr address{};
  if (inet_pton(AF_INET, name.c_str(), &address) != 1) return false;
  if ((ntohl(address.s_addr) >> 24) != 127) return false;
  host = name;
  port = static_cast<int>(number);
  return true;
}

bool LoadUsers(const std::string& path, SServerOptions& options, std::string& error) {
  std::ifstream file(path);
  if (!file) {
    error = "cannot read users file " + path;
    return false;
  }
  std::string line;
  int lineNumber = 0;
  while (std::getline(file, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) {
      error = path + " line " + std::to_string(lineNumber) + ": expected user:password";
      return false;
    }
    options.users[line.substr(0, colon)] = TransformPassword(line.substr(colon + 1));
  }
  return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, SServerOptions& options, bool& help, std::string& message) {
  help = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    if (flag == "--help" || flag == "-h") {
      help = true;
      message = HelpText();
      return false;
    }
    if (flag == "--flood") {
      options.flood = true;
      continue;
    }
    if (flag == "--quiet") {
      options.log = nullptr;
      continue;
    }
    if (i + 1 >= args.size()) {
      message = flag + ": a value is missing (see --help)";
      return false;
    }
    const std::string& value = args[++i];
    std::int64_t number = 0;
    auto bad = [&](const char* what) {
      message = flag + " " + value + ": " + what;
      return false;
    };
    if (flag == "--listen") {
      if (!ParseListen(value, options.host, options.port)) {
        return bad("expected HOST:PORT with a loopback HOST");
      }
    } else if (flag == "--name") {
      if (value.find_first_of(";\r\n") != std::string::npos) return bad("no ';' or line breaks");
      options.name = value;
    } else if (flag == "--permissions") {
      char* end = nullptr;
      options.permissions = std::strtoull(value.c_str(), &end, 0);
      if (value.empty() || end != value.c_str() + value.size()) return bad("a number expected");
    } else if (flag == "--users") {
      if (!LoadUsers(value, options, message)) return false;
    } else if (flag == "--seed") {
      char* end = nullptr;
      options.seed = std::strtoull(value.c_str(), &end, 0);
      if (value.empty() || end != value.c_str() + value.size()) return bad("a number expected");
    } else if (flag == "--rate") {
      if (!ToNumber(value, 0, 1000000, number)) return bad("0 to 1000000 expected");
      options.rate = static_cast<int>(number);
    } else if (flag == "--heartbeat-ms") {
      if (!ToNumber(value, 1, 86400000, number)) return bad("1 to 86400000 expected");
      options.heartbeatMs = static_cast<int>(number);
    } else if (flag == "--start-time") {
      if (!ParseUtcTimestamp(value, options.startTimeMs)) return bad("YYYYMMDD-HH:MM:SS expected");
    } else if (flag == "--times") {
      if (value == "utc")
        options.times = ETimeStyle::Utc;
      else if (value == "eastern")
        options.times = ETimeStyle::Eastern;
      else
        return bad("utc or eastern expected");
    } else if (flag == "--script") {
      if (!CScript::Load(value, options.script, message)) {
        message = value + ": " + message;
        return false;
      }
    } else if (flag == "--max-backlog") {
      if (!ToNumber(value, 1024, std::int64_t{1} << 40, number)) return bad("at least 1024 expected");
      options.maxBacklog = static_cast<std::size_t>(number);
    } else if (flag == "--max-line") {
      if (!ToNumber(value, 16, std::int64_t{1} << 30, number)) return bad("at least 16 expected");
      options.maxLine = static_cast<std::size_t>(number);
    } else if (flag == "--split-delay-ms") {
      if (!ToNumber(value, 0, 60000, number)) return bad("0 to 60000 expected");
      options.splitDelayMs = static_cast<int>(number);
    } else {
      message = flag + ": unknown option (see --help)";
      return false;
    }
  }
  return true;
}

}  // namespace vok::sim

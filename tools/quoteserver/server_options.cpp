// Command line (on the tools' shared conventions), users file and listen address of the simulator.
#include "server_options.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "command_line.h"
#include "server_system.h"
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

bool ParseListen(const std::string& text, std::string& host, int& port) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  std::string name = text.substr(0, colon);
  std::int64_t number = 0;
  if (!ToNumber(text.substr(colon + 1), 0, 65535, number)) return false;
  if (name == "localhost") name = "127.0.0.1";
  if (!IsLoopbackIPv4(name)) return false;
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

namespace {

constexpr const char* kSummary =
    "Simulated quote server: answers logons and heartbeats, serves level 1, level 2, time and sales\n"
    "and option chain data for any symbol, deterministic for a seed, and can run a test script.\n"
    "Prints the bound port on stdout as one line once it listens. SIGINT or SIGTERM stop it.";

// The options of vokquote-server, writing into options as CLI11 meets them.
void AddOptions(CLI::App& app, SServerOptions& options) {
  auto number = [&app](const std::string& name, const char* typeName, std::int64_t low, std::int64_t high,
                       const std::string& help, std::function<void(std::int64_t)> set) {
    app.add_option_function<std::string>(
           name,
           [=](const std::string& value) {
             std::int64_t parsed = 0;
             if (!ToNumber(value, low, high, parsed)) {
               throw CLI::ValidationError("option " + name, "takes a number from " + std::to_string(low) + " to " +
                                                                std::to_string(high) + ", not '" + value + "'");
             }
             set(parsed);
           },
           help)
        ->type_name(typeName);
  };
  // Whole 64-bit values, decimal or 0x hexadecimal.
  auto unsigned64 = [&app](const std::string& name, const std::string& help, std::uint64_t& target) {
    app.add_option_function<std::string>(
           name,
           [name, &target](const std::string& value) {
             char* end = nullptr;
             errno = 0;
             const unsigned long long parsed = std::strtoull(value.c_str(), &end, 0);
             if (value.empty() || value[0] == '-' || errno != 0 || end != value.c_str() + value.size())
               throw CLI::ValidationError("option " + name, "takes a whole number, not '" + value + "'");
             target = parsed;
           },
           help)
        ->type_name("N");
  };
  app.add_option_function<std::string>(
         "--listen",
         [&options](const std::string& value) {
           if (!ParseListen(value, options.host, options.port))
             throw CLI::ValidationError("option --listen", "takes HOST:PORT with a loopback HOST, not '" + value + "'");
         },
         "address to listen on; HOST must be a loopback address\n(127.x.x.x or localhost); PORT 0 picks a free "
         "port\n(default 127.0.0.1:5020)")
      ->type_name("HOST:PORT");
  app.add_option_function<std::string>(
         "--name",
         [&options](const std::string& value) {
           if (value.find_first_of(";\r\n") != std::string::npos)
             throw CLI::ValidationError("option --name", "takes no ';' or line breaks");
           options.name = value;
         },
         "server name sent in the logon reply, field 8055\n(default VokSim)")
      ->type_name("NAME");
  unsigned64("--permissions", "quote permissions sent in the logon reply, field 154\n(default 0xFFFF)",
             options.permissions);
  app.add_option_function<std::string>(
         "--users",
         [&options](const std::string& value) {
           std::string error;
           if (!LoadUsers(value, options, error)) throw CLI::ValidationError("option --users", error);
         },
         "accept only these users: lines \"user:password\" with clear\npasswords; without it every logon is accepted")
      ->type_name("FILE");
  unsigned64("--seed", "seed of the simulated market (default 1); same seed,\nsame data", options.seed);
  number("--rate", "N", 0, 1000000,
         "updates per second per subscribed symbol and service\n(default 1; 0 sends only the snapshot on subscribe)",
         [&options](std::int64_t value) { options.rate = static_cast<int>(value); });
  number("--heartbeat-ms", "MS", 1, 86400000, "interval of the server's heartbeats (default 10000)",
         [&options](std::int64_t value) { options.heartbeatMs = static_cast<int>(value); });
  app.add_option_function<std::string>(
         "--start-time",
         [&options](const std::string& value) {
           if (!ParseUtcTimestamp(value, options.startTimeMs))
             throw CLI::ValidationError("option --start-time", "takes YYYYMMDD-HH:MM:SS, not '" + value + "'");
         },
         "simulated time of the first update, YYYYMMDD-HH:MM:SS UTC\n(default: now); with a fixed start time "
         "output is\nbyte-identical")
      ->type_name("T");
  app.add_option_function<std::string>(
         "--times",
         [&options](const std::string& value) {
           if (value == "utc") {
             options.times = ETimeStyle::Utc;
           } else if (value == "eastern") {
             options.times = ETimeStyle::Eastern;
           } else {
             throw CLI::ValidationError("option --times", "takes utc or eastern, not '" + value + "'");
           }
         },
         "level 1 and option times as field 2043 (utc, default) or\nas Eastern date 2015 and time 2014 (eastern)")
      ->type_name("utc|eastern");
  app.add_flag_callback(
      "--flood", [&options] { options.flood = true; },
      "send level 1 lines of the subscribed symbols as fast as\neach client reads");
  app.add_option_function<std::string>(
         "--script",
         [&options](const std::string& value) {
           std::string error;
           if (!CScript::Load(value, options.script, error)) {
             throw CLI::ValidationError("option --script",
                                        error.find(value) == std::string::npos ? value + ": " + error : error);
           }
         },
         "run a test script in every session (format in\ndocs/quoteserver.md)")
      ->type_name("FILE");
  number("--max-backlog", "BYTES", 1024, std::int64_t{1} << 40,
         "disconnect a client once this much output waits for it\n(default 8388608)",
         [&options](std::int64_t value) { options.maxBacklog = static_cast<std::size_t>(value); });
  number("--max-line", "BYTES", 16, std::int64_t{1} << 30,
         "longest client line; longer lines are skipped\n(default 65536)",
         [&options](std::int64_t value) { options.maxLine = static_cast<std::size_t>(value); });
  number("--split-delay-ms", "MS", 0, 60000,
         "pause between the pieces of a scripted split or bytewise\nsend (default 5)",
         [&options](std::int64_t value) { options.splitDelayMs = static_cast<int>(value); });
  CLI::Option* certificate = app.add_option("--tls-cert", options.tlsCertificateFile,
                                            "serve TLS only, with this PEM certificate (chain); needs\n--tls-key")
                                 ->type_name("FILE");
  CLI::Option* key =
      app.add_option("--tls-key", options.tlsKeyFile, "PEM private key of --tls-cert")->type_name("FILE");
  certificate->needs(key);
  key->needs(certificate);
  CLI::Option* replay = app.add_option_function<std::string>(
                               "--replay",
                               [&options](const std::string& value) {
                                 auto loaded = std::make_shared<CReplay>();
                                 std::string error;
                                 if (!loaded->Load(value, error)) throw CLI::ValidationError("option --replay", error);
                                 options.replay = std::move(loaded);
                               },
                               "serve the data lines of this capture file (as vokquote\nrecord writes it) instead of "
                               "the simulated market:\neach client gets those of the symbols it subscribed")
                            ->type_name("FILE");
  CLI::Option* speed =
      app.add_option_function<std::string>(
             "--speed",
             [&options](const std::string& value) {
               char* end = nullptr;
               const double parsed = std::strtod(value.c_str(), &end);
               if (value.empty() || end != value.c_str() + value.size() || !(parsed >= 0.001) || parsed > 1e6)
                 throw CLI::ValidationError("option --speed",
                                            "takes a factor from 0.001 to 1000000, not '" + value + "'");
               options.replaySpeed = parsed;
             },
             "--replay at this many times the recorded pace (default 1)")
          ->type_name("X");
  CLI::Option* fastest = app.add_flag_callback(
      "--as-fast-as-possible", [&options] { options.replaySpeed = 0; },
      "--replay without pauses, as fast as each client reads");
  CLI::Option* loop = app.add_flag_callback(
      "--loop", [&options] { options.replayLoop = true; }, "--replay again from the start at its end");
  speed->needs(replay)->excludes(fastest);
  fastest->needs(replay);
  loop->needs(replay);
  replay->excludes("--flood");
  app.add_flag_callback(
      "--quiet", [&options] { options.log = nullptr; }, "print nothing but the port");
}

void Configure(CLI::App& app, SServerOptions& options) {
  tools::ApplyConventions(app, "vokquote-server");
  tools::SetUsage(app, "vokquote-server [options]", kSummary);
  AddOptions(app, options);
}

}  // namespace

std::string HelpText() {
  SServerOptions ignored;
  CLI::App app;
  Configure(app, ignored);
  return tools::HelpOf(app);
}

bool ParseCommandLine(const std::vector<std::string>& args, SServerOptions& options, bool& help, std::string& message) {
  CLI::App app;
  Configure(app, options);
  const tools::EParseOutcome outcome = tools::Parse(app, args, message);
  help = outcome == tools::EParseOutcome::Help;
  return outcome == tools::EParseOutcome::Ok;
}

}  // namespace vok::sim

// The vokquote command line: one subcommand, its symbols and the shared options (server, user,
// password file, output mode, limits, time zone). Parsing is pure, so every error and help text is
// testable without running anything. A password is never taken from the command line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok::cli {

enum class ECommand { None, Watch, Book, Tape, Chain, Quote, Decode, Record, Stats };

struct SArguments {
  ECommand command = ECommand::None;
  std::vector<std::string> symbols;  // upper-cased, in the order given, without repeats
  // Empty host: start the built-in simulator.
  std::string host;
  int port = 0;
  std::string user = "demo";
  std::string passwordFile;           // empty: the environment variable, or no password
  bool tls = false;                   // --tls (or --ca): TLS to the server named by --server
  std::string caFile;                 // --ca: CAs to trust instead of the system's store
  bool immediate = false;             // --immediate: callbacks as updates arrive, not every 60 ms
  bool json = false;                  // --json: JSON lines also on a terminal
  bool utc = false;                   // --utc: times in UTC rather than the local zone
  std::int64_t count = 0;             // end after this many records or events (0: no limit)
  std::int64_t durationMs = 0;        // end after this long (0: no limit)
  std::int64_t statsEveryMs = 0;      // JSON: a {"kind":"stats"} line this often (0: none)
  std::int64_t staleAfterMs = 10000;  // a symbol without an update for longer is stale
  int timeoutMs = 5000;               // quote: how long to wait for the quotes
  int connectTimeoutMs = 10000;       // how long the logon may take
  // record: the capture file and the services recorded (qsf flags; 0: level 1).
  std::string outFile;
  long serviceFlags = 0;
  // Built-in simulator only.
  std::uint64_t seed = 1;
  int rate = 4;
};

enum class EParseResult { Ok, Help, Error };

// Parses the arguments after the program name. Help: message holds the help (or version) text to
// print on stdout. Error: message is one line for stderr (without the program name or line feed).
EParseResult ParseArguments(const std::vector<std::string>& args, SArguments& out, std::string& message);

// The help of one subcommand, or of the program for ECommand::None.
std::string HelpText(ECommand command);

// "HOST:PORT" with a port from 1 to 65535.
bool ParseServer(const std::string& text, std::string& host, int& port);

// A symbol as it may be echoed in a message: at most 32 characters (then "..."), anything that
// is not printable shown as '?', so a bad argument cannot flood or drive the terminal.
std::string ShownSymbol(std::string_view text);
// The same for any outside text (a server's notice), cut at limit characters.
std::string ShownText(std::string_view text, std::size_t limit);

}  // namespace vok::cli

// Parsing of the vokquote command line into SArguments, and the help texts. CLI11 recognises
// the options; values are checked here so each message says what the option takes.
#include "arguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include <vokquote/records.h>

#include "command_line.h"

namespace vok::cli {
namespace {

struct SCommandInfo {
  ECommand command;
  const char* name;
  const char* brief;  // in the list of commands
  const char* usage;
  const char* summary;
  int minSymbols;
  int maxSymbols;  // -1: any number
};

constexpr SCommandInfo kCommands[] = {
    {ECommand::Watch, "watch", "live level 1 board", "vokquote watch SYMBOL... [options]",
     "Live level 1 board: one row per symbol with last, change, bid x size, ask x size, volume,\n"
     "high, low and time.",
     1, -1},
    {ECommand::Book, "book", "live level 2 book of one symbol", "vokquote book SYMBOL [options]",
     "Live level 2 book: bids and asks by price with market maker, size and source, and the\n"
     "aggregate size of each price level.",
     1, 1},
    {ECommand::Tape, "tape", "live time and sales", "vokquote tape SYMBOL... [options]",
     "Time and sales prints as they arrive.", 1, -1},
    {ECommand::Chain, "chain", "live option chain of one underlying", "vokquote chain UNDERLYING [options]",
     "Live option chain: calls and puts by expiry and strike.", 1, 1},
    {ECommand::Quote, "quote", "one level 1 snapshot per symbol", "vokquote quote SYMBOL... [--timeout MS] [options]",
     "One level 1 snapshot per symbol, then exit. All symbols are asked for at once and waited\n"
     "for together; the exit status is 1 when a quote did not arrive in time.",
     1, -1},
    {ECommand::Decode, "decode", "describes captured wire lines read from stdin", "vokquote decode [--json] < capture",
     "Reads captured wire lines from stdin - line form, FIX with SOH, '|' or '^' between fields,\n"
     "the library's data trace lines, or a capture file of vokquote record (each line with its\n"
     "receive time, connection events as such) - and prints each message's type and typed fields (FIX\n"
     "tags by number and name). A line it cannot read is reported on stderr with its number.",
     0, 0},
    {ECommand::Record, "record", "records what the server sends into a capture file",
     "vokquote record SYMBOL... --out FILE [--level 1,2,tape,options] [options]",
     "Subscribes the symbols and records every line the server sends, with its receive time, and\n"
     "the connection events into FILE (appended; vokquote decode and vokquote-server --replay read\n"
     "it). Shows what arrives on a terminal, or the records as JSON lines.",
     1, -1},
    {ECommand::Stats, "stats", "live statistics of the feed", "vokquote stats SYMBOL... [options]",
     "Subscribes the symbols at level 1 and shows the feed's statistics, once a second: messages\n"
     "and bytes per second of each message type, the pump queue and each subscriber thread's\n"
     "queue, reconnects and the last reason a connection ended. As JSON, a {\"kind\":\"stats\"}\n"
     "line every --stats-every seconds (default 1) besides the records.",
     1, -1},
};

constexpr const char* kProgramText =
    "vokquote: realtime quotes from a quote server, or from a built-in simulator.\n"
    "On a terminal the live commands show a full-screen view (q or Ctrl-C ends it); otherwise\n"
    "they write one JSON object per line. 'vokquote COMMAND --help' describes one command.";

constexpr const char* kOutputNotes =
    "Times are shown in the local time zone (TZ) and labelled with it; --utc shows UTC. JSON\n"
    "lines carry times as UTC texts, and each enumeration as its number and, beside it, its name\n"
    "(\"side\":1,\"sideName\":\"bid\"; \"tick\":0,\"tickName\":\"evenUp\"). Colour and cursor movement\n"
    "are left out when NO_COLOR is set or TERM is dumb. Exit status: 0 done, 1 a quote missing,\n"
    "2 a command-line error, 3 no connection or logon; 128+N after signal N.";

const SCommandInfo* FindCommand(const std::string& name) {
  for (const auto& info : kCommands)
    if (name == info.name) return &info;
  return nullptr;
}

std::optional<std::int64_t> ToInteger(const std::string& text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

bool NormaliseSymbol(std::string_view text, std::string& symbol) {
  symbol.clear();
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  if (text.size() > 64) return false;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isspace(u) || c == ';' || c == '|' || u < 0x20 || u == 0x7F) return false;
    symbol += static_cast<char>(std::toupper(u));
  }
  return !symbol.empty() && symbol != "+" && symbol != "/";
}

// The command-line parser of one run: CLI11 apps writing into out and into the raw values that
// are checked once everything is read.
class CParser {
 public:
  explicit CParser(SArguments& out) : m_out(out) {
    tools::ApplyConventions(m_app, "vokquote");
    tools::SetUsage(m_app, "vokquote COMMAND [arguments] [options]", kProgramText);
    m_app.footer(kOutputNotes);
    for (const auto& info : kCommands) AddCommand(info);
  }

  CLI::App& App() { return m_app; }
  CLI::App* Command(ECommand command) { return m_commands.at(static_cast<std::size_t>(command)); }

  // The values CLI11 cannot check alone. False with message set.
  bool Finish(const SCommandInfo& info, std::string& message) {
    auto fail = [&](std::string text) {
      message = std::move(text);
      return false;
    };
    const std::string command = info.name;
    if (m_passwordGiven)
      return fail("a password is never read from the command line: use --password-file FILE or VOKQUOTE_PASSWORD");
    if (!m_out.host.empty() && m_simulatorOption)
      return fail("--seed and --rate apply to the built-in simulator, not to --server");
    if (m_out.host.empty() && m_out.tls)
      return fail("--tls and --ca need --server: the built-in simulator speaks clear text");
    for (const auto& arg : m_symbols) {
      std::string symbol;
      if (!NormaliseSymbol(arg, symbol)) return fail("'" + ShownSymbol(arg) + "' is not a symbol");
      if (std::find(m_out.symbols.begin(), m_out.symbols.end(), symbol) == m_out.symbols.end())
        m_out.symbols.push_back(symbol);
    }
    if (!ServiceFlags(message)) return false;
    const int count = static_cast<int>(m_out.symbols.size());
    if (count < info.minSymbols) {
      return fail("'" + command + "' needs " + (info.maxSymbols == 1 ? "a symbol" : "at least one symbol") +
                  "; 'vokquote " + command + " --help' shows how");
    }
    if (info.maxSymbols >= 0 && count > info.maxSymbols)
      return fail("'" + command + "' takes one symbol, not " + std::to_string(count));
    return true;
  }

 private:
  // A whole-number option; the message names the option and the value, never a secret.
  void Integer(CLI::App* app, const std::string& name, std::int64_t low, std::int64_t high, const std::string& help,
               std::function<void(std::int64_t)> set) {
    app->add_option_function<std::string>(
           name,
           [name, low, high, set](const std::string& text) {
             const auto number = ToInteger(text);
             if (!number || *number < low || *number > high) {
               throw CLI::ValidationError("option " + name, "takes a whole number from " + std::to_string(low) +
                                                                " to " + std::to_string(high) + ", not '" + text + "'");
             }
             set(*number);
           },
           help)
        ->type_name("N");
  }

  void AddCommand(const SCommandInfo& info) {
    CLI::App* app = m_app.add_subcommand(info.name, info.brief);
    app->group("Commands");
    tools::SetUsage(*app, info.usage, info.summary);
    m_commands.resize(std::max<std::size_t>(m_commands.size(), static_cast<std::size_t>(info.command) + 1));
    m_commands[static_cast<std::size_t>(info.command)] = app;
    app->footer("");
    if (info.maxSymbols != 0) app->add_option("symbols", m_symbols);
    if (info.command == ECommand::Decode) {
      app->add_flag("--json", m_out.json, "one JSON object per message");
      return;
    }
    app->add_flag("--json", m_out.json,
                  "one JSON object per line, also on a terminal (the\ndefault when stdout is not a terminal)");
    app->add_flag("--utc", m_out.utc, "times in UTC instead of the local time zone");

    if (info.command == ECommand::Record) AddRecordOptions(app);
    if (info.command == ECommand::Quote) {
      Integer(app, "--timeout", 0, 3600000, "how long to wait for the quotes (default 5000)",
              [this](std::int64_t ms) { m_out.timeoutMs = static_cast<int>(ms); });
      app->get_option("--timeout")->type_name("MS");
    } else {
      Integer(app, "--count", 1, INT64_MAX / 2, "end after N data records",
              [this](std::int64_t n) { m_out.count = n; });
      app->add_option_function<std::string>(
             "--duration",
             [this](const std::string& text) {
               double seconds = 0;
               const char* end = text.data() + text.size();
               auto [ptr, ec] = std::from_chars(text.data(), end, seconds);
               if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(seconds) || seconds <= 0 ||
                   seconds > 1e7)
                 throw CLI::ValidationError("option --duration", "takes a number of seconds, not '" + text + "'");
               m_out.durationMs = std::max<std::int64_t>(1, std::llround(seconds * 1000));
             },
             "end after S seconds")
          ->type_name("S");
      app->add_option_function<std::string>(
             "--stats-every",
             [this](const std::string& text) {
               double seconds = 0;
               const char* end = text.data() + text.size();
               auto [ptr, ec] = std::from_chars(text.data(), end, seconds);
               if (text.empty() || ec != std::errc() || ptr != end || !(seconds >= 0.1) || seconds > 86400)
                 throw CLI::ValidationError("option --stats-every", "takes 0.1 to 86400 seconds, not '" + text + "'");
               m_out.statsEveryMs = std::llround(seconds * 1000);
             },
             "with JSON output, a {\"kind\":\"stats\"} line every S seconds")
          ->type_name("S");
      app->add_option_function<std::string>(
             "--stale-after",
             [this](const std::string& text) {
               double seconds = 0;
               const char* end = text.data() + text.size();
               auto [ptr, ec] = std::from_chars(text.data(), end, seconds);
               if (text.empty() || ec != std::errc() || ptr != end || !(seconds >= 0.1) || seconds > 86400)
                 throw CLI::ValidationError("option --stale-after", "takes 0.1 to 86400 seconds, not '" + text + "'");
               m_out.staleAfterMs = std::llround(seconds * 1000);
             },
             "mark a symbol stale after S seconds without an update,\nand after a reconnect until its next one "
             "(default 10)")
          ->type_name("S");
    }

    const std::string connection = "Connection";
    app->add_option_function<std::string>(
           "--server",
           [this](const std::string& text) {
             if (!ParseServer(text, m_out.host, m_out.port))
               throw CLI::ValidationError("option --server", "takes HOST:PORT, not '" + text + "'");
           },
           "quote server to use; without it a built-in simulator\nis started")
        ->type_name("HOST:PORT")
        ->group(connection);
    app->add_option("--user", m_out.user, "logon user (default demo)")
        ->type_name("NAME")
        ->group(connection)
        ->check(CLI::Validator([](std::string& text) { return text.empty() ? "needs a value" : ""; }, ""));
    app->add_option("--password-file", m_out.passwordFile,
                    "read the password from the first line of FILE;\notherwise the environment variable\n"
                    "VOKQUOTE_PASSWORD is used")
        ->type_name("FILE")
        ->group(connection)
        ->check(CLI::Validator([](std::string& text) { return text.empty() ? "needs a value" : ""; }, ""));
    app->add_flag("--tls", m_out.tls,
                  "connect with TLS; the server's certificate must be\ntrusted by the system and name the host")
        ->group(connection);
    app->add_option_function<std::string>(
           "--ca",
           [this](const std::string& file) {
             if (file.empty()) throw CLI::ValidationError("option --ca", "needs a value");
             m_out.caFile = file;
             m_out.tls = true;
           },
           "with TLS (implied), trust the CAs of this PEM file\ninstead of the system's")
        ->type_name("FILE")
        ->group(connection);
    app->add_flag("--immediate", m_out.immediate,
                  "deliver each update as it arrives instead of\nin batches every 60 ms")
        ->group(connection);
    Integer(app, "--connect-timeout", 1, 600000, "how long connecting and logging on may take\n(default 10000)",
            [this](std::int64_t ms) { m_out.connectTimeoutMs = static_cast<int>(ms); });
    app->get_option("--connect-timeout")->type_name("MS")->group(connection);
    Integer(app, "--seed", 0, INT64_MAX, "market seed of the built-in simulator (default 1)", [this](std::int64_t n) {
      m_out.seed = static_cast<std::uint64_t>(n);
      m_simulatorOption = true;
    });
    app->get_option("--seed")->group(connection);
    Integer(app, "--rate", 0, 1000, "updates per second of the built-in simulator\n(default 4)",
            [this](std::int64_t n) {
              m_out.rate = static_cast<int>(n);
              m_simulatorOption = true;
            });
    app->get_option("--rate")->group(connection);
    // Taken only to refuse it: a password on the command line shows in the process list. An empty
    // group keeps it out of the help.
    app->add_option_function<std::string>("-p,--password,--pass,--passwd",
                                          [this](const std::string&) { m_passwordGiven = true; })
        ->group("");
  }

  void AddRecordOptions(CLI::App* app) {
    app->add_option("--out", m_out.outFile, "the capture file to append to (created if missing)")
        ->type_name("FILE")
        ->required()
        ->check(CLI::Validator([](std::string& text) { return text.empty() ? "needs a value" : ""; }, ""));
    app->add_option_function<std::string>(
           "--level",
           [this](const std::string& text) {
             for (std::size_t start = 0; start <= text.size();) {
               const std::size_t comma = std::min(text.find(',', start), text.size());
               m_levels.push_back(text.substr(start, comma - start));
               start = comma + 1;
             }
           },
           "services to record, comma-separated (default 1)")
        ->type_name("1,2,tape,options");
  }

  // --level values: the record command's services as qsf flags. False with message set.
  bool ServiceFlags(std::string& message) {
    for (const std::string& value : m_levels) {
      if (value == "1") {
        m_out.serviceFlags |= qsfLevelOne;
      } else if (value == "2") {
        m_out.serviceFlags |= qsfLevelTwo;
      } else if (value == "tape") {
        m_out.serviceFlags |= qsfTimeAndSales;
      } else if (value == "options") {
        m_out.serviceFlags |= qsfOptions;
      } else {
        message = "--level takes 1, 2, tape or options, not '" + ShownSymbol(value) + "'";
        return false;
      }
    }
    return true;
  }

  SArguments& m_out;
  CLI::App m_app;
  std::vector<std::string> m_levels;
  std::vector<CLI::App*> m_commands;
  std::vector<std::string> m_symbols;
  bool m_simulatorOption = false;
  bool m_passwordGiven = false;
};

}  // namespace

bool ParseServer(const std::string& text, std::string& host, int& port) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const auto value = ToInteger(text.substr(colon + 1));
  if (!value || *value < 1 || *value > 65535) return false;
  host = text.substr(0, colon);
  port = static_cast<int>(*value);
  return true;
}

std::string ShownText(std::string_view text, std::size_t limit) {
  std::string shown;
  for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
    const auto u = static_cast<unsigned char>(text[i]);
    shown += u >= 0x20 && u < 0x7F ? text[i] : '?';
  }
  if (text.size() > limit) shown += "...";
  return shown;
}

std::string ShownSymbol(std::string_view text) { return ShownText(text, 32); }

std::string HelpText(ECommand command) {
  SArguments ignored;
  CParser parser(ignored);
  return command == ECommand::None ? tools::HelpOf(parser.App()) : tools::HelpOf(*parser.Command(command));
}

EParseResult ParseArguments(const std::vector<std::string>& args, SArguments& out, std::string& message) {
  out = SArguments();
  message.clear();
  if (args.empty()) {
    message = "no command given; 'vokquote --help' lists them";
    return EParseResult::Error;
  }
  if (args[0] == "help") {
    message = HelpText(ECommand::None);
    return EParseResult::Help;
  }
  if (args[0].empty() || (args[0][0] != '-' && FindCommand(args[0]) == nullptr)) {
    message = "unknown command '" + ShownSymbol(args[0]) + "'; 'vokquote --help' lists them";
    return EParseResult::Error;
  }
  CParser parser(out);
  switch (tools::Parse(parser.App(), args, message)) {
    case tools::EParseOutcome::Help:
      return EParseResult::Help;
    case tools::EParseOutcome::Error:
      return EParseResult::Error;
    case tools::EParseOutcome::Ok:
      break;
  }
  const auto selected = parser.App().get_subcommands();
  const SCommandInfo* info = selected.empty() ? nullptr : FindCommand(selected.front()->get_name());
  if (info == nullptr) {
    message = "no command given; 'vokquote --help' lists them";
    return EParseResult::Error;
  }
  out.command = info->command;
  if (out.command == ECommand::Stats && out.statsEveryMs == 0) out.statsEveryMs = 1000;
  return parser.Finish(*info, message) ? EParseResult::Ok : EParseResult::Error;
}

}  // namespace vok::cli

// Parsing of the vokquote command line into SArguments, and the help texts.
#include "arguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

namespace vok::cli {
namespace {

struct SCommandInfo {
  ECommand command;
  const char* name;
  const char* usage;
  const char* summary;
  int minSymbols;
  int maxSymbols;  // -1: any number
};

constexpr SCommandInfo kCommands[] = {
    {ECommand::Watch, "watch", "vokquote watch SYMBOL... [options]",
     "Live level 1 board: one row per symbol with last, change, bid x size, ask x size, volume,\n"
     "high, low and time.",
     1, -1},
    {ECommand::Book, "book", "vokquote book SYMBOL [options]",
     "Live level 2 book: bids and asks by price with market maker, size and source, and the\n"
     "aggregate size of each price level.",
     1, 1},
    {ECommand::Tape, "tape", "vokquote tape SYMBOL... [options]", "Time and sales prints as they arrive.", 1, -1},
    {ECommand::Chain, "chain", "vokquote chain UNDERLYING [options]",
     "Live option chain: calls and puts by expiry and strike.", 1, 1},
    {ECommand::Quote, "quote", "vokquote quote SYMBOL... [--timeout MS] [options]",
     "One level 1 snapshot per symbol, then exit. The exit status is 1 when a quote did not\n"
     "arrive in time.",
     1, -1},
    {ECommand::Decode, "decode", "vokquote decode [--json] < capture",
     "Reads wire lines (line form or FIX) from stdin and prints each message's type and typed\n"
     "fields.",
     0, 0},
};

const SCommandInfo* FindCommand(ECommand command) {
  for (const auto& info : kCommands)
    if (info.command == command) return &info;
  return nullptr;
}

const SCommandInfo* FindCommand(const std::string& name) {
  for (const auto& info : kCommands)
    if (name == info.name) return &info;
  return nullptr;
}

constexpr const char* kConnectionHelp =
    "Connection:\n"
    "  --server HOST:PORT     quote server to use; without it a built-in simulator is started\n"
    "  --user NAME            logon user (default demo)\n"
    "  --password-file FILE   read the password from the first line of FILE; otherwise the\n"
    "                         environment variable VOKQUOTE_PASSWORD is used\n"
    "  --connect-timeout MS   how long connecting and logging on may take (default 10000)\n"
    "  --seed N, --rate N     market seed and updates per second of the built-in simulator\n"
    "                         (defaults 1 and 4)\n"
    "Output:\n"
    "  --json                 one JSON object per line even on a terminal (the default when\n"
    "                         stdout is not a terminal)\n"
    "  --count N              end after N data records\n"
    "  --duration S           end after S seconds\n"
    "  -h, --help             this text\n";

std::optional<std::int64_t> ToInteger(const std::string& text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::optional<double> ToSeconds(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

bool NormaliseSymbol(std::string_view text, std::string& symbol) {
  symbol.clear();
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isspace(u) || c == ';' || c == '|' || u < 0x20) return false;
    symbol += static_cast<char>(std::toupper(u));
  }
  return !symbol.empty() && symbol != "+" && symbol != "/" && symbol.size() <= 64;
}

}  // namespace

const char* CommandName(ECommand command) {
  const SCommandInfo* info = FindCommand(command);
  return info != nullptr ? info->name : "vokquote";
}

bool ParseServer(const std::string& text, std::string& host, int& port) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const auto value = ToInteger(text.substr(colon + 1));
  if (!value || *value < 1 || *value > 65535) return false;
  host = text.substr(0, colon);
  port = static_cast<int>(*value);
  return true;
}

std::string HelpText(ECommand command) {
  const SCommandInfo* info = FindCommand(command);
  if (info == nullptr) {
    std::string text =
        "vokquote: realtime quotes from a quote server, or from a built-in simulator.\n\n"
        "Usage: vokquote COMMAND [arguments] [options]\n\nCommands:\n";
    for (const auto& each : kCommands) {
      text += "  ";
      text += each.usage;
      text += '\n';
    }
    text +=
        "\nOn a terminal the live commands show a full-screen view (q or Ctrl-C ends it);\n"
        "otherwise they write one JSON object per line. 'vokquote COMMAND --help' describes\n"
        "one command.\n\n";
    return text + kConnectionHelp;
  }
  std::string text = std::string("Usage: ") + info->usage + "\n\n" + info->summary + "\n\n";
  if (command == ECommand::Decode) {
    return text +
           "Options:\n  --json                 one JSON object per message\n  -h, --help             this text\n";
  }
  if (command == ECommand::Quote) text += "  --timeout MS           how long to wait for each quote (default 5000)\n";
  return text + kConnectionHelp;
}

EParseResult ParseArguments(const std::vector<std::string>& args, SArguments& out, std::string& message) {
  out = SArguments();
  message.clear();
  auto fail = [&](std::string text) {
    message = std::move(text);
    return EParseResult::Error;
  };
  if (args.empty()) return fail("no command given; 'vokquote --help' lists them");
  const std::string& first = args[0];
  if (first == "--help" || first == "-h" || first == "help") {
    message = HelpText(ECommand::None);
    return EParseResult::Help;
  }
  const SCommandInfo* info = FindCommand(first);
  if (info == nullptr) {
    if (!first.empty() && first[0] == '-') return fail("a command comes first; 'vokquote --help' lists them");
    return fail("unknown command '" + first + "'; 'vokquote --help' lists them");
  }
  out.command = info->command;
  const std::string command = info->name;

  bool seedOrRate = false;
  bool haveServer = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg.empty() || arg[0] != '-' || arg == "-") {
      std::string symbol;
      if (!NormaliseSymbol(arg, symbol)) return fail("'" + arg + "' is not a symbol");
      if (std::find(out.symbols.begin(), out.symbols.end(), symbol) == out.symbols.end()) out.symbols.push_back(symbol);
      continue;
    }
    // "--name=value" and "--name value"; only the name is ever echoed back, never a value.
    std::optional<std::string> inlineValue;
    if (const auto eq = arg.find('='); eq != std::string::npos && arg.starts_with("--")) {
      inlineValue = arg.substr(eq + 1);
      arg.resize(eq);
    }
    if (arg == "--help" || arg == "-h") {
      message = HelpText(out.command);
      return EParseResult::Help;
    }
    if (arg == "--password" || arg == "-p" || arg == "--pass" || arg == "--passwd") {
      return fail("a password is never read from the command line: use --password-file FILE or VOKQUOTE_PASSWORD");
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    auto integer = [&](std::int64_t low, std::int64_t high, std::int64_t& target) -> bool {
      const auto text = value();
      if (!text) {
        message = "option " + arg + " needs a value";
        return false;
      }
      const auto number = ToInteger(*text);
      if (!number || *number < low || *number > high) {
        message = "option " + arg + " takes a whole number from " + std::to_string(low) + " to " +
                  std::to_string(high) + ", not '" + *text + "'";
        return false;
      }
      target = *number;
      return true;
    };
    const bool live = out.command != ECommand::Decode;
    std::int64_t number = 0;
    if (arg == "--json") {
      if (inlineValue) return fail("option --json takes no value");
      out.json = true;
    } else if (live && arg == "--server") {
      const auto text = value();
      if (!text) return fail("option --server needs a value");
      if (!ParseServer(*text, out.host, out.port)) return fail("option --server takes HOST:PORT, not '" + *text + "'");
      haveServer = true;
    } else if (live && arg == "--user") {
      const auto text = value();
      if (!text || text->empty()) return fail("option --user needs a value");
      out.user = *text;
    } else if (live && arg == "--password-file") {
      const auto text = value();
      if (!text || text->empty()) return fail("option --password-file needs a value");
      out.passwordFile = *text;
    } else if (live && arg == "--count") {
      if (!integer(1, INT64_MAX / 2, out.count)) return EParseResult::Error;
    } else if (live && arg == "--duration") {
      const auto text = value();
      if (!text) return fail("option --duration needs a value");
      const auto seconds = ToSeconds(*text);
      if (!seconds || *seconds <= 0 || *seconds > 1e7)
        return fail("option --duration takes a number of seconds, not '" + *text + "'");
      out.durationMs = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::llround(*seconds * 1000)));
    } else if (live && arg == "--connect-timeout") {
      if (!integer(1, 600000, number)) return EParseResult::Error;
      out.connectTimeoutMs = static_cast<int>(number);
    } else if (out.command == ECommand::Quote && arg == "--timeout") {
      if (!integer(0, 3600000, number)) return EParseResult::Error;
      out.timeoutMs = static_cast<int>(number);
    } else if (live && arg == "--seed") {
      std::int64_t seed = 0;
      if (!integer(0, INT64_MAX, seed)) return EParseResult::Error;
      out.seed = static_cast<std::uint64_t>(seed);
      seedOrRate = true;
    } else if (live && arg == "--rate") {
      if (!integer(0, 1000, number)) return EParseResult::Error;
      out.rate = static_cast<int>(number);
      seedOrRate = true;
    } else {
      return fail("unknown option " + arg + " for '" + command + "'; 'vokquote " + command + " --help' lists them");
    }
  }
  if (haveServer && seedOrRate) return fail("--seed and --rate apply to the built-in simulator, not to --server");
  const int count = static_cast<int>(out.symbols.size());
  if (count < info->minSymbols) {
    return fail("'" + command + "' needs " + (info->maxSymbols == 1 ? "a symbol" : "at least one symbol") +
                "; 'vokquote " + command + " --help' shows how");
  }
  if (info->maxSymbols >= 0 && count > info->maxSymbols) {
    return fail(info->maxSymbols == 0 ? "'" + command + "' takes no symbols"
                                      : "'" + command + "' takes one symbol, not " + std::to_string(count));
  }
  return EParseResult::Ok;
}

}  // namespace vok::cli

// The command-line conventions vokquote and vokquote-server share, on top of CLI11: "--opt=value"
// and "--opt value", -h/--help on every command, --version, a usage line of our own wording, and
// every mistake reported as one line naming the option (never its value) for exit status 2.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace vok::tools {

inline constexpr int kExitUsageError = 2;

enum class EParseOutcome { Ok, Help, Error };

// Sets help, version ("<program> 2.1.0") and layout on the top-level app; call before adding
// subcommands, which inherit all of it.
void ApplyConventions(CLI::App& app, const std::string& program);
// What app's help begins with: the "Usage:" line ("vokquote watch SYMBOL... [options]") and a
// summary of one or more lines, shown before the options.
void SetUsage(CLI::App& app, std::string usage, std::string summary);

// Parses args (without the program name). Help: message is the help (or version) text for stdout.
// Error: message is one line for stderr, without the program name and line feed. Arguments
// nobody took are errors naming the option (not its value) and the --help to read.
EParseOutcome Parse(CLI::App& app, std::vector<std::string> args, std::string& message);

// The help text of app (or of its selected subcommand).
std::string HelpOf(const CLI::App& app);

}  // namespace vok::tools

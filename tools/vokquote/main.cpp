// vokquote: the command-line client of the quote service. Parses the command line and runs one
// subcommand; see `vokquote --help`.
#include <iostream>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "live_runner.h"

int main(int argc, char** argv) {
  using namespace vok::cli;
  std::vector<std::string> args(argv + 1, argv + argc);
  SArguments parsed;
  std::string message;
  switch (ParseArguments(args, parsed, message)) {
    case EParseResult::Help:
      std::cout << message;
      return kExitOk;
    case EParseResult::Error:
      std::cerr << "vokquote: " << message << "\n";
      return kExitUsage;
    case EParseResult::Ok:
      break;
  }
  switch (parsed.command) {
    case ECommand::Watch:
      return RunWatch(parsed);
    case ECommand::Book:
      return RunBook(parsed);
    case ECommand::Tape:
      return RunTape(parsed);
    case ECommand::Chain:
      return RunChain(parsed);
    case ECommand::Quote:
      return RunQuote(parsed);
    case ECommand::Stats:
      return RunStats(parsed);
    case ECommand::Record:
      return RunRecord(parsed);
    case ECommand::Decode:
      return RunDecode(parsed, std::cin, std::cout, std::cerr);
    case ECommand::None:
      break;
  }
  return kExitUsage;
}

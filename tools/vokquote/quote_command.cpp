// vokquote quote: one single quote per symbol, then exit.
#include "commands.h"
#include "live_runner.h"

namespace vok::cli {

int RunQuote(const SArguments& args) {
  CLiveRunner runner(args);
  return runner.RunQuotes();
}

}  // namespace vok::cli

// vokquote-server: the quote server simulator as a program. Prints the bound port on stdout as one
// line once it listens, logs sessions on stderr (unless --quiet) and stops on SIGINT or SIGTERM.
#include <cstdio>
#include <string>
#include <vector>

#include "quote_server.h"
#include "server_options.h"
#include "server_system.h"

int main(int argc, char** argv) {
  vok::sim::SServerOptions options;
  options.port = 5020;
  options.log = [](const std::string& text) { std::fprintf(stderr, "vokquote-server: %s\n", text.c_str()); };
  std::vector<std::string> args(argv + 1, argv + argc);
  bool help = false;
  std::string message;
  if (!vok::sim::ParseCommandLine(args, options, help, message)) {
    if (help) {
      std::fputs(message.c_str(), stdout);
      return 0;
    }
    std::fprintf(stderr, "vokquote-server: %s\n", message.c_str());
    return vok::tools::kExitUsageError;
  }

  // Before the server thread starts, which inherits the blocked signals.
  vok::sim::CStopSignals stopSignals;

  vok::sim::CQuoteServer server(options);
  std::string error;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "vokquote-server: %s\n", error.c_str());
    return 1;
  }
  std::printf("%d\n", server.Port());
  std::fflush(stdout);

  const std::string signal = stopSignals.Wait();
  if (options.log) options.log(signal + ": stopping");
  server.Stop();
  return 0;
}

// Throughput of the quote server simulator's flood: level 1 lines per second delivered to one
// loopback client that reads as fast as it can. Linux only (the simulator is a Linux tool).
// Run: build/<dir>/bench/quoteserver_bench --benchmark_repetitions=3
#if defined(__linux__)

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "quote_server.h"

namespace {

// Reads until `lines` line feeds have arrived; false if the connection ends first.
bool ReadLines(int fd, std::int64_t lines, std::vector<char>& buffer) {
  while (lines > 0) {
    ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (got <= 0) return false;
    lines -= std::count(buffer.data(), buffer.data() + got, '\n');
  }
  return true;
}

void BM_FloodLevelOne(benchmark::State& state) {
  const std::int64_t symbols = state.range(0);
  vok::sim::SServerOptions options;
  options.rate = 0;
  options.heartbeatMs = 3600000;
  vok::sim::CQuoteServer server(options);
  if (!server.Start()) {
    state.SkipWithError("the simulator did not start");
    return;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(server.Port()));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    state.SkipWithError("connect failed");
    ::close(fd);
    return;
  }
  std::string request = "L|100=bench;133=x\n";
  for (std::int64_t i = 0; i < symbols; ++i) {
    request += "H|1003=SYM" + std::to_string(i) + ";2000=20000\n";
  }
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::vector<char> buffer(1 << 20);
  // The logon reply and one snapshot per symbol.
  ReadLines(fd, 1 + symbols, buffer);

  constexpr std::int64_t kLinesPerIteration = 1000000;
  for (auto _ : state) {
    server.Run(1, vok::sim::CScript().Flood(kLinesPerIteration));
    if (!ReadLines(fd, kLinesPerIteration, buffer)) {
      state.SkipWithError("the connection ended");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kLinesPerIteration);
  ::close(fd);
  server.Stop();
}
BENCHMARK(BM_FloodLevelOne)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

#endif

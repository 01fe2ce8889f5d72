// Transport throughput over loopback: lines per second from a writing server to the data
// callback (the reader thread's framing and dispatch), IpcSend to a draining server, and the
// framer alone on a 64 KiB read.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "vokipc/line_framer.h"
#include "vokipc/vokipc.h"

namespace {

// A typical level 1 update line, about 100 bytes with its line feed.
const std::string kLine = "1|1003=MSFT;2002=412.37;2003=412.39;2004=300;2005=200;2006=412.38;2007=1234567;2010=99\n";

std::atomic<std::int64_t> g_received{0};

void OnStatus(IPCHANDLE, int, int) {}
void OnData(IPCHANDLE, const char*, int) { g_received.fetch_add(1, std::memory_order_relaxed); }
void OnClosed(IPCHANDLE) {}
const IPCCALLBACKS kCallbacks{&OnStatus, &OnData, &OnClosed};

// One accepted connection on loopback, opened through the transport.
struct SLoopbackPair {
  SLoopbackPair() {
    IpcStartup();
    listener.Listen("127.0.0.1");
    std::thread acceptor([this] { server = listener.Accept(10000); });
    handle = IpcOpenTcp("127.0.0.1", listener.Port(), &kCallbacks);
    acceptor.join();
  }
  ~SLoopbackPair() {
    IpcCloseTcp(handle);
    server.Close();
    IpcCleanup();
  }
  vok::CListenSocket listener;
  vok::CSocket server;
  IPCHANDLE handle = 0;
};

void BM_ReceiveLines(benchmark::State& state) {
  SLoopbackPair pair;
  std::string batch;
  for (int i = 0; i < 1000; ++i) batch += kLine;
  std::int64_t lines = 0;
  for (auto _ : state) {
    const std::int64_t target = g_received.load() + 1000;
    pair.server.SendAll(batch.data(), batch.size());
    while (g_received.load(std::memory_order_relaxed) < target) std::this_thread::yield();
    lines += 1000;
  }
  state.SetItemsProcessed(lines);
  state.SetBytesProcessed(lines * static_cast<std::int64_t>(kLine.size()));
}
BENCHMARK(BM_ReceiveLines)->UseRealTime();

void BM_SendLines(benchmark::State& state) {
  SLoopbackPair pair;
  std::atomic<bool> stop{false};
  std::thread drain([&] {
    std::vector<char> buffer(64 * 1024);
    while (!stop && pair.server.Receive(buffer.data(), static_cast<int>(buffer.size())) > 0) {
    }
  });
  for (auto _ : state) {
    IpcSend(pair.handle, kLine.data(), static_cast<int>(kLine.size()));
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kLine.size()));
  stop = true;
  pair.server.Shutdown();
  drain.join();
}
BENCHMARK(BM_SendLines)->UseRealTime();

void BM_FrameLines(benchmark::State& state) {
  std::string read;
  while (read.size() + kLine.size() <= 64 * 1024) read += kLine;
  // A partial line at the end, as a real read has.
  read += kLine.substr(0, 40);
  std::string buffer;
  CLineFramer framer;
  std::int64_t lines = 0;
  for (auto _ : state) {
    buffer = read;
    framer.Feed(buffer.data(), buffer.size(), [&](const char* text, int length) {
      benchmark::DoNotOptimize(text);
      benchmark::DoNotOptimize(length);
      ++lines;
      return true;
    });
  }
  state.SetItemsProcessed(lines);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(read.size()));
}
BENCHMARK(BM_FrameLines);

}  // namespace

// End to end over loopback: the quote server simulator sends level 1 lines for 1 000 subscribed
// symbols; the real transport, quote client, pump thread and level 1 handler take them into the
// cache and on to subscriber threads that pump their message loops.
//   SocketToCache/threads:N  updates per second from socket to cache (a flood of level 1 lines),
//                            with the CPU each stage spent per update: pump_ns (the pump thread:
//                            dispatch, merge, hand-off), reader_ns (the transport's reader: framing
//                            and parsing) and process_ns (every thread, the simulator's included)
//   PumpOnly                 the pump thread alone: level 1 messages parsed beforehand on another
//                            thread, queued at once; its CPU per update (pump_ns) without the
//                            reader and the simulator taking turns on the same processors
//   .../tls:1                the same over TLS (a throwaway certificate made at start), next to
//                            tls:0, clear text, in the same run
//   Recording/record:N       SocketToCache with one subscriber thread, with the capture of every
//                            received line into a file in the temporary folder on (1) or off (0);
//                            the recording's cost lands on the reader thread (reader_ns)
//   DeliveryDelay            delay from the server's send to the subscriber's callback at 100 000
//                            updates per second, p50 and p99 in ms: immediate:0 delivers from the
//                            60 ms drain of each subscriber thread, immediate:1 wakes the thread as
//                            updates arrive
#include <benchmark/benchmark.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_recorder.h"
#include "connection/tls_settings.h"
#include "message/vok_message.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/interface_table.h"
#include "platform/message_loop.h"
#include "platform/thread.h"
#include "platform/tls_test_certificates_util.h"
#include "quote_server.h"
#include "records/vokquote.h"
#include "service/vok_quote_app.h"
#include "service/vok_quotes.h"
#include "service/vokquote_create.h"
#include "vkdll/vkdll.h"

namespace {

constexpr int kSymbols = 1000;

std::string SymbolName(int i) { return "S" + std::to_string(i); }

std::uint64_t NowUs() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

// CPU time in ns of the threads of this process whose name is `name` (every thread when empty).
std::uint64_t ThreadsCpuNs(const std::string& name) {
  std::uint64_t total = 0;
  DIR* tasks = ::opendir("/proc/self/task");
  if (tasks == nullptr) return 0;
  while (dirent* entry = ::readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    const std::string dir = std::string("/proc/self/task/") + entry->d_name;
    std::string comm;
    std::getline(std::ifstream(dir + "/comm"), comm);
    if (!name.empty() && comm != name) continue;
    std::uint64_t ns = 0;
    std::ifstream(dir + "/schedstat") >> ns;
    total += ns;
  }
  ::closedir(tasks);
  return total;
}

// Counts callbacks; with a time table, records when each numbered update (its dLast) arrived.
class CCountingNotify final : public IVokQuotesNotify {
 public:
  STDMETHOD(QueryInterface)(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 2; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(OnQuoteData)(QUOTERECORD* rec) override {
    m_calls.fetch_add(1, std::memory_order_relaxed);
    if (m_arrivals != nullptr && rec->dLast >= 1.0) {
      const auto index = static_cast<std::size_t>(rec->dLast) - 1;
      if (index < m_arrivals->size()) (*m_arrivals)[index].store(NowUs());
    }
    return S_OK;
  }
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD*) override { return S_OK; }
  STDMETHOD(OnTSData)(TSRECORD*) override { return S_OK; }
  STDMETHOD(OnOptionsData)(OPTIONSRECORD*) override { return S_OK; }

  std::atomic<std::uint64_t> m_calls{0};
  std::vector<std::atomic<std::uint64_t>>* m_arrivals = nullptr;
};

// A subscriber thread: subscribes its share of the symbols and pumps its message loop.
class CSubscriber {
 public:
  CSubscriber(IVokQuotes* quotes, int first, int count, std::vector<std::atomic<std::uint64_t>>* arrivals) {
    m_notify.m_arrivals = arrivals;
    m_thread = std::thread([this, quotes, first, count] {
      for (int i = first; i < first + count; ++i) {
        quotes->AdviseSymbol(&m_notify, vok::CBstr::FromNarrow(SymbolName(i)).Get(), qsfLevelOne);
      }
      m_ready = true;
      vok::RunMessageLoop([this] { return m_stop.load(); }, vok::kInfinite);
      quotes->UnadviseAll(&m_notify);
    });
  }
  ~CSubscriber() {
    m_stop = true;
    m_thread.join();
  }
  bool Ready() const { return m_ready.load(); }
  std::uint64_t Calls() const { return m_notify.m_calls.load(); }

 private:
  CCountingNotify m_notify;
  std::atomic<bool> m_ready{false};
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// The simulator, a logged-on service object and the subscriber threads.
class CEndToEnd {
 public:
  CEndToEnd(int threads, int rate, bool tls, std::vector<std::atomic<std::uint64_t>>* arrivals = nullptr) {
    vok::sim::SServerOptions options;
    options.rate = rate;
    options.heartbeatMs = 1000;
    options.maxBacklog = 256u << 20;
    if (tls) {
      m_certificates = std::make_unique<vok::test::CTestCertificates>();
      options.tlsCertificateFile = m_certificates->CertFile(vok::test::CTestCertificates::kValid);
      options.tlsKeyFile = m_certificates->KeyFile();
    }
    OverrideTlsSettings(STlsSettings{tls, tls ? m_certificates->CaFile() : std::string(), {}});
    m_server = std::make_unique<vok::sim::CQuoteServer>(options);
    m_server->Start();
    CVokQuotes::CreateInstance(IID_IVokQuotes, m_quotes.PutVoid());
    m_quotes.QueryInterface(IID_IVokQuotesPriv, m_priv);
    m_priv->SetRemoteAddress(vok::CBstr::FromNarrow("127.0.0.1:" + std::to_string(m_server->Port())).Get());
    m_priv->put_UserName(vok::CBstr::FromNarrow("bench").Get());
    for (int t = 0; t < threads; ++t) {
      const int share = kSymbols / threads;
      m_subscribers.push_back(std::make_unique<CSubscriber>(m_quotes.Get(), t * share, share, arrivals));
    }
    for (const auto& subscriber : m_subscribers) {
      while (!subscriber->Ready()) vok::SleepMs(1);
    }
    LONG result = 0;
    m_quotes->Connect(&result);
    m_server->WaitForLogons(1, 10000);
    // Every subscription reached the server.
    for (int spins = 0; spins < 10000; ++spins) {
      int subscribed = 0;
      for (const auto& line : m_server->ReceivedLines(1)) subscribed += line.compare(0, 2, "H|") == 0 ? 1 : 0;
      if (subscribed >= kSymbols) break;
      vok::SleepMs(1);
    }
  }
  ~CEndToEnd() {
    m_subscribers.clear();
    m_priv.Reset();
    m_quotes.Reset();
    m_server->Stop();
    OverrideTlsSettings(std::nullopt);
  }
  vok::sim::CQuoteServer& Server() { return *m_server; }
  std::uint64_t Calls() const {
    std::uint64_t calls = 0;
    for (const auto& subscriber : m_subscribers) calls += subscriber->Calls();
    return calls;
  }

 private:
  vok::CComApartment m_apartment{vok::CComApartment::kMultiThreaded};
  std::unique_ptr<vok::test::CTestCertificates> m_certificates;
  std::unique_ptr<vok::sim::CQuoteServer> m_server;
  vok::CComPtr<IVokQuotes> m_quotes;
  vok::CComPtr<IVokQuotesPriv> m_priv;
  std::vector<std::unique_ptr<CSubscriber>> m_subscribers;
};

void RunSocketToCache(benchmark::State& state, int threads, bool tls) {
  CEndToEnd endToEnd(threads, 0, tls);
  constexpr std::int64_t kLines = 200000;
  std::uint64_t total = 0;
  std::uint64_t pumpNs = 0;
  std::uint64_t readerNs = 0;
  std::uint64_t processNs = 0;
  for (auto _ : state) {
    const std::uint64_t before = vok::App().DispatchedMessages();
    const std::uint64_t pumpBefore = ThreadsCpuNs("vokquote-pump");
    const std::uint64_t readerBefore = ThreadsCpuNs("vokipc-reader");
    const std::uint64_t processBefore = ThreadsCpuNs("");
    endToEnd.Server().Run(1, vok::sim::CScript().Flood(kLines));
    // Sleeps, not spins: on a small machine a spinning waiter takes the pump's processor.
    while (vok::App().DispatchedMessages() < before + kLines) vok::SleepMs(1);
    pumpNs += ThreadsCpuNs("vokquote-pump") - pumpBefore;
    readerNs += ThreadsCpuNs("vokipc-reader") - readerBefore;
    processNs += ThreadsCpuNs("") - processBefore;
    total += kLines;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(total));
  state.counters["callbacks"] = static_cast<double>(endToEnd.Calls());
  state.counters["pump_ns"] = static_cast<double>(pumpNs) / static_cast<double>(total);
  state.counters["reader_ns"] = static_cast<double>(readerNs) / static_cast<double>(total);
  state.counters["process_ns"] = static_cast<double>(processNs) / static_cast<double>(total);
}

void SocketToCache(benchmark::State& state) {
  RunSocketToCache(state, static_cast<int>(state.range(0)), state.range(1) != 0);
}
BENCHMARK(SocketToCache)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({4, 0})
    ->Args({4, 1})
    ->ArgNames({"threads", "tls"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void Recording(benchmark::State& state) {
  const std::string path = "/tmp/vok_end_to_end_bench.vcap";
  std::remove(path.c_str());
  std::string error;
  if (state.range(0) != 0 && !vok::capture::StartRecording(path, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  RunSocketToCache(state, 1, false);
  vok::capture::StopRecording();
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  state.counters["file_MB"] = file ? static_cast<double>(file.tellg()) / 1e6 : 0.0;
  std::remove(path.c_str());
}
BENCHMARK(Recording)->Arg(0)->Arg(1)->ArgName("record")->Unit(benchmark::kMillisecond)->UseRealTime();

void PumpOnly(benchmark::State& state) {
  CEndToEnd endToEnd(1, 0, false);
  constexpr std::size_t kMessages = 200000;
  std::vector<std::string> lines;
  for (int i = 0; i < kSymbols; ++i) {
    lines.push_back("1|1003=" + SymbolName(i) + ";2022=NASDAQ;2002=" + std::to_string(10 + i) +
                    ".25;2003=10.2;2004=10.3;2005=100;2006=200;2012=123456;2014=10:30:00;2015=03/02/2009");
  }
  std::uint64_t pumpNs = 0;
  std::uint64_t total = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::unique_ptr<VOKMessage>> messages;
    messages.reserve(kMessages);
    for (std::size_t i = 0; i < kMessages; ++i) {
      const std::string& line = lines[i % lines.size()];
      messages.push_back(std::make_unique<VOKMessage>(line.c_str(), static_cast<int>(line.size())));
    }
    state.ResumeTiming();
    const std::uint64_t before = vok::App().DispatchedMessages();
    const std::uint64_t pumpBefore = ThreadsCpuNs("vokquote-pump");
    for (auto& message : messages) vok::App().QueueMessage(std::move(message));
    while (vok::App().DispatchedMessages() < before + kMessages) vok::SleepMs(1);
    pumpNs += ThreadsCpuNs("vokquote-pump") - pumpBefore;
    total += kMessages;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(total));
  state.counters["pump_ns"] = static_cast<double>(pumpNs) / static_cast<double>(total);
}
BENCHMARK(PumpOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void DeliveryDelay(benchmark::State& state) {
  constexpr int kPerMs = 100;  // 100 000 updates per second
  constexpr int kMs = 2000;
  constexpr std::size_t kUpdates = static_cast<std::size_t>(kPerMs) * kMs;
  std::vector<std::atomic<std::uint64_t>> arrivals(kUpdates);
  std::vector<std::uint64_t> sent(kMs);
  VokSetImmediateDelivery(state.range(2) != 0 ? 1 : 0);
  CEndToEnd endToEnd(static_cast<int>(state.range(0)), 0, state.range(1) != 0, &arrivals);
  std::vector<double> delaysMs;
  // The object read it when it was made; later objects follow the settings again.
  VokSetImmediateDelivery(0);
  for (auto _ : state) {
    for (auto& arrival : arrivals) arrival.store(0);
    const std::uint64_t start = NowUs();
    for (int ms = 0; ms < kMs; ++ms) {
      // Paced by the clock: batch `ms` is handed to the server at start + ms milliseconds.
      while (NowUs() < start + static_cast<std::uint64_t>(ms) * 1000) std::this_thread::yield();
      vok::sim::CScript batch;
      for (int i = 0; i < kPerMs; ++i) {
        const std::size_t index = static_cast<std::size_t>(ms) * kPerMs + i;
        batch.Send("1|1003=" + SymbolName(static_cast<int>(index % kSymbols)) + ";2002=" + std::to_string(index + 1));
      }
      sent[ms] = NowUs();
      endToEnd.Server().Run(1, batch);
    }
    const std::uint64_t deadline = NowUs() + 5000000;
    while (NowUs() < deadline &&
           std::any_of(arrivals.end() - kPerMs, arrivals.end(), [](const auto& a) { return a.load() == 0; })) {
      vok::SleepMs(5);
    }
  }
  std::size_t lost = 0;
  for (std::size_t i = 0; i < kUpdates; ++i) {
    const std::uint64_t arrived = arrivals[i].load();
    if (arrived == 0) {
      ++lost;
      continue;
    }
    delaysMs.push_back(static_cast<double>(arrived - sent[i / kPerMs]) / 1000.0);
  }
  std::sort(delaysMs.begin(), delaysMs.end());
  if (!delaysMs.empty()) {
    state.counters["p50_ms"] = delaysMs[delaysMs.size() / 2];
    state.counters["p99_ms"] = delaysMs[delaysMs.size() * 99 / 100];
    state.counters["max_ms"] = delaysMs.back();
  }
  state.counters["lost"] = static_cast<double>(lost);
  state.SetItemsProcessed(static_cast<std::int64_t>(kUpdates));
}
BENCHMARK(DeliveryDelay)
    ->Args({1, 0, 0})
    ->Args({1, 0, 1})
    ->Args({1, 1, 0})
    ->Args({1, 1, 1})
    ->ArgNames({"threads", "tls", "immediate"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

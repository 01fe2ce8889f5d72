// The real-time data server's topic table on the spreadsheet host's thread: 5 000 topics (five
// level 1 fields of each of 1 000 symbols) over a logged-on service object, with the simulator
// flooding level 1 lines for all the symbols as fast as the client reads.
//   RefreshLoop  the host's thread pumps its messages and answers every signal at once (no
//                throttle, the worst case for the host): signals per second (notify_per_s),
//                changed topics per refresh (topics_per_refresh), the refresh's cost per changed
//                topic (refresh_ns_per_topic: taking the changes and making each value a VARIANT,
//                the work RefreshData does besides filling the array) and the host thread's CPU
//                per server line (host_cpu_ns_per_line: the data callbacks and the refreshes)
//   RefreshAll   one refresh of all 5 000 topics changed at once, ns per topic
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/interface_table.h"
#include "platform/message_loop.h"
#include "platform/thread.h"
#include "quote_server.h"
#include "records/vokquote.h"
#include "service/rtd/rtd_topic_table.h"
#include "service/vok_quote_app.h"
#include "service/vok_quotes.h"

namespace {

constexpr int kSymbols = 1000;
const char* const kFields[] = {"Last", "Bid", "Ask", "Volume", "NetChange%"};

std::uint64_t NowNs() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

std::uint64_t ThreadCpuNs() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
}

// The refresh as the server does it, less the array: the changes taken and each value a VARIANT.
std::uint64_t Refresh(vok::CRtdTopicTable& table, vok::CRtdTopicTable::Changes& changes) {
  table.TakeChanges(changes);
  for (const auto& [id, value] : changes) {
    VARIANT variant;
    vok::RtdValueToVariant(value, &variant);
    benchmark::DoNotOptimize(id);
    ::VariantClear(&variant);
  }
  return changes.size();
}

// The simulator, a logged-on service object and the table with its 5 000 topics, on this thread.
class CRtdSheet {
 public:
  CRtdSheet() {
    vok::sim::SServerOptions options;
    options.rate = 0;
    options.heartbeatMs = 1000;
    options.maxBacklog = 256u << 20;
    m_server = std::make_unique<vok::sim::CQuoteServer>(options);
    m_server->Start();
    CVokQuotes::CreateInstance(IID_IVokQuotes, m_quotes.PutVoid());
    vok::CComPtr<IVokQuotesPriv> priv;
    m_quotes.QueryInterface(IID_IVokQuotesPriv, priv);
    priv->SetRemoteAddress(vok::CBstr::FromNarrow("127.0.0.1:" + std::to_string(m_server->Port())).Get());
    priv->put_UserName(vok::CBstr::FromNarrow("bench").Get());
    m_table = std::make_unique<vok::CRtdTopicTable>(m_quotes.Get(), [this] { m_signalled = true; });
    m_table->Start();
    LONG id = 0;
    for (int i = 0; i < kSymbols; ++i) {
      for (const char* field : kFields) {
        const std::vector<std::string> strings = {"S" + std::to_string(i), field};
        m_table->Connect(id++, strings);
      }
    }
    m_server->WaitForLogons(1, 10000);
    for (int spins = 0; spins < 10000; ++spins) {
      int subscribed = 0;
      for (const auto& line : m_server->ReceivedLines(1)) subscribed += line.compare(0, 2, "H|") == 0 ? 1 : 0;
      if (subscribed >= kSymbols) break;
      vok::SleepMs(1);
    }
    // The snapshots are not what is measured.
    Pump(300);
    m_table->TakeChanges(m_changes);
    m_signalled = false;
  }
  ~CRtdSheet() {
    m_table.reset();
    m_quotes.Reset();
    m_server->Stop();
  }

  // Pumps for ms, answering each signal at once; the refreshes' time and topic count are added up.
  void Pump(std::uint32_t ms) {
    const std::uint64_t end = NowNs() + std::uint64_t{ms} * 1000000u;
    while (NowNs() < end) {
      vok::RunMessageLoop([this] { return m_signalled; }, 5);
      if (!m_signalled) continue;
      m_signalled = false;
      const std::uint64_t start = NowNs();
      m_refreshedTopics += Refresh(*m_table, m_changes);
      m_refreshNs += NowNs() - start;
      ++m_refreshes;
    }
  }

  vok::sim::CQuoteServer& Server() { return *m_server; }
  vok::CRtdTopicTable& Table() { return *m_table; }

  std::uint64_t m_refreshes = 0;
  std::uint64_t m_refreshedTopics = 0;
  std::uint64_t m_refreshNs = 0;
  bool m_signalled = false;
  vok::CRtdTopicTable::Changes m_changes;

 private:
  vok::CComApartment m_apartment{vok::CComApartment::kSingleThreaded};
  std::unique_ptr<vok::sim::CQuoteServer> m_server;
  vok::CComPtr<IVokQuotes> m_quotes;
  std::unique_ptr<vok::CRtdTopicTable> m_table;
};

void RefreshLoop(benchmark::State& state) {
  CRtdSheet sheet;
  constexpr std::int64_t kLines = 200000;
  std::uint64_t lines = 0;
  std::uint64_t elapsedNs = 0;
  std::uint64_t hostCpuNs = 0;
  for (auto _ : state) {
    const std::uint64_t before = vok::App().DispatchedMessages();
    const std::uint64_t start = NowNs();
    const std::uint64_t cpuStart = ThreadCpuNs();
    sheet.Server().Run(1, vok::sim::CScript().Flood(kLines));
    while (vok::App().DispatchedMessages() < before + kLines) sheet.Pump(20);
    // What the pump has handed on is delivered by the next drain ticks.
    sheet.Pump(200);
    hostCpuNs += ThreadCpuNs() - cpuStart;
    elapsedNs += NowNs() - start;
    lines += kLines;
  }
  const double seconds = static_cast<double>(elapsedNs) / 1e9;
  state.SetItemsProcessed(static_cast<std::int64_t>(lines));
  state.counters["notify_per_s"] = static_cast<double>(sheet.m_refreshes) / seconds;
  state.counters["topics_per_refresh"] =
      static_cast<double>(sheet.m_refreshedTopics) / static_cast<double>(std::max<std::uint64_t>(sheet.m_refreshes, 1));
  state.counters["refresh_ns_per_topic"] =
      static_cast<double>(sheet.m_refreshNs) / static_cast<double>(std::max<std::uint64_t>(sheet.m_refreshedTopics, 1));
  state.counters["host_cpu_ns_per_line"] = static_cast<double>(hostCpuNs) / static_cast<double>(lines);
}
BENCHMARK(RefreshLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void RefreshAll(benchmark::State& state) {
  CRtdSheet sheet;
  vok::CRtdTopicTable::Changes changes;
  std::uint64_t topics = 0;
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // Every symbol gets a new price and volume: all five of its topics change.
    ++round;
    for (int i = 0; i < kSymbols; ++i) {
      QUOTERECORD record{};
      vok::CBstr symbol = vok::CBstr::FromNarrow("S" + std::to_string(i));
      record.bstrSymbol = symbol.Get();
      record.dLast = 100.0 + round;
      record.dBid = 99.0 + round;
      record.dAsk = 101.0 + round;
      record.lVolume = round;
      record.dPrevClose = 50;
      sheet.Table().OnQuote(record);
    }
    state.ResumeTiming();
    topics += Refresh(sheet.Table(), changes);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(topics));
  state.counters["topics_per_refresh"] = static_cast<double>(topics) / static_cast<double>(state.iterations());
}
BENCHMARK(RefreshAll)->Unit(benchmark::kMicrosecond);

}  // namespace

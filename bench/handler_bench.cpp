// Speed of the handlers: one update through OnMessage (merge into the cache, the work item copied
// and queued to every subscribing thread) with 1 000 subscribed symbols and 1 or 4 subscriber
// threads that keep draining their queues, for level 1, level 2 and options; one GetCachedQuote.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "handlers/handler_host.h"
#include "handlers/l2_handler.h"
#include "handlers/options_handler.h"
#include "handlers/quote_handler.h"
#include "handlers/thread_queue.h"
#include "message/vok_message.h"
#include "platform/message_loop.h"

namespace {

class CBenchHost final : public IHandlerHost {
 public:
  bool LogQuotes() const override { return false; }
  bool ImmediateDelivery() const override { return false; }
  bool GetBorrowRate(const std::string&, double&) override { return false; }
  void AddOptionRoot(const std::string&, const std::string&) override {}
  vok::CCriticalSection& ConnectionLock() override { return m_lock; }
  bool ConnectionLoggedIn() override { return false; }
  void Send(const VOKMessage&) override {}

 private:
  vok::CCriticalSection m_lock;
};

// On its own cache line, as a client's heap object would be: the subscriber counts every update.
class alignas(64) CCountingNotify final : public IVokQuotesNotify {
 public:
  STDMETHOD(QueryInterface)(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 2; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(OnQuoteData)(QUOTERECORD*) override {
    m_count.fetch_add(1, std::memory_order_relaxed);
    return S_OK;
  }
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD*) override {
    m_count.fetch_add(1, std::memory_order_relaxed);
    return S_OK;
  }
  STDMETHOD(OnTSData)(TSRECORD*) override { return S_OK; }
  STDMETHOD(OnOptionsData)(OPTIONSRECORD*) override {
    m_count.fetch_add(1, std::memory_order_relaxed);
    return S_OK;
  }
  std::atomic<long> m_count{0};
};

constexpr int kSymbols = 1000;

std::string Symbol(int i) { return "S" + std::to_string(i); }

// Subscriber threads that advise every symbol, then pump (and so drain) until stopped.
class CSubscribers {
 public:
  CSubscribers(CHandler& handler, int threads, long flag = qsfLevelOne) {
    for (int t = 0; t < threads; ++t) {
      m_threads.emplace_back([this, &handler, flag] {
        for (int i = 0; i < kSymbols; ++i) handler.Advise(&m_notify, Symbol(i), flag);
        ++m_ready;
        vok::RunMessageLoop([this] { return m_stop.load(); }, vok::kInfinite);
        handler.UnadviseAll(&m_notify);
      });
    }
    while (m_ready.load() < threads) std::this_thread::yield();
  }
  ~CSubscribers() {
    m_stop = true;
    for (auto& t : m_threads) t.join();
  }

 private:
  CCountingNotify m_notify;
  std::atomic<int> m_ready{0};
  std::atomic<bool> m_stop{false};
  std::vector<std::thread> m_threads;
};

// One typical level 1 line per symbol: quote, sizes, volume, Eastern date and time.
std::vector<VOKMessage> Level1Messages() {
  std::vector<VOKMessage> messages;
  for (int i = 0; i < kSymbols; ++i) {
    const std::string line = "1|1003=" + Symbol(i) + ";2022=NASDAQ;2002=" + std::to_string(10 + i) +
                             ".25;2003=10.2;2004=10.3;2005=100;2006=200;2012=123456;2014=10:30:00;2015=03/02/2009";
    messages.emplace_back(line.c_str(), static_cast<int>(line.size()));
  }
  return messages;
}

void BM_Level1Update(benchmark::State& state) {
  CBenchHost host;
  CQuoteHandler handler(&host);
  CSubscribers subscribers(handler, static_cast<int>(state.range(0)));
  std::vector<VOKMessage> messages = Level1Messages();
  std::size_t next = 0;
  for (auto _ : state) {
    handler.OnMessage('1', messages[next]);
    if (++next == messages.size()) next = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Level1Update)->Arg(1)->Arg(4)->UseRealTime();

// The same update with the subscriber on the measuring thread: the queue is drained outside the
// timing every 1 000 updates, so the figure is the work up to the item sitting in the queue without
// a second thread competing for the caches and the allocator.
void BM_Level1UpdateOwnThread(benchmark::State& state) {
  CBenchHost host;
  CQuoteHandler handler(&host);
  CCountingNotify notify;
  for (int i = 0; i < kSymbols; ++i) handler.Advise(&notify, Symbol(i), qsfLevelOne);
  std::vector<VOKMessage> messages = Level1Messages();
  std::size_t next = 0;
  for (auto _ : state) {
    handler.OnMessage('1', messages[next]);
    if (++next == messages.size()) {
      next = 0;
      state.PauseTiming();
      CThreadQueue::CurrentQueue()->Drain();
      state.ResumeTiming();
    }
  }
  CThreadQueue::CurrentQueue()->Drain();
  handler.UnadviseAll(&notify);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Level1UpdateOwnThread);

// One level 2 side update per line, spread over ten participants per symbol.
std::vector<VOKMessage> Level2Messages() {
  std::vector<VOKMessage> messages;
  for (int i = 0; i < kSymbols; ++i) {
    const std::string line = "2|1003=" + Symbol(i) + ";2016=MM" + std::to_string(i % 10) +
                             ";2017=" + (i % 2 == 0 ? "20010" : "20011") + ";2018=" + std::to_string(10 + i) +
                             ".25;2019=300;2024=O;2033=NSDQ;2020=10:30:00";
    messages.emplace_back(line.c_str(), static_cast<int>(line.size()));
  }
  return messages;
}

void BM_Level2Update(benchmark::State& state) {
  CBenchHost host;
  CL2Handler handler(&host);
  CSubscribers subscribers(handler, static_cast<int>(state.range(0)), qsfLevelTwo);
  std::vector<VOKMessage> messages = Level2Messages();
  std::size_t next = 0;
  for (auto _ : state) {
    handler.OnMessage('2', messages[next]);
    if (++next == messages.size()) next = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Level2Update)->Arg(1)->Arg(4)->UseRealTime();

// One option update per line: four options of each underlying, with prices, sizes and a time.
std::vector<VOKMessage> OptionsMessages() {
  std::vector<VOKMessage> messages;
  for (int i = 0; i < kSymbols; ++i) {
    const std::string option = "+" + Symbol(i) + "-" + static_cast<char>('A' + i % 4);
    const std::string line = "4|2034=" + Symbol(i) + ";1003=" + option +
                             ";2035=25;2036=1;2037=500;2040=2009;2038=P;2002=1.5;2003=1.4;2004=1.6;2005=10;"
                             "2006=20;2012=100;2014=10:30:00;2015=03/02/2009";
    messages.emplace_back(line.c_str(), static_cast<int>(line.size()));
  }
  return messages;
}

void BM_OptionsUpdate(benchmark::State& state) {
  CBenchHost host;
  COptionsHandler handler(&host);
  CSubscribers subscribers(handler, static_cast<int>(state.range(0)), qsfOptions);
  std::vector<VOKMessage> messages = OptionsMessages();
  std::size_t next = 0;
  for (auto _ : state) {
    handler.OnMessage('4', messages[next]);
    if (++next == messages.size()) next = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OptionsUpdate)->Arg(1)->Arg(4)->UseRealTime();

void BM_GetCachedQuote(benchmark::State& state) {
  CBenchHost host;
  CQuoteHandler handler(&host);
  CSubscribers subscribers(handler, 1);
  const std::string line = "1|1003=S7;2022=NASDAQ;2021=Seven Inc;2002=10.25;2003=10.2;2004=10.3";
  handler.OnMessage('1', VOKMessage(line.c_str(), static_cast<int>(line.size())));
  for (auto _ : state) {
    QUOTERECORD rec{};
    benchmark::DoNotOptimize(handler.GetCachedQuote(reinterpret_cast<const OLECHAR*>(u"s7"), &rec));
    for (BSTR s : {rec.bstrSymbol, rec.bstrMarket, rec.bstrCompany, rec.bstrUnderlier}) SysFreeString(s);
  }
}
BENCHMARK(BM_GetCachedQuote);

}  // namespace

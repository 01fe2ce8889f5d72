// Test doubles for the handler tests: a host that records the requests that would go on the wire,
// a callback that records what it receives and on which thread, and a client thread that runs
// posted calls and pumps its message loop so its dispatch queue drains.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "handlers/handler_host.h"
#include "message/vok_message.h"
#include "platform/message_loop.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "records/vokquote.h"
#include "vkdll/trace.h"
#include "vokcommon/vok_date_time.h"

namespace vok::test {

struct SentRequest {
  char type;
  std::string symbol;
  int serviceId;
  bool operator==(const SentRequest&) const = default;
};

class CFakeHost final : public IHandlerHost {
 public:
  bool LogQuotes() const override { return m_logQuotes; }
  bool ImmediateDelivery() const override { return false; }
  bool GetBorrowRate(const std::string& symbol, double& rate) override {
    std::lock_guard lock(m_mutex);
    auto it = m_borrow.find(symbol);
    if (it == m_borrow.end()) return false;
    rate = it->second;
    return true;
  }
  void AddOptionRoot(const std::string& root, const std::string& underlier) override {
    std::lock_guard lock(m_mutex);
    m_optionRoots.emplace(root, underlier);
  }
  vok::CCriticalSection& ConnectionLock() override { return m_connectionLock; }
  bool ConnectionLoggedIn() override { return m_loggedIn; }
  void Send(const VOKMessage& message) override {
    SentRequest sent{static_cast<char>(message.GetType()), {}, 0};
    message.GetString(1003, sent.symbol);
    message.GetInt(2000, sent.serviceId);
    std::lock_guard lock(m_mutex);
    m_sent.push_back(sent);
  }

  std::vector<SentRequest> TakeSent() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_sent, {});
  }
  void SetBorrowRate(const std::string& symbol, double rate) {
    std::lock_guard lock(m_mutex);
    m_borrow[symbol] = rate;
  }
  std::map<std::string, std::string> OptionRoots() {
    std::lock_guard lock(m_mutex);
    return m_optionRoots;
  }

  std::atomic<bool> m_logQuotes{false};
  std::atomic<bool> m_loggedIn{true};

 private:
  vok::CCriticalSection m_connectionLock;
  std::mutex m_mutex;
  std::vector<SentRequest> m_sent;
  std::map<std::string, double> m_borrow;
  std::map<std::string, std::string> m_optionRoots;
};

// What one OnQuoteData call saw.
struct Received {
  vok::ThreadId thread;
  std::string symbol;
  double last;
  double prevClose;
  LONG volume;
};

// The text of a record string; "<null>" for a null BSTR.
inline std::string TextOf(BSTR text) {
  return text == nullptr ? "<null>"
                         : vok::NarrowFromWide(reinterpret_cast<const vok::WideChar*>(text), SysStringLen(text));
}

// What one OnLevel2Data, OnTSData or OnOptionsData call saw: the record's numbers as they were
// (its strings nulled, since they belong to the component) and its strings as text.
template <class Record>
struct ReceivedRecord {
  vok::ThreadId thread;
  Record rec;
  std::vector<std::string> texts;  // the record's strings in field order, "<null>" for null
};
using L2Received = ReceivedRecord<LEVEL2RECORD>;    // texts: symbol, MMID, source
using TSReceived = ReceivedRecord<TSRECORD>;        // texts: symbol, exchange
using OptReceived = ReceivedRecord<OPTIONSRECORD>;  // texts: symbol, underlier

class CRecordingNotify final : public IVokQuotesNotify {
 public:
  STDMETHOD(QueryInterface)(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 2; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(OnQuoteData)(QUOTERECORD* rec) override {
    {
      std::lock_guard lock(m_mutex);
      m_received.push_back({vok::CurrentThreadId(),
                            vok::NarrowFromWide(reinterpret_cast<const vok::WideChar*>(rec->bstrSymbol),
                                                rec->bstrSymbol ? SysStringLen(rec->bstrSymbol) : 0),
                            rec->dLast, rec->dPrevClose, rec->lVolume});
    }
    if (m_onQuote) m_onQuote();
    return S_OK;
  }
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD* rec) override {
    return Record(m_level2, *rec, {&rec->bstrSymbol, &rec->bstrMMID, &rec->bstrSource});
  }
  STDMETHOD(OnTSData)(TSRECORD* rec) override { return Record(m_ts, *rec, {&rec->bstrSymbol, &rec->bstrExchange}); }
  STDMETHOD(OnOptionsData)(OPTIONSRECORD* rec) override {
    return Record(m_options, *rec, {&rec->bstrSymbol, &rec->bstrUnderlier});
  }

  std::vector<L2Received> Level2() {
    std::lock_guard lock(m_mutex);
    return m_level2;
  }
  std::vector<TSReceived> TimeAndSales() {
    std::lock_guard lock(m_mutex);
    return m_ts;
  }
  std::vector<OptReceived> Options() {
    std::lock_guard lock(m_mutex);
    return m_options;
  }
  // All calls of every kind so far.
  std::size_t Total() {
    std::lock_guard lock(m_mutex);
    return m_received.size() + m_level2.size() + m_ts.size() + m_options.size();
  }
  // Runs after each recorded level 2, time and sales or options call, on the calling thread.
  std::function<void()> m_onData;

  std::vector<Received> Got() {
    std::lock_guard lock(m_mutex);
    return m_received;
  }
  std::size_t Count() {
    std::lock_guard lock(m_mutex);
    return m_received.size();
  }
  // Runs after each recorded call, on the calling thread (set before any delivery).
  std::function<void()> m_onQuote;

 private:
  template <class Rec>
  HRESULT Record(std::vector<ReceivedRecord<Rec>>& into, const Rec& rec, std::initializer_list<BSTR const*> strings) {
    ReceivedRecord<Rec> got{vok::CurrentThreadId(), rec, {}};
    // The copy's string members point into the component's record: null them in the copy.
    for (BSTR const* field : strings) {
      got.texts.push_back(TextOf(*field));
      const auto offset = reinterpret_cast<const char*>(field) - reinterpret_cast<const char*>(&rec);
      *reinterpret_cast<BSTR*>(reinterpret_cast<char*>(&got.rec) + offset) = nullptr;
    }
    {
      std::lock_guard lock(m_mutex);
      into.push_back(std::move(got));
    }
    if (m_onData) m_onData();
    return S_OK;
  }

  std::mutex m_mutex;
  std::vector<Received> m_received;
  std::vector<L2Received> m_level2;
  std::vector<TSReceived> m_ts;
  std::vector<OptReceived> m_options;
};

// A client thread: runs posted calls in order and pumps its message loop in between.
class CClientThread {
 public:
  CClientThread() {
    m_thread = std::thread([this] {
      m_id = vok::CurrentThreadId();
      while (!m_stop) {
        RunPending();
        vok::RunMessageLoop([this] { return m_stop.load() || HasPending(); }, 10);
      }
      RunPending();
    });
  }
  ~CClientThread() { Stop(); }
  void Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  // Runs call on the thread and waits for it.
  void Run(std::function<void()> call) {
    std::atomic<bool> done{false};
    {
      std::lock_guard lock(m_mutex);
      m_pending.push_back([&] {
        call();
        done = true;
      });
    }
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  vok::ThreadId Id() {
    Run([] {});
    return m_id;
  }

 private:
  bool HasPending() {
    std::lock_guard lock(m_mutex);
    return !m_pending.empty();
  }
  void RunPending() {
    for (;;) {
      std::function<void()> call;
      {
        std::lock_guard lock(m_mutex);
        if (m_pending.empty()) return;
        call = std::move(m_pending.front());
        m_pending.pop_front();
      }
      call();
    }
  }
  std::thread m_thread;
  std::atomic<vok::ThreadId> m_id{0};
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::deque<std::function<void()>> m_pending;
};

// Collects trace lines of one level whose text starts with a prefix. Its state lives on the heap:
// ThreadSanitizer would otherwise take its mutex for a handler lock of an earlier test that had the
// same stack address and report a lock-order cycle that cannot happen.
class CTraceCapture {
 public:
  CTraceCapture()
      : m_state(std::make_unique<State>()), m_sink([state = m_state.get()](int level, std::string_view text) {
          std::lock_guard lock(state->mutex);
          state->lines.emplace_back(level, std::string(text));
        }) {}
  std::vector<std::string> Lines(int level, std::string_view contains) {
    std::lock_guard lock(m_state->mutex);
    std::vector<std::string> result;
    for (auto& [l, text] : m_state->lines) {
      if (l == level && text.find(contains) != std::string::npos) result.push_back(text);
    }
    return result;
  }

 private:
  struct State {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> lines;
  };
  std::unique_ptr<State> m_state;
  vok::CScopedTraceSink m_sink;
};

// Moments as the handlers compute them: an Eastern date-time text, a UTC one, a FIX UTC stamp.
inline DATE EasternMoment(const char* text) {
  CVokDateTime t;
  EXPECT_TRUE(t.ParseETDateTime(text, 0, 1033)) << text;
  return t.m_dt;
}
inline DATE UtcMoment(const char* text) {
  CVokDateTime t;
  EXPECT_TRUE(t.ParseDateTime(text, 1, 1033)) << text;
  return t.m_dt;
}
inline DATE FixMoment(const char* text) {
  CVokDateTime t;
  EXPECT_TRUE(t.ParseFIXUtcTimestamp(text)) << text;
  return t.m_dt;
}

inline const OLECHAR* Wide(const char16_t* text) { return reinterpret_cast<const OLECHAR*>(text); }

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  for (int waited = 0; waited < timeoutMs; waited += 2) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

// Parses a wire line "T|fid=value;..." and hands it to the handler as the dispatcher would.
template <class Handler>
void Feed(Handler& handler, const std::string& line) {
  VOKMessage message(line.c_str(), static_cast<int>(line.size()));
  handler.OnMessage(static_cast<char>(message.GetType()), message);
}

}  // namespace vok::test

// Test doubles shared by the handler, service and fault tests: a host that records the requests,
// a recording callback, and a client thread that runs posted calls and pumps its message loop.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "handlers/handler_host.h"
#include "handlers/thread_queue.h"
#include "message/vok_message.h"
#include "platform/bstr.h"
#include "platform/message_loop.h"
#include "platform/thread.h"
#include "records/vokquote.h"
#include "vkdll/trace_test_util.h"
#include "vokcommon/vok_date_time.h"

namespace vok::test {

struct SentRequest {
  char type;
  std::string symbol;
  int serviceId;
  bool operator==(const SentRequest&) const = default;
};

class CFakeHost final : public IHandlerHost {
  template <class F>
  auto Locked(F call) {
    std::lock_guard lock(m_mutex);
    return call();
  }

 public:
  bool LogQuotes() const override { return m_logQuotes; }
  bool ImmediateDelivery() const override { return false; }
  bool GetBorrowRate(const std::string& symbol, double& rate) override {
    return Locked([&] { return m_borrow.contains(symbol) && (rate = m_borrow[symbol], true); });
  }
  void AddOptionRoot(const std::string& root, const std::string& underlier) override {
    Locked([&] { return m_optionRoots.emplace(root, underlier); });
  }
  vok::CCriticalSection& ConnectionLock() override { return m_connectionLock; }
  bool ConnectionLoggedIn() override { return true; }
  void Send(const VOKMessage& message) override {
    SentRequest sent{static_cast<char>(message.GetType()), {}, 0};
    message.GetString(1003, sent.symbol);
    message.GetInt(2000, sent.serviceId);
    Locked([&] { m_sent.push_back(sent); });
  }

  std::vector<SentRequest> TakeSent() {
    return Locked([&] { return std::exchange(m_sent, {}); });
  }
  void SetBorrowRate(const std::string& symbol, double rate) {
    Locked([&] { m_borrow[symbol] = rate; });
  }
  std::map<std::string, std::string> OptionRoots() {
    return Locked([&] { return m_optionRoots; });
  }

  std::atomic<bool> m_logQuotes{false};

 private:
  vok::CCriticalSection m_connectionLock;
  std::mutex m_mutex;
  std::vector<SentRequest> m_sent;
  std::map<std::string, double> m_borrow;
  std::map<std::string, std::string> m_optionRoots;
};

// What one callback saw: its thread, the record's numbers as they were (its strings nulled, since
// they belong to the component) and its strings as text in field order, "<null>" for null.
template <class Record>
struct Received {
  vok::ThreadId thread;
  Record rec;
  std::vector<std::string> texts;
};

inline std::string TextOf(BSTR text) { return text == nullptr ? "<null>" : vok::CBstr::ToNarrow(text); }

class CRecordingNotify final : public IVokQuotesNotify {
 public:
  STDMETHOD(QueryInterface)(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 2; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(OnQuoteData)(QUOTERECORD* r) override {
    return Record(m_quotes, *r, {&r->bstrSymbol, &r->bstrMarket, &r->bstrCompany, &r->bstrUnderlier});
  }
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD* r) override {
    return Record(m_level2, *r, {&r->bstrSymbol, &r->bstrMMID, &r->bstrSource});
  }
  STDMETHOD(OnTSData)(TSRECORD* r) override { return Record(m_ts, *r, {&r->bstrSymbol, &r->bstrExchange}); }
  STDMETHOD(OnOptionsData)(OPTIONSRECORD* r) override {
    return Record(m_options, *r, {&r->bstrSymbol, &r->bstrUnderlier});
  }

  std::vector<Received<QUOTERECORD>> Quotes() { return Copy(m_quotes); }
  std::vector<Received<LEVEL2RECORD>> Level2() { return Copy(m_level2); }
  std::vector<Received<TSRECORD>> TimeAndSales() { return Copy(m_ts); }
  std::vector<Received<OPTIONSRECORD>> Options() { return Copy(m_options); }
  // The level 1 calls in short, as the service tests read them.
  struct QuoteSeen {
    vok::ThreadId thread;
    std::string symbol;
    double last, prevClose;
    LONG volume;
  };
  std::vector<QuoteSeen> Got() {
    std::vector<QuoteSeen> seen;
    for (const auto& q : Quotes()) seen.push_back({q.thread, q.texts[0], q.rec.dLast, q.rec.dPrevClose, q.rec.lVolume});
    return seen;
  }
  std::size_t Count() { return Quotes().size(); }
  std::size_t Total() { return Quotes().size() + Level2().size() + TimeAndSales().size() + Options().size(); }
  // Runs after each recorded call, on the calling thread (set before any delivery).
  std::function<void()> m_onCall;

 private:
  template <class Rec>
  HRESULT Record(std::vector<Received<Rec>>& into, const Rec& rec, std::initializer_list<BSTR const*> strings) {
    Received<Rec> got{vok::CurrentThreadId(), rec, {}};
    for (BSTR const* field : strings) {
      // A delivered string is a whole BSTR: its length prefix aligned, a NUL after its text.
      EXPECT_TRUE(*field == nullptr ||
                  (reinterpret_cast<std::uintptr_t>(*field) % 4 == 0 && (*field)[SysStringLen(*field)] == 0));
      got.texts.push_back(TextOf(*field));
      const auto offset = reinterpret_cast<const char*>(field) - reinterpret_cast<const char*>(&rec);
      *reinterpret_cast<BSTR*>(reinterpret_cast<char*>(&got.rec) + offset) = nullptr;
    }
    {
      std::lock_guard lock(m_mutex);
      into.push_back(std::move(got));
    }
    if (m_onCall) m_onCall();
    return S_OK;
  }
  template <class Rec>
  std::vector<Received<Rec>> Copy(const std::vector<Received<Rec>>& from) {
    std::lock_guard lock(m_mutex);
    return from;
  }

  std::mutex m_mutex;
  std::vector<Received<QUOTERECORD>> m_quotes;
  std::vector<Received<LEVEL2RECORD>> m_level2;
  std::vector<Received<TSRECORD>> m_ts;
  std::vector<Received<OPTIONSRECORD>> m_options;
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
  // Ends the thread once the calls already posted have run.
  void Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  // Post queues call to run on the thread; Run also waits until it has run.
  void Post(std::function<void()> call) {
    std::lock_guard lock(m_mutex);
    m_pending.push_back(std::move(call));
  }
  void Run(const std::function<void()>& call) {
    std::atomic<bool> done{false};
    Post([&] {
      call();
      done = true;
    });
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Delivers everything queued for this thread so far (its queue has no drain timer of its own
  // unless something starts one).
  void Drain() {
    Run([] { CThreadQueue::CurrentQueue()->Drain(); });
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

using CTraceCapture = CTraceLines;

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

// Parses a wire line "T|fid=value;..." and hands it to the handler as the dispatcher would.
template <class Handler>
void Feed(Handler& handler, const std::string& line) {
  VOKMessage message(line.c_str(), static_cast<int>(line.size()));
  handler.OnMessage(static_cast<char>(message.GetType()), message);
}

}  // namespace vok::test

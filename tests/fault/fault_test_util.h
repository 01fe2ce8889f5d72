// Shared pieces of the fault suite: a live feed with one pumping subscriber thread, marker lines
// that prove a connection's data reached the callbacks, and the process's resources from /proc.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "handlers/handler_test_support.h"
#include "message/vok_message.h"
#include "platform/interface_table.h"
#include "quote_server.h"
#include "service/connection_times_test_util.h"
#include "service/simulator_endpoint_test_util.h"
#include "service/vok_quotes_test_util.h"
#include "vkdll/vkdll.h"

namespace vok::fault {

#ifdef VOK_FAULT_SANITIZED
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

// A count from the environment (cycles, lines), or the default when unset or not a number.
inline int EnvCount(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
  return value > 0 && value < 100000000 ? static_cast<int>(value) : fallback;
}

struct SResources {
  int threads = 0;
  int fds = 0;
  long rssKb = 0;
};

inline int CountEntries(const char* dir) {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

inline long ResidentKb() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// The descriptor count leaves out the one the directory walk holds while counting.
inline SResources Resources() {
  return {CountEntries("/proc/self/task"), CountEntries("/proc/self/fd") - 1, ResidentKb()};
}

// Threads and descriptors come back to the baseline's counts (closing ends threads a little later).
inline void ExpectBackTo(const SResources& baseline) {
  EXPECT_TRUE(vok::test::Eventually([&] { return Resources().threads == baseline.threads; }))
      << baseline.threads << " threads before, " << Resources().threads << " after";
  EXPECT_TRUE(vok::test::Eventually([&] { return Resources().fds == baseline.fds; }))
      << baseline.fds << " descriptors before, " << Resources().fds << " after";
}

// One subscription as the server sees it.
struct SStream {
  std::string symbol;
  int serviceId;
  auto operator<=>(const SStream&) const = default;
};

// Marker values sit far above anything the simulator sends, so a callback carrying one is known
// to come from a marker line.
inline constexpr LONG kMarkerBase = 1000000000;
inline constexpr int kServices = 4;  // level 1, level 2, time and sales, options

// Counts callbacks and remembers, per service, the highest marker seen. With an expected symbol
// set, level 1 callbacks for any other symbol count as stale.
class CMarkerNotify final : public IVokQuotesNotify {
  template <class F>
  auto Locked(F read) {
    std::lock_guard lock(m_mutex);
    return read();
  }

 public:
  STDMETHOD(QueryInterface)(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return 2; }
  STDMETHOD_(ULONG, Release)() override { return 1; }
  STDMETHOD(OnQuoteData)(QUOTERECORD* rec) override {
    const std::string symbol = vok::test::TextOf(rec->bstrSymbol);
    std::lock_guard lock(m_mutex);
    m_lastVolume[symbol] = rec->lVolume;
    m_stale += !m_expected.empty() && symbol != m_expected ? 1 : 0;
    return Note(0, rec->lVolume);
  }
  STDMETHOD(OnLevel2Data)(LEVEL2RECORD* rec) override { return Noted(1, rec->lSize); }
  STDMETHOD(OnTSData)(TSRECORD* rec) override { return Noted(2, rec->lSize); }
  STDMETHOD(OnOptionsData)(OPTIONSRECORD* rec) override { return Noted(3, rec->lLastSize); }

  LONG Marker(int service) {
    return Locked([&] { return m_marker[service]; });
  }
  long Calls(int service) {
    return Locked([&] { return m_calls[service]; });
  }
  std::map<std::string, LONG> LastVolumes() {
    return Locked([&] { return m_lastVolume; });
  }
  long Stale() {
    return Locked([&] { return m_stale; });
  }
  // Level 1 callbacks for any other symbol count as stale from now on.
  void Expect(std::string symbol) {
    Locked([&] { m_expected = std::move(symbol); });
  }

 private:
  HRESULT Noted(int service, LONG value) {
    return Locked([&] { return Note(service, value); });
  }
  HRESULT Note(int service, LONG value) {
    ++m_calls[service];
    if (value >= kMarkerBase) m_marker[service] = std::max(m_marker[service], value);
    return S_OK;
  }

  std::mutex m_mutex;
  long m_calls[kServices] = {};
  LONG m_marker[kServices] = {};
  std::map<std::string, LONG> m_lastVolume;
  std::string m_expected;
  long m_stale = 0;
};

// The simulator with one service object logged on to it, and a pumping subscriber thread holding
// level 1 AAPL, IBM and MSFT, level 2 AAPL, time and sales IBM and options MSFT.
class CLiveFeed {
 public:
  static vok::sim::SServerOptions DefaultOptions() {
    vok::sim::SServerOptions options;
    options.users[vok::test::kSimulatorUser] = vok::test::Transformed(vok::test::kSimulatorPassword);
    options.rate = 0;          // snapshots only: every later callback comes from a marker
    options.heartbeatMs = 10;  // keeps a client with a short heartbeat alive
    return options;
  }

  explicit CLiveFeed(vok::sim::SServerOptions options = DefaultOptions())
      : m_server(std::make_unique<vok::sim::CQuoteServer>(std::move(options))) {}
  // The subscriber thread ends before the object goes, so its per-thread data goes with it (the
  // lifecycle test covers objects released under living subscriber threads).
  ~CLiveFeed() {
    m_client.Run([this] { m_session.m_quotes->UnadviseAll(&m_notify); });
    m_client.Stop();
    m_session.Release();
    m_server->Stop();
  }
  CLiveFeed(const CLiveFeed&) = delete;
  CLiveFeed& operator=(const CLiveFeed&) = delete;

  static std::vector<SStream> Streams() {
    return {{"AAPL", 20000}, {"AAPL", 20001}, {"IBM", 20000}, {"IBM", 20003}, {"MSFT", 20000}, {"MSFT", 20004}};
  }

  // Starts the server, subscribes, connects and waits for the logon and the first markers.
  bool Start() {
    if (!m_server->Start()) return false;
    m_session.Configure("127.0.0.1", m_server->Port(), vok::test::kSimulatorUser, vok::test::kSimulatorPassword);
    m_client.Run([this] {
      auto& quotes = m_session.m_quotes;
      quotes->AdviseSymbol(&m_notify, vok::test::Bstr("AAPL").Get(), qsfLevelOne | qsfLevelTwo);
      quotes->AdviseSymbol(&m_notify, vok::test::Bstr("IBM").Get(), qsfLevelOne | qsfTimeAndSales);
      quotes->AdviseSymbol(&m_notify, vok::test::Bstr("MSFT").Get(), qsfLevelOne | qsfOptions);
    });
    m_session.Connect();
    return m_session.WaitForEvent(vok::dispid::OnLogonSucceed) && MarkersArrive(LoggedOnSession());
  }

  // The newest session the server accepted a logon on and still holds open (0: none).
  int LoggedOnSession() const {
    for (int number = m_server->ConnectionCount(); number > 0; --number) {
      const auto info = m_server->Session(number);
      if (info.open && info.loggedOn) return number;
    }
    return 0;
  }

  // The subscribe requests a session received, sorted ('H' without 2000 is level 1).
  std::vector<SStream> Subscriptions(int session) const {
    std::vector<SStream> found;
    for (const auto& line : m_server->ReceivedLines(session)) {
      const VOKMessage request(line.data(), static_cast<int>(line.size()));
      SStream stream{"", 20000};
      if ((request.GetType() != 'H' && request.GetType() != 'S') || !request.GetString(1003, stream.symbol)) continue;
      request.GetInt(2000, stream.serviceId);
      found.push_back(stream);
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  // Sends one new marker per service on the session and waits until every callback saw it (or
  // until `abandon` is set).
  bool MarkersArrive(int session, std::uint32_t limitMs = 20000, const std::atomic<bool>* abandon = nullptr) {
    const std::string value = std::to_string(++m_marker);
    vok::sim::CScript markers;
    markers.Send("1|1003=AAPL;2012=" + value)
        .Send("2|1003=AAPL;2016=MARK;2017=20010;2018=1;2019=" + value + ";2024=O")
        .Send("3|1003=IBM;2084=0;2002=1;2007=" + value)
        .Send("4|2034=MSFT;1003=+MSFT-MARK;2007=" + value);
    m_server->Run(session, markers);
    return vok::test::Eventually(
        [&] {
          if (abandon != nullptr && *abandon) return true;
          for (int service = 0; service < kServices; ++service) {
            if (m_notify.Marker(service) < m_marker) return false;
          }
          return true;
        },
        limitMs);
  }

  void SetPassword(const char* clear) { m_session.m_priv->put_Password(vok::test::Bstr(clear).Get()); }

  vok::sim::CQuoteServer& Server() { return *m_server; }
  vok::test::CQuotesSession& Session() { return m_session; }
  CMarkerNotify& Notify() { return m_notify; }

 private:
  // Reconnect 2..6 ms after a drop; the heartbeat stays long unless a test needs it short.
  vok::test::CScopedConnectionTimes m_times{1000, 2, 1, 5};
  vok::CComApartment m_apartment{vok::CComApartment::kMultiThreaded};
  std::unique_ptr<vok::sim::CQuoteServer> m_server;
  CMarkerNotify m_notify;
  vok::test::CClientThread m_client;
  vok::test::CQuotesSession m_session;
  LONG m_marker = kMarkerBase;
};

}  // namespace vok::fault

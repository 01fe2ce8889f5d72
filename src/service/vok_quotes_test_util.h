// Test helpers for the service object: a trace recorder with bounded waits for lines, a bounded
// condition wait, and a session that creates the object, holds its private interface and an
// event sink advised on its connection point.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/thread.h"
#include "records/vokquote.h"
#include "service/event_sink_test_util.h"
#include "service/vok_quotes.h"
#include "vkdll/trace_test_util.h"
#include "vkdll/vkdll.h"

namespace vok::test {

// Waits, without assuming any speed, until `done` holds (true) or a generous limit passes.
inline bool Eventually(const std::function<bool()>& done, std::uint32_t limitMs = 20000) {
  const std::uint64_t end = vok::MonotonicMs() + limitMs;
  while (!done()) {
    if (vok::MonotonicMs() > end) return false;
    vok::SleepMs(2);
  }
  return true;
}

// Every trace line while alive, looked up by their start.
class CTraceRecorder : public CTraceLines {
 public:
  int Count(std::string_view prefix) {
    const auto lines = All();
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const auto& l) { return l.second.starts_with(prefix); }));
  }
  bool WaitFor(std::string_view prefix, int count = 1, std::uint32_t limitMs = 20000) {
    return Eventually([&] { return Count(prefix) >= count; }, limitMs);
  }
  // Position of the first line starting with prefix, or -1.
  int IndexOf(std::string_view prefix) {
    const auto lines = All();
    const auto found =
        std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.second.starts_with(prefix); });
    return found == lines.end() ? -1 : static_cast<int>(found - lines.begin());
  }
  bool AnyContains(std::string_view text) {
    const auto lines = All();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const auto& l) { return l.second.find(text) != std::string::npos; });
  }
};

inline vok::CBstr Bstr(std::string_view text) { return vok::CBstr::FromNarrow(text); }

// The password as the logon carries it (and the simulator's user table expects it).
inline std::string Transformed(const char* clear) {
  char out[65] = {};
  VOK_TransformPassword(clear, out);
  return out;
}

// One service object with its private interface and, unless told otherwise, an event sink on its
// connection point.
class CQuotesSession {
 public:
  explicit CQuotesSession(bool withEvents = true) {
    if (FAILED(CVokQuotes::CreateInstance(IID_IVokQuotes, m_quotes.PutVoid()))) return;
    m_quotes.QueryInterface(IID_IVokQuotesPriv, m_priv);
    vok::CComPtr<IConnectionPointContainer> container;
    m_quotes.QueryInterface(IID_IConnectionPointContainer, container);
    if (container) container->FindConnectionPoint(DIID__IVokQuotesEvents, m_point.Put());
    if (m_point && withEvents) m_point->Advise(&m_sink, &m_cookie);
  }
  ~CQuotesSession() { Release(); }
  CQuotesSession(const CQuotesSession&) = delete;
  CQuotesSession& operator=(const CQuotesSession&) = delete;

  void Configure(const std::string& host, int port, const std::string& user, const std::string& password) {
    m_priv->SetRemoteAddress(Bstr(host + ":" + std::to_string(port)).Get());
    m_priv->put_UserName(Bstr(user).Get());
    m_priv->put_Password(Bstr(password).Get());
  }
  LONG Connect() {
    LONG result = 0;
    m_quotes->Connect(&result);
    return result;
  }
  enumConnectionState State() {
    enumConnectionState state = csILG;
    m_quotes->get_ConnectionState(&state);
    return state;
  }
  CVokQuotes* Object() { return static_cast<CVokQuotes*>(m_quotes.Get()); }

  // The events seen so far as (dispid, argument) pairs in firing order.
  std::vector<std::pair<DISPID, LONG>> Events() {
    std::vector<std::pair<DISPID, LONG>> events;
    for (const auto& call : m_sink.Calls()) events.emplace_back(call.dispid, call.arg);
    return events;
  }
  int EventCount(DISPID dispid) {
    int count = 0;
    for (const auto& call : m_sink.Calls()) count += call.dispid == dispid ? 1 : 0;
    return count;
  }
  bool WaitForEvent(DISPID dispid, int count = 1, std::uint32_t limitMs = 20000) {
    return Eventually([&] { return EventCount(dispid) >= count; }, limitMs);
  }
  // Drops every reference the session holds, the sink's advise included: the object goes.
  void Release() {
    if (m_point && m_cookie != 0) m_point->Unadvise(m_cookie);
    m_cookie = 0;
    m_point.Reset();
    m_priv.Reset();
    m_quotes.Reset();
  }

  CTestEventSink m_sink;
  vok::CComPtr<IVokQuotes> m_quotes;
  vok::CComPtr<IVokQuotesPriv> m_priv;
  vok::CComPtr<IConnectionPoint> m_point;
  DWORD m_cookie = 0;
};

}  // namespace vok::test

// CRtdTopicTable: the topics of one real-time data server over one service object. It subscribes a
// symbol once (level 1 and level 2 each while some topic needs them), however many topics use it,
// and unsubscribes a service with its last topic; keeps each topic's last value, collects the
// topics whose value changed, and calls `signal` once, not again until the host takes the changes.
//
// Threads: one, the host's: the thread that created the table (the server's apartment). The
// service object calls the data callbacks on it from its message loop; connection events arrive
// on the service's pump thread and are posted to it. Debug builds assert the thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/com.h"
#include "platform/com_ptr.h"
#include "platform/thread_checker.h"
#include "records/vokquote.h"
#include "service/rtd/rtd_topic.h"

namespace vok {

class CRtdQuoteSink;

class CRtdTopicTable {
 public:
  using Signal = std::function<void()>;
  using Changes = std::vector<std::pair<LONG, RtdValue>>;

  CRtdTopicTable(IVokQuotes* quotes, Signal signal);
  ~CRtdTopicTable();
  CRtdTopicTable(const CRtdTopicTable&) = delete;
  CRtdTopicTable& operator=(const CRtdTopicTable&) = delete;

  // Listens to the service's connection events and connects it with the per-user defaults; with no
  // server configured it only says so in STATUS. False when the service cannot be listened to.
  bool Start();

  // Adds topic `id` and returns its value now: the cached one, an error text, or nothing yet.
  RtdValue Connect(LONG id, std::span<const std::string> strings);
  void Disconnect(LONG id);
  // The changed topics with their values, in the order they first changed; the next change
  // signals again.
  void TakeChanges(Changes& changes);
  // Drops every topic and subscription and stops listening: no signal after it. Idempotent.
  void Close();

  std::size_t TopicCount() const { return m_topics.size(); }
  std::size_t SymbolCount() const { return m_symbols.size(); }

  // From the sink, on the table's thread.
  void OnQuote(const QUOTERECORD& record);
  void OnLevel2(const LEVEL2RECORD& record);
  void OnConnectionEvent(DISPID event, LONG code);

 private:
  struct STopicEntry {
    SRtdTopic topic;
    RtdValue value;
    bool changed = false;
  };
  // One participant's two sides in the level 2 book; a closed or empty side has no level.
  struct SBookEntry {
    double price[2] = {0, 0};
    LONG size[2] = {0, 0};
    bool open[2] = {false, false};
  };
  struct SSymbol {
    int quoteTopics = 0;
    int bookTopics = 0;
    std::vector<LONG> topics;
    std::unordered_map<std::string, SBookEntry> book;  // by MMID
  };

  void SetValue(LONG id, STopicEntry& entry, RtdValue value);
  RtdValue BookValue(const SSymbol& symbol, const SRtdTopic& topic) const;
  RtdValue CachedQuoteValue(const SRtdTopic& topic);
  RtdValue ConnectionValue(ERtdTopicKind kind);
  void Unsubscribe(const std::string& symbol, LONG services);

  CThreadChecker m_thread;
  CComPtr<IVokQuotes> m_quotes;
  Signal m_signal;
  CComPtr<CRtdQuoteSink> m_sink;
  CComPtr<IConnectionPoint> m_eventPoint;
  DWORD m_eventCookie = 0;
  // The posted connection events find the table through this; Close clears it.
  std::shared_ptr<CRtdTopicTable*> m_self;
  std::unordered_map<LONG, STopicEntry> m_topics;
  std::unordered_map<std::string, SSymbol> m_symbols;
  std::vector<LONG> m_changed;
  std::string m_disconnectReason = "not connected";
  bool m_signalled = false;
  bool m_closed = false;
};

}  // namespace vok

// The topic table: subscriptions counted per symbol and service, values compared before they count
// as changed, one signal per batch, and the connection topics kept current from the events.
#include "service/rtd/rtd_topic_table.h"

#include <algorithm>

#include "platform/bstr.h"
#include "service/rtd/rtd_quote_sink.h"
#include "service/user_settings.h"
#include "vkdll/vkdll.h"
#include "vokcommon/record_copy.h"

namespace vok {
namespace {

// A participant count no real book reaches; past it a runaway feed adds no more entries.
constexpr std::size_t kMaxBookEntries = 4096;

int SideIndex(enumMarketSide side) { return side == msAsk ? 1 : 0; }

}  // namespace

CRtdTopicTable::CRtdTopicTable(IVokQuotes* quotes, Signal signal)
    : m_quotes(quotes), m_signal(std::move(signal)), m_self(std::make_shared<CRtdTopicTable*>(this)) {
  m_sink = CRtdQuoteSink::Create(m_self);
}

CRtdTopicTable::~CRtdTopicTable() { Close(); }

bool CRtdTopicTable::Start() {
  VOK_DCHECK_THREAD(m_thread);
  if (m_closed || !m_quotes || !m_sink) return false;
  CComPtr<IConnectionPointContainer> container;
  if (FAILED(m_quotes.QueryInterface(IID_IConnectionPointContainer, container)) ||
      FAILED(container->FindConnectionPoint(DIID__IVokQuotesEvents, m_eventPoint.Put())) ||
      FAILED(m_eventPoint->Advise(static_cast<IDispatch*>(m_sink.Get()), &m_eventCookie))) {
    m_eventPoint.Reset();
    return false;
  }
  // The host of a spreadsheet configures nothing: the server comes from the per-user settings,
  // unless whoever made the service object set one.
  CBstr address;
  m_quotes->get_RemoteAddress(address.Put());
  if (address.Empty() && ReadUserSettings().server.empty()) {
    m_disconnectReason = "no server configured";
    VOKTRACE_Write(VOKTRACE_WARNING, "RTD: no quote server configured for this user");
    return true;
  }
  LONG result = 0;
  m_quotes->Connect(&result);
  VOKTRACE_Write(VOKTRACE_INFO, "RTD: connecting");
  return true;
}

RtdValue CRtdTopicTable::Connect(LONG id, std::span<const std::string> strings) {
  VOK_DCHECK_THREAD(m_thread);
  if (m_closed) return std::string("#N/A server stopped");
  if (m_topics.contains(id)) Disconnect(id);
  SRtdTopic topic = ParseRtdTopic(strings);
  RtdValue value;
  switch (topic.kind) {
    case ERtdTopicKind::Invalid:
      value = topic.error;
      break;
    case ERtdTopicKind::Status:
    case ERtdTopicKind::Server:
      value = ConnectionValue(topic.kind);
      break;
    case ERtdTopicKind::Quote:
    case ERtdTopicKind::BookPrice:
    case ERtdTopicKind::BookSize: {
      auto [it, inserted] = m_symbols.try_emplace(topic.symbol);
      SSymbol& symbol = it->second;
      const bool quote = topic.kind == ERtdTopicKind::Quote;
      int& count = quote ? symbol.quoteTopics : symbol.bookTopics;
      if (count == 0) {
        const CBstr text = CBstr::FromNarrow(topic.symbol);
        if (FAILED(m_quotes->AdviseSymbol(m_sink.Get(), text.Get(), quote ? qsfLevelOne : qsfLevelTwo))) {
          if (inserted) m_symbols.erase(it);
          topic.kind = ERtdTopicKind::Invalid;
          value = topic.error = "#N/A subscription failed";
          break;
        }
      }
      ++count;
      symbol.topics.push_back(id);
      value = quote ? CachedQuoteValue(topic) : BookValue(symbol, topic);
      break;
    }
  }
  m_topics.insert_or_assign(id, STopicEntry{std::move(topic), value, false});
  return value;
}

void CRtdTopicTable::Disconnect(LONG id) {
  VOK_DCHECK_THREAD(m_thread);
  const auto found = m_topics.find(id);
  if (found == m_topics.end()) return;
  const SRtdTopic topic = std::move(found->second.topic);
  m_topics.erase(found);
  const auto it = m_symbols.find(topic.symbol);
  if (topic.symbol.empty() || it == m_symbols.end()) return;
  SSymbol& symbol = it->second;
  std::erase(symbol.topics, id);
  if (topic.kind == ERtdTopicKind::Quote) {
    if (--symbol.quoteTopics == 0) Unsubscribe(topic.symbol, qsfLevelOne);
  } else if (--symbol.bookTopics == 0) {
    Unsubscribe(topic.symbol, qsfLevelTwo);
    symbol.book.clear();
  }
  if (symbol.quoteTopics == 0 && symbol.bookTopics == 0) m_symbols.erase(it);
}

void CRtdTopicTable::TakeChanges(Changes& changes) {
  VOK_DCHECK_THREAD(m_thread);
  changes.clear();
  changes.reserve(m_changed.size());
  for (LONG id : m_changed) {
    const auto it = m_topics.find(id);
    // A topic disconnected since it changed is skipped; one reconnected under the same id was
    // queued again with its new value.
    if (it == m_topics.end() || !it->second.changed) continue;
    it->second.changed = false;
    changes.emplace_back(id, it->second.value);
  }
  m_changed.clear();
  m_signalled = false;
}

void CRtdTopicTable::Close() {
  VOK_DCHECK_THREAD(m_thread);
  if (m_closed) return;
  m_closed = true;
  *m_self = nullptr;
  m_signal = nullptr;
  if (m_quotes && m_sink) m_quotes->UnadviseAll(m_sink.Get());
  if (m_eventPoint) m_eventPoint->Unadvise(m_eventCookie);
  m_eventPoint.Reset();
  m_topics.clear();
  m_symbols.clear();
  m_changed.clear();
  m_sink.Reset();
  m_quotes.Reset();
}

void CRtdTopicTable::OnQuote(const QUOTERECORD& record) {
  VOK_DCHECK_THREAD(m_thread);
  const auto it = m_symbols.find(CBstr::ToNarrow(record.bstrSymbol));
  if (it == m_symbols.end()) return;
  for (LONG id : it->second.topics) {
    const auto entry = m_topics.find(id);
    if (entry != m_topics.end() && entry->second.topic.kind == ERtdTopicKind::Quote) {
      SetValue(id, entry->second, QuoteFieldValue(record, entry->second.topic.field));
    }
  }
}

void CRtdTopicTable::OnLevel2(const LEVEL2RECORD& record) {
  VOK_DCHECK_THREAD(m_thread);
  if (record.side != msBid && record.side != msAsk) return;
  const auto it = m_symbols.find(CBstr::ToNarrow(record.bstrSymbol));
  if (it == m_symbols.end() || it->second.bookTopics == 0) return;
  SSymbol& symbol = it->second;
  std::string mmid = CBstr::ToNarrow(record.bstrMMID);
  auto entry = symbol.book.find(mmid);
  if (entry == symbol.book.end()) {
    if (symbol.book.size() >= kMaxBookEntries) return;
    entry = symbol.book.emplace(std::move(mmid), SBookEntry{}).first;
  }
  const int side = SideIndex(record.side);
  entry->second.price[side] = record.dPrice;
  entry->second.size[side] = record.lSize;
  entry->second.open[side] = record.bClosed == VARIANT_FALSE && record.lSize > 0;
  for (LONG id : symbol.topics) {
    const auto topic = m_topics.find(id);
    if (topic != m_topics.end() && topic->second.topic.kind != ERtdTopicKind::Quote &&
        topic->second.topic.side == record.side) {
      SetValue(id, topic->second, BookValue(symbol, topic->second.topic));
    }
  }
}

void CRtdTopicTable::OnConnectionEvent(DISPID event, LONG code) {
  VOK_DCHECK_THREAD(m_thread);
  if (m_closed) return;
  if (event == dispid::OnConnect && code != 0) {
    m_disconnectReason = "connect failed (error " + std::to_string(code) + ")";
  } else if (event == dispid::OnClose) {
    m_disconnectReason = code == 0 ? "connection closed" : "connection closed (error " + std::to_string(code) + ")";
  }
  for (auto& [id, entry] : m_topics) {
    if (entry.topic.kind == ERtdTopicKind::Status || entry.topic.kind == ERtdTopicKind::Server) {
      SetValue(id, entry, ConnectionValue(entry.topic.kind));
    }
  }
}

void CRtdTopicTable::SetValue(LONG id, STopicEntry& entry, RtdValue value) {
  if (entry.value == value) return;
  entry.value = std::move(value);
  if (!entry.changed) {
    entry.changed = true;
    m_changed.push_back(id);
  }
  if (!m_signalled && m_signal) {
    // Set first: the host may take the changes before the signal returns.
    m_signalled = true;
    m_signal();
  }
}

RtdValue CRtdTopicTable::BookValue(const SSymbol& symbol, const SRtdTopic& topic) const {
  if (symbol.book.empty()) return std::monostate{};
  const int side = SideIndex(topic.side);
  std::vector<double> prices;
  prices.reserve(symbol.book.size());
  for (const auto& [mmid, entry] : symbol.book) {
    if (entry.open[side]) prices.push_back(entry.price[side]);
  }
  // The best bid is the highest, the best ask the lowest; participants at one price are one level.
  if (topic.side == msBid) {
    std::sort(prices.begin(), prices.end(), std::greater<>());
  } else {
    std::sort(prices.begin(), prices.end());
  }
  prices.erase(std::unique(prices.begin(), prices.end()), prices.end());
  if (static_cast<std::size_t>(topic.level) > prices.size()) {
    return "#N/A no " + std::string(topic.side == msBid ? "bid" : "ask") + " level " + std::to_string(topic.level);
  }
  const double price = prices[static_cast<std::size_t>(topic.level) - 1];
  if (topic.kind == ERtdTopicKind::BookPrice) return price;
  LONG size = 0;
  for (const auto& [mmid, entry] : symbol.book) {
    if (entry.open[side] && entry.price[side] == price) size += entry.size[side];
  }
  return size;
}

RtdValue CRtdTopicTable::CachedQuoteValue(const SRtdTopic& topic) {
  QUOTERECORD record{};
  const CBstr symbol = CBstr::FromNarrow(topic.symbol);
  RtdValue value;
  if (SUCCEEDED(m_quotes->GetCachedQuote(symbol.Get(), &record)) && record.bstrSymbol != nullptr) {
    value = QuoteFieldValue(record, topic.field);
  }
  FreeQuoteRecord(record);
  return value;
}

RtdValue CRtdTopicTable::ConnectionValue(ERtdTopicKind kind) {
  if (kind == ERtdTopicKind::Server) {
    CBstr name;
    if (m_quotes) m_quotes->get_ServerName(name.Put());
    if (name.Empty()) return std::string("#N/A not logged on");
    return name.ToNarrow();
  }
  enumConnectionState state = csDisconnected;
  if (m_quotes) m_quotes->get_ConnectionState(&state);
  switch (state) {
    case csLoggedIn:
      return std::string("logged on");
    case csConnecting:
    case csConnected:
    case csLoggingIn:
      return std::string("connecting");
    default:
      return "disconnected: " + m_disconnectReason;
  }
}

void CRtdTopicTable::Unsubscribe(const std::string& symbol, LONG services) {
  const CBstr text = CBstr::FromNarrow(symbol);
  m_quotes->UnadviseSymbol(m_sink.Get(), text.Get(), services);
}

}  // namespace vok

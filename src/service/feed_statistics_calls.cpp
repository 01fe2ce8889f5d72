// The C calls of <vokquote/api.h> for the feed's health: the connection's counters, the pump
// queue and every subscriber thread's delivery queue, read at once without stopping anything, and
// the time of each subscribed symbol's last update.
#include <vokquote/api.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "connection/feed_counters.h"
#include "handlers/thread_queue.h"
#include "platform/com_ptr.h"
#include "service/vok_quote_app.h"
#include "service/vok_quotes.h"

static_assert(static_cast<int>(VOK_FEED_TYPE_COUNT) == static_cast<int>(vok::kFeedTypeCount),
              "one counter per public feed type");

extern "C" HRESULT VokGetFeedStatistics(VokFeedStatistics* stats) {
  if (stats == nullptr) return E_POINTER;
  *stats = VokFeedStatistics{};
  const vok::SFeedCounts counts = vok::CFeedCounters::Process().Snapshot();
  stats->timeNs =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  for (int i = 0; i < VOK_FEED_TYPE_COUNT; ++i) {
    stats->messages[i] = counts.messages[i];
    stats->bytes[i] = counts.bytes[i];
  }
  stats->pumpQueueDepth = vok::App().QueuedCount();
  stats->pumpQueueHighWater = vok::App().QueueHighWater();
  stats->connects = counts.connects;
  stats->disconnects = counts.disconnects;
  stats->connectFailures = counts.connectFailures;
  stats->lastDisconnectReason = static_cast<int32_t>(counts.lastReason);
  stats->lastError = counts.lastError;
  return S_OK;
}

extern "C" HRESULT VokGetSubscriberStatistics(VokSubscriberStatistics* entries, size_t capacity, size_t* count) {
  if (count == nullptr || (entries == nullptr && capacity > 0)) return E_POINTER;
  *count = 0;
  try {
    const auto all = CThreadQueue::AllStatistics();
    *count = all.size();
    for (std::size_t i = 0; i < std::min(capacity, all.size()); ++i) {
      const CQueueStats& queue = all[i].second;
      entries[i] = VokSubscriberStatistics{static_cast<uint32_t>(all[i].first),
                                           queue.depth,
                                           queue.highWater,
                                           queue.conflated,
                                           queue.printsDropped,
                                           queue.delivered,
                                           queue.drainLatency.p50Ns,
                                           queue.drainLatency.p99Ns,
                                           queue.drainLatency.maxNs};
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

extern "C" HRESULT VokGetLastUpdates(void* quotes, VokSymbolUpdate* entries, size_t capacity, size_t* count) {
  if (count == nullptr || quotes == nullptr || (entries == nullptr && capacity > 0)) return E_POINTER;
  *count = 0;
  try {
    vok::CComPtr<IVokQuotes> self;
    const HRESULT found = static_cast<IUnknown*>(quotes)->QueryInterface(kIidVokQuotesObject, self.PutVoid());
    if (FAILED(found)) return found;
    const std::vector<SSymbolUpdate> all = static_cast<CVokQuotes*>(self.Get())->Handlers().LastUpdates();
    *count = all.size();
    for (std::size_t i = 0; i < std::min(capacity, all.size()); ++i) {
      VokSymbolUpdate& entry = entries[i];
      entry = VokSymbolUpdate{};
      // Subscribed symbols are at most 64 bytes, so they always fit.
      std::memcpy(entry.symbol, all[i].symbol.data(), std::min(all[i].symbol.size(), sizeof entry.symbol - 1));
      entry.serviceFlag = static_cast<int32_t>(all[i].serviceFlag);
      entry.lastUpdateNs = all[i].lastUpdateNs;
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

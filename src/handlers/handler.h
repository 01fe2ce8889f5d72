// CHandler: the base of the four service handlers (level 1, level 2, time and sales, options).
// It keeps, per subscribing thread, the map from symbol to the callbacks advised on that thread;
// per process, the master record of every subscribed symbol with its subscribing threads; and a
// count of data messages for symbols nobody subscribes. It sends the subscribe request when the
// first thread arrives at a symbol and the unsubscribe request when the last one leaves.
//
// Threads: Advise, Unadvise, UnadviseAll, SendCachedData and OnThreadItem run on the subscribing
// thread and touch its own map without a lock; OnMessage runs on the dispatcher thread, Resubscribe
// on the dispatcher with the connection lock held. m_lock (recursive) guards m_globalMap, the
// master records and m_strayMap. Order: connection lock, then m_lock, then the queue locks; the
// connection lock is never first taken while m_lock is held.
// Lifetime: work items reach the handler only through its delivery gate. Every final handler class
// calls CloseDelivery first in its destructor: from then on none of its items is delivered, and no
// other thread is inside its OnThreadItem while its members and thread maps are torn down.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "handlers/delivery_gate.h"
#include "handlers/master_record.h"
#include "handlers/notify_list.h"
#include "handlers/symbol_map.h"
#include "platform/com_ptr.h"
#include "platform/critical_section.h"
#include "platform/thread_local_slot.h"
#include "records/vokquote.h"

class CThreadItem;
class CThreadQueue;
class IHandlerHost;
class VOKMessage;

// One thread's callbacks on one handler: symbol to list. The map holds one reference on each list.
struct CTMData {
  CTMData() { m_map.Reserve(127); }
  CSymbolMap<vok::CComPtr<CNotifyList>> m_map;
};

// One subscribed symbol of one service and when its last data message arrived (ns since 1970 UTC;
// 0: none since the subscription or the last logon).
struct SSymbolUpdate {
  std::string symbol;
  long serviceFlag = 0;
  std::int64_t lastUpdateNs = 0;
};

// Data messages received for a symbol without a subscribing thread.
struct StrayQuote {
  int m_count = 1;
};

class CHandler {
 public:
  struct Config {
    long serviceFlag;
    const char* name;
    std::vector<char> messageTypes;
    char subscribeType;
    int serviceId;
    std::size_t globalMapSize;
  };

  // Longer symbols (and market maker ids) are no real ones: they are never subscribed, and data
  // messages naming them are dropped before any lookup.
  static constexpr std::size_t kMaxSymbolLength = 64;
  // Symbols whose stray messages are counted at most; further ones are not counted.
  static constexpr std::size_t kMaxStraySymbols = 4096;

  CHandler(const CHandler&) = delete;
  CHandler& operator=(const CHandler&) = delete;
  // Warns about every symbol still subscribed; the lists of every thread are released with them.
  virtual ~CHandler();

  // Subscription calls of the service object, on the client's thread. Each does nothing unless
  // serviceFlags holds this handler's flag. Advise returns false, having changed nothing, when the
  // calling thread can have no thread map or dispatch queue (out of thread slots or memory).
  bool Advise(IVokQuotesNotify* notify, const std::string& symbol, long serviceFlags);
  void Unadvise(IVokQuotesNotify* notify, const std::string& symbol, long serviceFlags);
  // Removes the callback from every symbol of the calling thread.
  void UnadviseAll(IVokQuotesNotify* notify);

  // After a logon: forgets data the server sends again, then subscribes every symbol held.
  void Resubscribe();
  // Appends every subscribed symbol of this handler with the time of its last update.
  void LastUpdates(std::vector<SSymbolUpdate>& out);

  // Parses one data message of a type this handler registered (dispatcher thread).
  virtual void OnMessage(char type, const VOKMessage& message) = 0;
  // Delivers one work item to the calling thread's callbacks (from its dispatch queue).
  virtual void OnThreadItem(CThreadItem* item) = 0;
  // The periodic operation of the "QuotesTestMode" thread; nothing by default.
  virtual void TestTick() {}

  // What every work item of this handler holds; see CDeliveryGate.
  CDeliveryGate* Gate() const { return m_gate.Get(); }
  // Closes the gate: waits for deliveries in progress on other threads and drops queued items.
  void CloseDelivery() { m_gate->Close(); }

  long ServiceFlag() const { return m_serviceFlag; }
  const std::vector<char>& MessageTypes() const { return m_messageTypes; }
  const std::string& Name() const { return m_name; }

  // The number of callbacks the calling thread advised for the symbol (0 when none): for tests.
  int ThreadNotifyCount(const std::string& symbol);
  // Whether the symbol has a master record, and its thread count: for tests and diagnostics.
  int MasterThreadCount(const std::string& symbol);
  bool HasMasterRecord(const std::string& symbol);

 protected:
  CHandler(IHandlerHost* host, const Config& config);

  virtual CNotifyList* CreateNotifyList() = 0;
  virtual CMasterRecord* CreateMasterRecord() = 0;
  virtual void ResetCache() {}
  // Hands a new (or re-advising) subscriber what the cache holds for the symbol.
  virtual void SendCachedData(IVokQuotesNotify* /*notify*/, const std::string& /*symbol*/) {}
  virtual void Subscribe(const char* symbol);
  virtual void Unsubscribe(const char* symbol);

  // The calling thread's list for the symbol, or null.
  CNotifyList* FindThreadList(const std::string& symbol);

  // With m_lock held: the master record of the symbol, or null.
  CMasterRecord* FindMaster(const std::string& symbol) {
    std::unique_ptr<CMasterRecord>* record = m_globalMap.Find(symbol);
    return record == nullptr ? nullptr : record->get();
  }
  // With m_lock held: calls call(symbol, record) for every master record, in map order.
  template <class Call>
  void ForEachMaster(Call&& call) {
    for (auto& entry : m_globalMap) call(entry.key, *entry.value);
  }
  // With m_lock held: counts a data message for a symbol without subscribers, tracing the 2nd to
  // 200th, 202nd to 400th, ... of a symbol.
  void CountStrayQuote(const std::string& symbol);
  // With m_lock held: true (and counted, traced once per burst) when a data message must be
  // dropped because `key` is longer than kMaxSymbolLength.
  bool DropOverlongKey(const std::string& key);

  IHandlerHost* const m_host;
  vok::CCriticalSection m_lock;

 private:
  void SendRequest(char type, const char* symbol);
  void AddToGlobalMap(const std::string& symbol, CThreadQueue& queue);
  void RemoveFromGlobalMap(const std::string& symbol);
  CTMData* ThreadData() { return m_threadData.Get(); }

  const long m_serviceFlag;
  const std::vector<char> m_messageTypes;
  const char m_subscribeType;
  const int m_serviceId;
  const std::string m_name;
  const vok::CComPtr<CDeliveryGate> m_gate;
  CSymbolMap<std::unique_ptr<CMasterRecord>> m_globalMap;  // guarded by m_lock
  std::unordered_map<std::string, StrayQuote> m_strayMap;  // guarded by m_lock
  bool m_strayFullTraced = false;                          // guarded by m_lock
  bool m_overlongBurst = false;                            // guarded by m_lock
  std::uint64_t m_overlongDropped = 0;                     // guarded by m_lock
  std::uint64_t m_overlongTracedAt = 0;                    // guarded by m_lock
  // Last member: each thread's CTMData outlives nothing else of the handler, and all of them are
  // destroyed with it.
  vok::CThreadLocal<CTMData> m_threadData;
};

// CHandler: thread maps, master records with their threads, subscribe/unsubscribe requests,
// resubscription after logon, stray counting and the teardown warnings.
#include "handlers/handler.h"

#include <cstdint>

#include "handlers/handler_host.h"
#include "handlers/thread_queue.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "platform/thread.h"
#include "vkdll/vkdll.h"

namespace wire = vok::wire;

namespace {

unsigned long long PointerText(const void* p) {
  return static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p));
}

}  // namespace

CHandler::CHandler(IHandlerHost* host, const Config& config)
    : m_host(host),
      m_serviceFlag(config.serviceFlag),
      m_messageTypes(config.messageTypes),
      m_subscribeType(config.subscribeType),
      m_serviceId(config.serviceId),
      m_name(config.name),
      m_gate(new CDeliveryGate(this)) {
  m_globalMap.Reserve(config.globalMapSize);
  m_strayMap.reserve(17);
}

CHandler::~CHandler() {
  // Final handler classes have closed it already, before their own members went.
  CloseDelivery();
  // No item is made from here on.
  m_gate->ReturnStock();
  vok::CCriticalSectionLock lock(m_lock);
  for (auto& entry : m_globalMap) {
    entry.value.reset();
    VOKTRACE_Printf(VOKTRACE_WARNING, "Warning: symbol %s still in global map", entry.key.c_str());
  }
  m_globalMap.Clear();
  m_strayMap.clear();
}

bool CHandler::Advise(IVokQuotesNotify* notify, const std::string& symbol, long serviceFlags) {
  // A null callback could never be called; the service object refuses it, this keeps delivery safe.
  if ((serviceFlags & m_serviceFlag) == 0 || notify == nullptr) return true;
  const vok::ThreadId thread = vok::CurrentThreadId();
  if (symbol.size() > kMaxSymbolLength) {
    VOKTRACE_Printf(VOKTRACE_WARNING, "[%x] %s: a symbol of %u characters is not subscribed", thread, m_name.c_str(),
                    static_cast<unsigned>(symbol.size()));
    return true;
  }
  CThreadQueue* queue = CThreadQueue::CurrentQueue();
  CTMData* data = ThreadData();
  if (queue == nullptr || data == nullptr) return false;
  // The callback of SendCachedData may unadvise and so drop the map's reference: hold our own.
  vok::CComPtr<CNotifyList> list;
  if (vok::CComPtr<CNotifyList>* held = data->m_map.Find(symbol)) {
    list = *held;
  } else {
    list = data->m_map.Add(symbol, vok::CComPtr<CNotifyList>(CreateNotifyList()));
    VOKTRACE_Printf(VOKTRACE_DETAIL, "[%x] %s: %s +CNotifyList", thread, m_name.c_str(), symbol.c_str());
    AddToGlobalMap(symbol, *queue);
  }
  if (list->AddNotify(notify)) {
    VOKTRACE_Printf(VOKTRACE_DETAIL, "[%x] %s: %s +0x%llx", thread, m_name.c_str(), symbol.c_str(),
                    PointerText(notify));
  } else {
    VOKTRACE_Printf(VOKTRACE_DETAIL, "[%x] %s: %s ?0x%llx already exists", thread, m_name.c_str(), symbol.c_str(),
                    PointerText(notify));
  }
  SendCachedData(notify, symbol);
  return true;
}

void CHandler::Unadvise(IVokQuotesNotify* notify, const std::string& symbol, long serviceFlags) {
  if ((serviceFlags & m_serviceFlag) == 0) return;
  CTMData* data = ThreadData();
  if (data == nullptr) return;
  const vok::ThreadId thread = vok::CurrentThreadId();
  vok::CComPtr<CNotifyList>* held = data->m_map.Find(symbol);
  if (held == nullptr) {
    VOKTRACE_Printf(VOKTRACE_DETAIL, "[%x] %s: Warning: attempting to unadvise symbol %s for which no map entry exists",
                    thread, m_name.c_str(), symbol.c_str());
    return;
  }
  vok::CComPtr<CNotifyList> list = *held;
  if (list->RemoveNotify(notify)) {
    VOKTRACE_Printf(VOKTRACE_DETAIL, "[%x] %s: %s -0x%llx", thread, m_name.c_str(), symbol.c_str(),
                    PointerText(notify));
  } else {
    VOKTRACE_Printf(VOKTRACE_DETAIL, "[%x] %s: %s -0x%llx unknown", thread, m_name.c_str(), symbol.c_str(),
                    PointerText(notify));
  }
  if (list->Empty()) {
    VOKTRACE_Printf(VOKTRACE_DETAIL, "[%x] %s: %s -CNotifyList", thread, m_name.c_str(), symbol.c_str());
    data->m_map.Erase(symbol);
    RemoveFromGlobalMap(symbol);
  }
}

void CHandler::UnadviseAll(IVokQuotesNotify* notify) {
  CTMData* data = ThreadData();
  if (data == nullptr) return;
  const vok::ThreadId thread = vok::CurrentThreadId();
  // Erasing an entry moves the last one to its index, which is looked at next.
  for (std::size_t i = 0; i < data->m_map.Size();) {
    vok::CComPtr<CNotifyList> list = data->m_map.At(i).value;
    if (!list->RemoveNotify(notify)) {
      ++i;
      continue;
    }
    VOKTRACE_Printf(VOKTRACE_DETAIL, "%s::UnadviseAll: %s -0x%llx", m_name.c_str(), data->m_map.At(i).key.c_str(),
                    PointerText(notify));
    if (!list->Empty()) {
      ++i;
      continue;
    }
    const std::string symbol = data->m_map.At(i).key;
    VOKTRACE_Printf(VOKTRACE_DETAIL, "[%x] %s: %s -CNotifyList", thread, m_name.c_str(), symbol.c_str());
    data->m_map.EraseAt(i);
    RemoveFromGlobalMap(symbol);
  }
}

void CHandler::AddToGlobalMap(const std::string& symbol, CThreadQueue& queue) {
  bool subscribe = false;
  {
    vok::CCriticalSectionLock lock(m_lock);
    if (CMasterRecord* record = FindMaster(symbol)) {
      record->AddThread(vok::CurrentThreadId());
    } else {
      std::unique_ptr<CMasterRecord> created(CreateMasterRecord());
      created->AddThread(vok::CurrentThreadId());
      m_globalMap.Add(symbol, std::move(created));
      m_strayMap.erase(symbol);
      subscribe = true;
    }
  }
  // The connection lock comes before the handler lock, so the request goes out without it.
  if (subscribe) Subscribe(symbol.c_str());
  queue.StartTimer();
  if (m_host != nullptr && m_host->ImmediateDelivery()) queue.SetImmediateDelivery(true);
}

void CHandler::RemoveFromGlobalMap(const std::string& symbol) {
  bool unsubscribe = false;
  {
    vok::CCriticalSectionLock lock(m_lock);
    if (CMasterRecord* record = FindMaster(symbol)) {
      record->RemoveThread(vok::CurrentThreadId());
      if (record->ThreadCount() == 0) {
        m_globalMap.Erase(symbol);
        unsubscribe = true;
      }
    }
  }
  if (unsubscribe) Unsubscribe(symbol.c_str());
  // The queue exists: the thread's Advise made it.
  if (CThreadQueue* queue = CThreadQueue::CurrentQueue()) queue->StopTimer();
}

void CHandler::Subscribe(const char* symbol) { SendRequest(m_subscribeType, symbol); }

void CHandler::Unsubscribe(const char* symbol) { SendRequest(wire::kMsgUnsubscribe, symbol); }

void CHandler::SendRequest(char type, const char* symbol) {
  if (m_host == nullptr) return;
  vok::CCriticalSectionLock lock(m_host->ConnectionLock());
  if (!m_host->ConnectionLoggedIn()) return;
  VOKMessage message;
  message.SetType(type);
  message.SetString(wire::kFidSymbol, symbol);
  message.SetInt(wire::kFidServiceId, m_serviceId);
  m_host->Send(message);
}

void CHandler::Resubscribe() {
  vok::CCriticalSectionLock lock(m_lock);
  ResetCache();
  // After a reconnect nothing counts as fresh until the server sends it again.
  for (const auto& entry : m_globalMap) {
    entry.value->ForgetUpdate();
    Subscribe(entry.key.c_str());
  }
}

void CHandler::LastUpdates(std::vector<SSymbolUpdate>& out) {
  vok::CCriticalSectionLock lock(m_lock);
  for (const auto& entry : m_globalMap) out.push_back({entry.key, m_serviceFlag, entry.value->LastUpdateNs()});
}

void CHandler::CountStrayQuote(const std::string& symbol) {
  auto it = m_strayMap.find(symbol);
  if (it == m_strayMap.end()) {
    // A feed of ever new symbols must not grow the map without end: past the cap, new symbols
    // are not counted (the ones counted keep their cadence).
    if (m_strayMap.size() >= kMaxStraySymbols) {
      if (!m_strayFullTraced) {
        VOKTRACE_Printf(VOKTRACE_WARNING, "%s: stray quotes of %u symbols counted; further symbols are not",
                        m_name.c_str(), static_cast<unsigned>(kMaxStraySymbols));
        m_strayFullTraced = true;
      }
      return;
    }
    m_strayFullTraced = false;
    m_strayMap.emplace(symbol, StrayQuote{});
    return;
  }
  const int count = ++it->second.m_count;
  if (count % 200 != 1) {
    VOKTRACE_Printf(VOKTRACE_INFO, "%s: Received %d stray %s quotes. Recent deletion?", m_name.c_str(), count,
                    symbol.c_str());
  }
}

bool CHandler::DropOverlongKey(const std::string& key) {
  if (key.size() <= kMaxSymbolLength) {
    m_overlongBurst = false;
    return false;
  }
  ++m_overlongDropped;
  // One line per burst, and at most one a second however the burst is broken up.
  if (!m_overlongBurst) {
    m_overlongBurst = true;
    const std::uint64_t now = vok::MonotonicMs();
    if (m_overlongTracedAt == 0 || now - m_overlongTracedAt >= 1000) {
      m_overlongTracedAt = now;
      VOKTRACE_Printf(VOKTRACE_WARNING, "%s: dropping data for a symbol of %u characters (%llu such messages so far)",
                      m_name.c_str(), static_cast<unsigned>(key.size()),
                      static_cast<unsigned long long>(m_overlongDropped));
    }
  }
  return true;
}

CNotifyList* CHandler::FindThreadList(const std::string& symbol) {
  CTMData* data = m_threadData.Peek();
  if (data == nullptr) return nullptr;
  vok::CComPtr<CNotifyList>* held = data->m_map.Find(symbol);
  return held == nullptr ? nullptr : held->Get();
}

int CHandler::ThreadNotifyCount(const std::string& symbol) {
  CNotifyList* list = FindThreadList(symbol);
  return list == nullptr ? 0 : list->Count();
}

int CHandler::MasterThreadCount(const std::string& symbol) {
  vok::CCriticalSectionLock lock(m_lock);
  CMasterRecord* record = FindMaster(symbol);
  return record == nullptr ? 0 : record->ThreadCount();
}

bool CHandler::HasMasterRecord(const std::string& symbol) {
  vok::CCriticalSectionLock lock(m_lock);
  return FindMaster(symbol) != nullptr;
}

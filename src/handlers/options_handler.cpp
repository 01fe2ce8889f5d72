// COptionsHandler: the merge of '4' messages into the option caches of the subscribed underlyings,
// the copies queued to subscribers, the cache handed to a new subscriber, the unknown sizes after a
// logon and the lookup of an option symbol across underlyings.
#include "handlers/options_handler.h"

#include <cctype>
#include <vector>

#include "handlers/handler_host.h"
#include "handlers/record_text.h"
#include "handlers/thread_item.h"
#include "handlers/thread_queue.h"
#include "handlers/update_time_reader.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "vkdll/vkdll.h"
#include "vokcommon/record_copy.h"

namespace wire = vok::wire;

using vok::handlers::NarrowBstr;
using vok::handlers::NarrowText;
using vok::handlers::NewBstr;

namespace {

void ReadLong(const VOKMessage& message, int fid, LONG& target) {
  int value = 0;
  if (message.GetInt(fid, value)) target = value;
}

// Merges the fields every options message may carry; absent fields keep the cached value.
void MergeOption(const VOKMessage& message, CUpdateTimeReader& timeReader, OPTIONSRECORD& o) {
  message.GetDouble(wire::kFidLast, o.dLast);
  ReadLong(message, wire::kFidLastSize, o.lLastSize);
  message.GetDouble(wire::kFidBid, o.dBid);
  message.GetDouble(wire::kFidAsk, o.dAsk);
  ReadLong(message, wire::kFidBidSize, o.lBidSize);
  ReadLong(message, wire::kFidAskSize, o.lAskSize);
  message.GetDouble(wire::kFidPrevClose, o.dPrevClose);
  message.GetDouble(wire::kFidHigh, o.dHigh);
  message.GetDouble(wire::kFidLow, o.dLow);
  message.GetDouble(wire::kFidOpen, o.dOpen);
  ReadLong(message, wire::kFidVolume, o.lVolume);
  int tick = 0;
  if (message.GetInt(wire::kFidTick, tick)) o.tick = tick == wire::kTickUp ? tickEvenUp : tickDown;
  timeReader.Merge(message, o.UTCDateTime);
}

}  // namespace

COptionsRecord::~COptionsRecord() { FreeOptionsRecord(m_rec); }

COptionsHandler::COptionsHandler(IHandlerHost* host)
    : CHandler(
          host,
          Config{qsfOptions, "COptionsHandler", {wire::kMsgOptions}, wire::kMsgSubscribe, wire::kOptionsService, 107}) {
}

CNotifyList* COptionsHandler::CreateNotifyList() { return new COptNotifyList(); }

CMasterRecord* COptionsHandler::CreateMasterRecord() { return new CMasterOptionsRecord(); }

void COptionsHandler::OnMessage(char /*type*/, const VOKMessage& message) {
  if (m_host != nullptr && m_host->LogQuotes()) message.Log("OPT: ", VOKTRACE_INFO);
  std::string underlying;
  message.GetString(wire::kFidUnderlier, underlying);

  vok::CCriticalSectionLock lock(m_lock);
  if (DropOverlongKey(underlying)) return;
  auto* record = static_cast<CMasterOptionsRecord*>(FindMaster(underlying));
  if (record == nullptr) {
    CountStrayQuote(underlying);
    return;
  }
  record->NoteUpdate();
  std::string optionSymbol;
  message.GetString(wire::kFidSymbol, optionSymbol);
  // Option symbols key the underlying's cache, whose entries live as long as the subscription.
  if (optionSymbol.empty() || DropOverlongKey(optionSymbol)) return;

  COptionsRecord* option = nullptr;
  auto it = record->m_options.find(optionSymbol);
  if (it != record->m_options.end()) {
    option = &it->second;
  } else {
    option = AddOption(*record, underlying, optionSymbol, message);
    if (option == nullptr) return;
  }
  MergeOption(message, m_timeReader, option->m_rec);
  Queue(*record, option->m_rec);
}

COptionsRecord* COptionsHandler::AddOption(CMasterOptionsRecord& record, const std::string& underlying,
                                           const std::string& optionSymbol, const VOKMessage& message) {
  if (record.m_options.size() >= CMasterOptionsRecord::kMaxOptions) {
    if (!record.m_overflowTraced) {
      VOKTRACE_Printf(VOKTRACE_WARNING, "OPT: option cache of %s is full (%u options); new options are dropped",
                      underlying.c_str(), static_cast<unsigned>(CMasterOptionsRecord::kMaxOptions));
      record.m_overflowTraced = true;
    }
    return nullptr;
  }
  COptionsRecord& option = record.m_options.emplace(optionSymbol, COptionsRecord{}).first->second;
  OPTIONSRECORD& o = option.m_rec;
  o.bstrSymbol = NewBstr(optionSymbol);
  o.bstrUnderlier = NewBstr(underlying);
  if (m_host != nullptr) m_host->AddOptionRoot(optionSymbol.substr(0, optionSymbol.find('-')), underlying);
  // Contract data is fixed for the life of an option: only its first message counts.
  message.GetDouble(wire::kFidStrike, o.dStrikePrice);
  ReadLong(message, wire::kFidExpMonth, o.lExpMonth);
  ReadLong(message, wire::kFidOpenInterest, o.lOpenInterest);
  ReadLong(message, wire::kFidExpYear, o.lExpYear);
  char putCall[4] = {};
  message.GetString(wire::kFidPutCall, putCall, sizeof putCall);
  o.putcall = putCall[0] == 'P' ? pcPut : pcCall;
  return &option;
}

void COptionsHandler::Queue(const CMasterOptionsRecord& record, const OPTIONSRECORD& option) {
  // Nobody would receive it: skip the copy.
  if (record.ThreadCount() == 0) return;
  CThreadQueue::Post(COptionsThreadItem::Create(this, option), record.Threads());
}

void COptionsHandler::OnThreadItem(CThreadItem* item) {
  if (item == nullptr || item->GetKind() != CThreadItem::kOptions) return;
  auto* update = static_cast<COptionsThreadItem*>(item);
  // Subscriptions are by underlying. A callback may unadvise the last entry and so drop the map's
  // reference: hold our own.
  vok::CComPtr<CNotifyList> list(FindThreadList(NarrowBstr(update->m_rec.bstrUnderlier)));
  if (!list) {
    VOKTRACE_Printf(VOKTRACE_INFO, "COptionsHandler::OnThreadItem, rec'd quote for %s -- not in map",
                    NarrowBstr(update->m_rec.bstrSymbol).c_str());
    return;
  }
  static_cast<COptNotifyList*>(list.Get())->Deliver(&update->m_rec);
}

void COptionsHandler::SendCachedData(IVokQuotesNotify* notify, const std::string& underlying) {
  // Copies are handed out with no lock held: the callback may unadvise, which sends under the
  // connection lock, and the connection lock always comes before ours.
  std::vector<COptionsRecord> copies;
  {
    vok::CCriticalSectionLock lock(m_lock);
    auto* record = static_cast<CMasterOptionsRecord*>(FindMaster(underlying));
    if (record == nullptr) return;
    copies.reserve(record->m_options.size());
    for (const auto& [symbol, option] : record->m_options) {
      OPTIONSRECORD* copy = &copies.emplace_back().m_rec;
      SetOptionsRecord(copy, &option.m_rec);
    }
  }
  for (COptionsRecord& copy : copies) notify->OnOptionsData(&copy.m_rec);
}

void COptionsHandler::ResetCache() {
  vok::CCriticalSectionLock lock(m_lock);
  // The sizes the server reported before the logon are no longer known; subscribers learn so
  // before the fresh data arrives.
  ForEachMaster([this](const std::string& /*underlying*/, CMasterRecord& base) {
    auto& record = static_cast<CMasterOptionsRecord&>(base);
    for (auto& [symbol, option] : record.m_options) {
      option.m_rec.lBidSize = -1;
      option.m_rec.lAskSize = -1;
      option.m_rec.lLastSize = -1;
      Queue(record, option.m_rec);
    }
  });
}

bool COptionsHandler::GetCachedOptionsRecord(const OLECHAR* optionSymbol, OPTIONSRECORD* out) {
  if (optionSymbol == nullptr || optionSymbol[0] == 0 || out == nullptr) return false;
  std::string key = NarrowText(optionSymbol);
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  vok::CCriticalSectionLock lock(m_lock);
  // The option symbol does not name its underlying: ask every underlying's cache.
  const OPTIONSRECORD* found = nullptr;
  ForEachMaster([&](const std::string& /*underlying*/, CMasterRecord& base) {
    if (found != nullptr) return;
    auto& record = static_cast<CMasterOptionsRecord&>(base);
    auto it = record.m_options.find(key);
    if (it != record.m_options.end()) found = &it->second.m_rec;
  });
  if (found == nullptr) return false;
  SetOptionsRecord(out, found);
  return true;
}

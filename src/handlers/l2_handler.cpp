// CL2Handler: the merge of '2' messages into the per-symbol books, the side updates queued to the
// subscribers, the book handed to a new subscriber, the reset after logon and the aggregate size.
#include "handlers/l2_handler.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "handlers/handler_host.h"
#include "handlers/record_text.h"
#include "handlers/thread_item.h"
#include "handlers/thread_queue.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "vkdll/vkdll.h"
#include "vokcommon/security_type.h"

namespace wire = vok::wire;

using vok::handlers::CopyBstr;
using vok::handlers::NarrowBstr;
using vok::handlers::NarrowText;
using vok::handlers::NewBstr;
using vok::handlers::NewFieldBstr;

namespace {

// Participants of one ECN arrive as "TDFX<id>"; subscribers know them as "TDFX:<id>".
void QualifyMmid(std::string& mmid) {
  static constexpr std::string_view kTdfx = "TDFX";
  if (mmid.compare(0, kTdfx.size(), kTdfx) != 0) return;
  std::string qualified;
  qualified.reserve(mmid.size() + 4);
  std::size_t from = 0;
  for (std::size_t at = mmid.find(kTdfx); at != std::string::npos; at = mmid.find(kTdfx, from)) {
    qualified.append(mmid, from, at - from).append("TDFX:");
    from = at + kTdfx.size();
  }
  qualified.append(mmid, from, std::string::npos);
  mmid.swap(qualified);
}

// One side of a participant as a record whose strings are borrowed from the book: copy them before
// the book can change.
LEVEL2RECORD SideRecord(BSTR symbol, const CL2BidAsk& entry, int sideIndex) {
  const CL2Side& side = entry.m_sides[sideIndex];
  LEVEL2RECORD rec{};
  rec.bstrSymbol = symbol;
  rec.bstrMMID = entry.m_mmid.Get();
  rec.bstrSource = entry.m_source.Get();
  rec.lSize = side.m_size;
  rec.dPrice = side.m_price;
  rec.side = sideIndex == 0 ? msBid : msAsk;
  rec.bClosed = side.m_closed;
  rec.UTCTime = side.m_time.m_dt;
  return rec;
}

// A level 2 record that owns its three strings: the copies SendCachedData hands out after it has
// released the handler lock.
struct CLevel2Record {
  CLevel2Record() = default;
  CLevel2Record(const CLevel2Record&) = delete;
  CLevel2Record& operator=(const CLevel2Record&) = delete;
  CLevel2Record(CLevel2Record&& other) noexcept : m_rec(other.m_rec) { other.m_rec = LEVEL2RECORD{}; }
  // A copy of a record with borrowed strings.
  explicit CLevel2Record(const LEVEL2RECORD& borrowed) : m_rec(borrowed) {
    m_rec.bstrSymbol = CopyBstr(borrowed.bstrSymbol);
    m_rec.bstrMMID = CopyBstr(borrowed.bstrMMID);
    m_rec.bstrSource = CopyBstr(borrowed.bstrSource);
  }
  ~CLevel2Record() {
    SysFreeString(m_rec.bstrSymbol);
    SysFreeString(m_rec.bstrMMID);
    SysFreeString(m_rec.bstrSource);
  }
  LEVEL2RECORD m_rec{};
};

}  // namespace

CL2Handler::CL2Handler(IHandlerHost* host)
    : CHandler(host,
               Config{qsfLevelTwo, "CL2Handler", {wire::kMsgLevel2}, wire::kMsgSubscribe, wire::kLevel2Service, 301}) {}

CNotifyList* CL2Handler::CreateNotifyList() { return new CL2NotifyList(); }

CMasterRecord* CL2Handler::CreateMasterRecord() { return new CMasterL2Record(); }

void CL2Handler::OnMessage(char /*type*/, const VOKMessage& message) {
  if (m_host != nullptr && m_host->LogQuotes()) message.Log("L2: ", VOKTRACE_INFO);
  std::string symbol;
  message.GetString(wire::kFidSymbol, symbol);

  vok::CCriticalSectionLock lock(m_lock);
  if (DropOverlongKey(symbol)) return;
  auto* record = static_cast<CMasterL2Record*>(FindMaster(symbol));
  if (record == nullptr) {
    CountStrayQuote(symbol);
    return;
  }
  record->NoteUpdate();
  std::string mmid;
  message.GetString(wire::kFidMarketMaker, mmid);
  // Market maker ids key the book, whose entries live as long as the subscription.
  if (DropOverlongKey(mmid)) return;
  int sideCode = 0;
  // Only the bid code names the bid: any other code, or none, is the ask.
  const int sideIndex = message.GetInt(wire::kFidSide, sideCode) && sideCode == wire::kSideBid ? 0 : 1;
  QualifyMmid(mmid);

  auto it = record->m_book.find(mmid);
  if (it == record->m_book.end()) {
    if (record->m_book.size() >= CMasterL2Record::kMaxEntries) {
      if (!record->m_overflowTraced) {
        VOKTRACE_Printf(VOKTRACE_WARNING, "L2: book of %s is full (%u participants); new participants are dropped",
                        symbol.c_str(), static_cast<unsigned>(CMasterL2Record::kMaxEntries));
        record->m_overflowTraced = true;
      }
      return;
    }
    it = record->m_book.emplace(mmid, CL2BidAsk{}).first;
    it->second.m_mmid = vok::CBstr::Attach(NewBstr(mmid));
  }
  if (record->m_symbol.Get() == nullptr) record->m_symbol = vok::CBstr::Attach(NewBstr(symbol));
  CL2BidAsk& entry = it->second;
  if (entry.m_source.Length() == 0) DecideSource(symbol, mmid, message, entry);

  CL2Side& side = entry.m_sides[sideIndex];
  message.GetDouble(wire::kFidSidePrice, side.m_price);
  int size = 0;
  if (message.GetInt(wire::kFidSideSize, size)) side.m_size = size;
  // Longer texts are no time anyway and are cut short; the buffer keeps the update allocation-free.
  char time[64];
  if (message.GetString(wire::kFidSideTime, time, sizeof time)) {
    side.m_time.ParseDateTime(time, 1, 1033);
  } else if (message.GetString(wire::kFidSideEasternTime, time, sizeof time)) {
    side.m_time.ParseETDateTime(time, 0, 1033);
  }
  char closed[4];
  const bool open =
      message.GetString(wire::kFidSideOpen, closed, sizeof closed) && closed[0] == 'O' && closed[1] == '\0';
  side.m_closed = open ? VARIANT_FALSE : VARIANT_TRUE;

  Queue(*record, entry, sideIndex);
}

void CL2Handler::DecideSource(const std::string& symbol, const std::string& mmid, const VOKMessage& message,
                              CL2BidAsk& entry) {
  std::string text;
  message.GetString(wire::kFidSideSource, text);
  if (text.empty()) {
    if (mmid.compare(0, 4, "ARCA") == 0) text = "ARCA";
  } else {
    const enumSecurityType type = GetSecurityType(symbol);
    if (type == stOption || (type == stEquity && text == "2")) text = "REGN";
  }
  // An empty source is stored as an empty text, so the next message tries again.
  entry.m_source = vok::CBstr::Attach(NewFieldBstr(text));
}

void CL2Handler::Queue(CMasterL2Record& record, const CL2BidAsk& entry, int sideIndex) {
  // Nobody would receive it: skip the copies.
  if (record.ThreadCount() == 0) return;
  CThreadQueue::Post(CL2ThreadItem::Create(this, SideRecord(record.m_symbol.Get(), entry, sideIndex)),
                     record.Threads());
}

void CL2Handler::OnThreadItem(CThreadItem* item) {
  if (item == nullptr || item->GetKind() != CThreadItem::kLevel2) return;
  auto* update = static_cast<CL2ThreadItem*>(item);
  // A callback may unadvise the last entry and so drop the map's reference: hold our own.
  vok::CComPtr<CNotifyList> list(FindThreadList(NarrowBstr(update->m_rec.bstrSymbol)));
  if (list) static_cast<CL2NotifyList*>(list.Get())->Deliver(&update->m_rec);
}

void CL2Handler::SendCachedData(IVokQuotesNotify* notify, const std::string& symbol) {
  // Copies are handed out with no lock held: the callback may unadvise, which sends under the
  // connection lock, and the connection lock always comes before ours.
  std::vector<CLevel2Record> copies;
  {
    vok::CCriticalSectionLock lock(m_lock);
    auto* record = static_cast<CMasterL2Record*>(FindMaster(symbol));
    if (record == nullptr) return;
    copies.reserve(record->m_book.size() * 2);
    for (const auto& [mmid, entry] : record->m_book) {
      for (int sideIndex = 0; sideIndex < 2; ++sideIndex) {
        if (entry.m_sides[sideIndex].m_size == 0) continue;
        copies.emplace_back(SideRecord(record->m_symbol.Get(), entry, sideIndex));
      }
    }
  }
  for (CLevel2Record& copy : copies) notify->OnLevel2Data(&copy.m_rec);
}

void CL2Handler::ResetCache() {
  vok::CCriticalSectionLock lock(m_lock);
  ForEachMaster([this](const std::string& /*symbol*/, CMasterRecord& base) {
    auto& record = static_cast<CMasterL2Record&>(base);
    for (auto& [mmid, entry] : record.m_book) {
      for (int sideIndex = 0; sideIndex < 2; ++sideIndex) {
        entry.m_sides[sideIndex].m_size = 0;
        Queue(record, entry, sideIndex);
      }
    }
  });
}

LONG CL2Handler::GetAggregateSize(const OLECHAR* symbol, double price, enumMarketSide side) {
  const std::string key = NarrowText(symbol);
  vok::CCriticalSectionLock lock(m_lock);
  auto* record = static_cast<CMasterL2Record*>(FindMaster(key));
  if (record == nullptr) return -1;
  if (side != msBid && side != msAsk) return 0;
  const int sideIndex = side == msBid ? 0 : 1;
  // Summed wide: sizes come from the wire and must not overflow into nonsense.
  std::int64_t total = 0;
  for (const auto& [mmid, entry] : record->m_book) {
    const CL2Side& s = entry.m_sides[sideIndex];
    if (s.m_price == price) total += s.m_size;
  }
  if (total > std::numeric_limits<LONG>::max()) return std::numeric_limits<LONG>::max();
  if (total < std::numeric_limits<LONG>::min()) return std::numeric_limits<LONG>::min();
  return static_cast<LONG>(total);
}

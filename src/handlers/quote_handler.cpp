// CQuoteHandler: the level 1 merge of '1' and 'N' messages into the cached QUOTERECORD, the work
// items sent to subscribers, the cache readers, borrow flags and option descriptions.
#include "handlers/quote_handler.h"

#include <cctype>
#include <ctime>

#include "handlers/handler_host.h"
#include "handlers/record_text.h"
#include "handlers/thread_item.h"
#include "handlers/thread_queue.h"
#include "handlers/update_time_reader.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "platform/text.h"
#include "vkdll/vkdll.h"
#include "vokcommon/record_copy.h"

namespace wire = vok::wire;

using vok::handlers::NarrowBstr;
using vok::handlers::NewBstr;
using vok::handlers::NewFieldBstr;

namespace {

constexpr long kBorrowMask = 0x19;

void ReadDouble(const VOKMessage& message, int fid, double& target) { message.GetDouble(fid, target); }

void ReadLong(const VOKMessage& message, int fid, LONG& target) {
  int value = 0;
  if (message.GetInt(fid, value)) target = value;
}

}  // namespace

CMasterQuoteRecord::~CMasterQuoteRecord() {
  SysFreeString(m_rec.bstrSymbol);
  SysFreeString(m_rec.bstrMarket);
  SysFreeString(m_rec.bstrCompany);
  SysFreeString(m_rec.bstrUnderlier);
}

CQuoteHandler::CQuoteHandler(IHandlerHost* host)
    : CHandler(host, Config{qsfLevelOne,
                            "CQuoteHandler",
                            {wire::kMsgLevel1, wire::kMsgLevel1Alt},
                            wire::kMsgSubscribeLevel1,
                            wire::kLevel1Service,
                            1013}) {}

CNotifyList* CQuoteHandler::CreateNotifyList() { return new CQNotifyList(); }

CMasterRecord* CQuoteHandler::CreateMasterRecord() { return new CMasterQuoteRecord(); }

void CQuoteHandler::OnMessage(char type, const VOKMessage& message) {
  if (m_host != nullptr && m_host->LogQuotes()) message.Log("L1: ", VOKTRACE_INFO);
  if (type != wire::kMsgLevel1 && type != wire::kMsgLevel1Alt) return;
  std::string symbol;
  message.GetString(wire::kFidSymbol, symbol);

  vok::CCriticalSectionLock lock(m_lock);
  if (DropOverlongKey(symbol)) return;
  auto* record = static_cast<CMasterQuoteRecord*>(FindMaster(symbol));
  if (record == nullptr) {
    CountStrayQuote(symbol);
    return;
  }
  record->NoteUpdate();
  Merge(symbol, message, record->m_rec);
  if (record->ThreadCount() >= 1) {
    Queue(*record);
  } else {
    CountStrayQuote(symbol);
  }
}

void CQuoteHandler::Merge(const std::string& symbol, const VOKMessage& message, QUOTERECORD& q) {
  std::string text;
  if (q.bstrSymbol == nullptr) q.bstrSymbol = NewBstr(symbol);
  if (q.bstrMarket == nullptr && message.GetString(wire::kFidExchange, text)) q.bstrMarket = NewFieldBstr(text);
  if (q.bstrCompany == nullptr && (symbol.empty() || symbol[0] != '+') && message.GetString(wire::kFidCompany, text)) {
    q.bstrCompany = NewFieldBstr(text);
  }
  ReadDouble(message, wire::kFidLast, q.dLast);
  ReadDouble(message, wire::kFidBid, q.dBid);
  ReadDouble(message, wire::kFidAsk, q.dAsk);
  ReadLong(message, wire::kFidBidSize, q.lBidSize);
  ReadLong(message, wire::kFidAskSize, q.lAskSize);
  ReadDouble(message, wire::kFidHigh, q.dHigh);
  ReadDouble(message, wire::kFidLow, q.dLow);
  ReadLong(message, wire::kFidLastSize, q.lLastSize);
  ReadLong(message, wire::kFidVolume, q.lVolume);
  ReadDouble(message, wire::kFidOpen, q.dOpen);
  int tick = 0;
  if (message.GetInt(wire::kFidTick, tick)) q.tick = tick == wire::kTickUp ? tickEvenUp : tickDown;
  ReadDouble(message, wire::kFidPrevClose, q.dPrevClose);
  if (q.dPrevClose == 0 && q.dLast != 0) q.dPrevClose = q.dLast;
  m_timeReader.Merge(message, q.UTCDateTime);

  const char first = symbol.empty() ? '\0' : symbol[0];
  if (first == '/') {
    if (q.lContractSize == 0) ReadLong(message, wire::kFidContractSize, q.lContractSize);
    return;
  }
  if (first == '+') {
    int contractSize = 0;
    // Contract data is fixed for the life of an option: only the first message carrying it counts.
    if (q.lContractSize != 0 || !message.GetInt(wire::kFidContractSize, contractSize)) return;
    q.lContractSize = contractSize;
    ReadDouble(message, wire::kFidStrike, q.dStrikePrice);
    ReadLong(message, wire::kFidExpMonth, q.lExpMonth);
    ReadLong(message, wire::kFidExpYear, q.lExpYear);
    char putCall[4] = {};
    if (message.GetString(wire::kFidPutCall, putCall, sizeof(putCall))) q.putcall = putCall[0] == 'P' ? pcPut : pcCall;
    // A longer text is no symbol: it would not be filed as an option root either.
    if (q.bstrUnderlier == nullptr && message.GetString(wire::kFidUnderlier, text) && !text.empty() &&
        text.size() <= kMaxSymbolLength) {
      q.bstrUnderlier = NewBstr(text);
      if (m_host != nullptr) m_host->AddOptionRoot(symbol.substr(0, symbol.find('-')), text);
    }
    std::string description;
    if (q.bstrCompany == nullptr && q.lContractSize > 0 && q.bstrUnderlier != nullptr &&
        BuildOptionDescription(q, description)) {
      q.bstrCompany = NewBstr(description);
    }
    return;
  }
  ReadLong(message, wire::kFidFlags, q.lFlags);
  ReadDouble(message, wire::kFidMarginMultiplier, q.dMarginMult);
  double rate = 0;
  if (m_host != nullptr && m_host->GetBorrowRate(symbol, rate)) ApplyBorrowRate(q, rate);
}

void CQuoteHandler::Queue(CMasterQuoteRecord& record) {
  // Each item owns its copy; the queues it reaches share it and the last receiver frees it.
  CThreadQueue::Post(CQuoteThreadItem::Create(this, record.m_rec), record.Threads());
}

void CQuoteHandler::TestTick() { vok::CCriticalSectionLock lock(m_lock); }

void CQuoteHandler::OnThreadItem(CThreadItem* item) {
  if (item == nullptr || item->GetKind() != CThreadItem::kQuote) return;
  auto* quote = static_cast<CQuoteThreadItem*>(item);
  // A callback may unadvise the last entry and so drop the map's reference: hold our own.
  vok::CComPtr<CNotifyList> list(FindThreadList(NarrowBstr(quote->m_rec.bstrSymbol)));
  if (list) static_cast<CQNotifyList*>(list.Get())->Deliver(&quote->m_rec);
}

namespace {

// A private copy of a quote record that frees its strings with it.
struct CQuoteCopy {
  CQuoteCopy() = default;
  CQuoteCopy(const CQuoteCopy&) = delete;
  CQuoteCopy& operator=(const CQuoteCopy&) = delete;
  ~CQuoteCopy() { FreeQuoteRecord(m_rec); }
  QUOTERECORD m_rec{};
};

}  // namespace

void CQuoteHandler::SendCachedData(IVokQuotesNotify* notify, const std::string& symbol) {
  // The callback gets a copy and runs with no lock held: it may unadvise the symbol, which sends the
  // unsubscribe under the connection lock, and the connection lock always comes before ours.
  CQuoteCopy copy;
  {
    vok::CCriticalSectionLock lock(m_lock);
    auto* record = static_cast<CMasterQuoteRecord*>(FindMaster(symbol));
    if (record == nullptr || !record->HasData()) return;
    QUOTERECORD* target = &copy.m_rec;
    SetQuoteRecord(target, &record->m_rec);
  }
  notify->OnQuoteData(&copy.m_rec);
}

bool CQuoteHandler::GetCachedQuote(const OLECHAR* symbol, QUOTERECORD* out) {
  if (symbol == nullptr || symbol[0] == 0 || out == nullptr) return false;
  std::string key =
      vok::NarrowFromWide(reinterpret_cast<const vok::WideChar*>(symbol),
                          std::char_traits<vok::WideChar>::length(reinterpret_cast<const vok::WideChar*>(symbol)));
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  vok::CCriticalSectionLock lock(m_lock);
  auto* record = static_cast<CMasterQuoteRecord*>(FindMaster(key));
  if (record == nullptr || !record->HasData()) return false;
  SetQuoteRecord(out, &record->m_rec);
  return true;
}

void CQuoteHandler::SetBorrowRate(const std::string& symbol, double rate) {
  vok::CCriticalSectionLock lock(m_lock);
  auto* record = static_cast<CMasterQuoteRecord*>(FindMaster(symbol));
  if (record == nullptr || !record->HasData()) return;
  if (ApplyBorrowRate(record->m_rec, rate) && record->ThreadCount() >= 1) Queue(*record);
}

bool CQuoteHandler::ApplyBorrowRate(QUOTERECORD& record, double rate) {
  const LONG before = record.lFlags;
  record.dNegBorrowPct = 0;
  record.lFlags &= ~kBorrowMask;
  if (rate != 0) {
    record.lFlags |= 0x09;
    if (rate > 0) {
      record.lFlags |= 0x10;
      record.dNegBorrowPct = rate;
    }
  }
  return record.lFlags != before;
}

bool CQuoteHandler::BuildOptionDescription(const QUOTERECORD& record, std::string& out) {
  if (record.lContractSize <= 0 || record.bstrUnderlier == nullptr) return false;
  // Month numbers from the wire are brought into 1..12 (carrying into the year) so that the month
  // name is always defined.
  long month = record.lExpMonth - 1;
  long year = record.lExpYear;
  year += month >= 0 ? month / 12 : -((11 - month) / 12);
  month = ((month % 12) + 12) % 12;
  std::tm calendar{};
  calendar.tm_mday = 1;
  calendar.tm_mon = static_cast<int>(month);
  calendar.tm_year = static_cast<int>(year - 1900);
  calendar.tm_isdst = -1;
  char monthText[129] = {};
  std::strftime(monthText, 128, "%b '%y", &calendar);
  char strike[25] = {};
  VOK_FormatNumber(record.dStrikePrice, strike, 24, 2);
  out = NarrowBstr(record.bstrUnderlier);
  out += ' ';
  out += monthText;
  out += ' ';
  out += strike;
  out += record.putcall == pcPut ? " Put" : " Call";
  return true;
}

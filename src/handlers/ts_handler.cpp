// CTSHandler: one '3' message to one print for the subscribers of its symbol. A print whose type
// code is unknown, or that lacks the price or size its type needs, is dropped without a trace.
#include "handlers/ts_handler.h"

#include <cstdio>

#include "handlers/handler_host.h"
#include "handlers/record_text.h"
#include "handlers/thread_item.h"
#include "handlers/thread_queue.h"
#include "message/vok_message.h"
#include "message/wire_vocabulary.h"
#include "vkdll/vkdll.h"
#include "vokcommon/vok_date_time.h"

namespace wire = vok::wire;

using vok::handlers::NarrowBstr;
using vok::handlers::NewBstr;
using vok::handlers::NewFieldBstr;

namespace {

// Where the price and size of each kind of print are.
struct PrintFields {
  enumTickType type;
  int priceField;
  int sizeField;
};

bool FieldsOf(const VOKMessage& message, PrintFields& fields) {
  int code = 0;
  if (!message.GetInt(wire::kFidPrintKind, code)) code = wire::kPrintTrade;
  switch (code) {
    case wire::kPrintTrade:
      fields = {ttTradeTick, wire::kFidLast, wire::kFidLastSize};
      return true;
    case wire::kPrintBid:
      fields = {ttBidTick, wire::kFidBid, wire::kFidBidSize};
      return true;
    case wire::kPrintAsk:
      fields = {ttAskTick, wire::kFidAsk, wire::kFidAskSize};
      return true;
    default:
      return false;
  }
}

// The print's moment from the Eastern date and time texts; a date without a time gives none.
DATE PrintTime(const VOKMessage& message) {
  // Longer texts are no date or time anyway and are cut short; fixed buffers keep prints cheap.
  char date[64];
  char time[64];
  const bool hasDate = message.GetString(wire::kFidEasternDate, date, sizeof date);
  const bool hasTime = message.GetString(wire::kFidEasternTime, time, sizeof time);
  if (!hasTime) return 0;
  CVokDateTime moment;
  if (hasDate) {
    char text[sizeof date + sizeof time + 1];
    std::snprintf(text, sizeof text, "%s %s", date, time);
    moment.ParseETDateTime(text, 0, 1033);
  } else {
    moment.ParseETDateTime(time, 0, 1033);
  }
  return moment.m_dt;
}

int IntOr0(const VOKMessage& message, int fid) {
  int value = 0;
  return message.GetInt(fid, value) ? value : 0;
}

}  // namespace

CTSHandler::CTSHandler(IHandlerHost* host)
    : CHandler(host, Config{qsfTimeAndSales,
                            "CTSHandler",
                            {wire::kMsgTimeSales},
                            wire::kMsgSubscribe,
                            wire::kTimeSalesService,
                            301}) {}

CNotifyList* CTSHandler::CreateNotifyList() { return new CTSNotifyList(); }

CMasterRecord* CTSHandler::CreateMasterRecord() { return new CMasterRecord(); }

void CTSHandler::OnMessage(char /*type*/, const VOKMessage& message) {
  if (m_host != nullptr && m_host->LogQuotes()) message.Log("TS: ", VOKTRACE_INFO);
  std::string symbol;
  message.GetString(wire::kFidSymbol, symbol);

  vok::CCriticalSectionLock lock(m_lock);
  if (DropOverlongKey(symbol)) return;
  CMasterRecord* record = FindMaster(symbol);
  if (record == nullptr) {
    CountStrayQuote(symbol);
    return;
  }
  record->NoteUpdate();
  PrintFields fields{};
  double price = 0;
  int size = 0;
  if (!FieldsOf(message, fields) || !message.GetDouble(fields.priceField, price) ||
      !message.GetInt(fields.sizeField, size)) {
    return;
  }
  // Nobody would receive it: skip the copy.
  if (record->ThreadCount() == 0) return;

  auto* item = new CTSThreadItem(this);
  TSRECORD& rec = item->m_rec;
  rec.type = fields.type;
  rec.dPrice = price;
  rec.lSize = size;
  rec.bstrSymbol = NewBstr(symbol);
  std::string exchange;
  message.GetString(wire::kFidExchange, exchange);
  rec.bstrExchange = NewFieldBstr(exchange);
  rec.lType = IntOr0(message, wire::kFidPrintType);
  rec.UTCDateTime = PrintTime(message);
  // The wire carries the public enumerations' values as they are.
  rec.status = static_cast<enumTickStatus>(IntOr0(message, wire::kFidPrintStatus));
  rec.tick = static_cast<enumTick>(IntOr0(message, wire::kFidTick));
  rec.cond = static_cast<enumTickCondition>(IntOr0(message, wire::kFidPrintCondition));
  CThreadQueue::Post(item, record->Threads());
}

void CTSHandler::OnThreadItem(CThreadItem* item) {
  if (item == nullptr || item->GetKind() != CThreadItem::kTimeAndSales) return;
  auto* print = static_cast<CTSThreadItem*>(item);
  // A callback may unadvise the last entry and so drop the map's reference: hold our own.
  vok::CComPtr<CNotifyList> list(FindThreadList(NarrowBstr(print->m_rec.bstrSymbol)));
  if (list) static_cast<CTSNotifyList*>(list.Get())->Deliver(&print->m_rec);
}

// CL2Handler: the level 2 service. For every subscribed symbol it keeps a book of one bid and one
// ask per market participant (MMID), merges each '2' message into one side of one participant,
// sends that side to each subscribing thread, hands a new subscriber the sides that have a size,
// zeroes every size after a logon and answers the aggregate size at a price.
// Threads and locks as in CHandler: OnMessage (dispatcher), ResetCache (dispatcher, inside
// Resubscribe), GetAggregateSize (client threads) and SendCachedData take m_lock, which guards the
// books; no callback runs under it, and OnThreadItem takes none.
#pragma once

#include <string>
#include <unordered_map>

#include "handlers/handler.h"
#include "platform/bstr.h"
#include "records/vokquote.h"
#include "vokcommon/vok_date_time.h"

// One side (bid or ask) of one participant's quote.
struct CL2Side {
  double m_price = 0;
  LONG m_size = 0;
  CVokDateTime m_time;
  // A side nobody has opened yet reads as closed; 1 is "true" without being VARIANT_TRUE.
  VARIANT_BOOL m_closed = 1;
};

// One participant of one symbol. The source is decided once, from the first message that gives a
// usable one, and kept for the life of the book.
struct CL2BidAsk {
  CL2Side m_sides[2];  // [0] bid (msBid), [1] ask (msAsk)
  vok::CBstr m_source;
  vok::CBstr m_mmid;  // the book key as a BSTR, so each update copies it instead of converting
};

// The level 2 book of one symbol, keyed by MMID (the empty MMID included).
class CMasterL2Record final : public CMasterRecord {
 public:
  // A book bigger than this is no real market: later new participants are dropped (and traced
  // once), so a runaway feed cannot grow the cache without end.
  static constexpr std::size_t kMaxEntries = 4096;

  CMasterL2Record() { m_book.reserve(379); }
  std::unordered_map<std::string, CL2BidAsk> m_book;
  vok::CBstr m_symbol;  // the symbol as a BSTR, set by the first message
  bool m_overflowTraced = false;
};

class CL2Handler final : public CHandler {
 public:
  explicit CL2Handler(IHandlerHost* host);
  ~CL2Handler() override { CloseDelivery(); }

  void OnMessage(char type, const VOKMessage& message) override;
  void OnThreadItem(CThreadItem* item) override;

  // The sum of the sizes of `side` of every participant of the symbol whose price on that side is
  // exactly `price`, closed sides included; 0 when none matches or the side is neither msBid nor
  // msAsk; -1 when the symbol has no level 2 subscription. The symbol is matched as given.
  LONG GetAggregateSize(const OLECHAR* symbol, double price, enumMarketSide side);

 protected:
  CNotifyList* CreateNotifyList() override;
  CMasterRecord* CreateMasterRecord() override;
  void SendCachedData(IVokQuotesNotify* notify, const std::string& symbol) override;
  void ResetCache() override;

 private:
  // With m_lock held: queues one side of a participant to the record's threads.
  void Queue(CMasterL2Record& record, const CL2BidAsk& entry, int sideIndex);
  void DecideSource(const std::string& symbol, const std::string& mmid, const VOKMessage& message, CL2BidAsk& entry);
};

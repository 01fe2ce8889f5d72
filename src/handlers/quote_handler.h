// CQuoteHandler: the level 1 service. It merges every '1' and 'N' data message into the cached
// QUOTERECORD of the symbol, sends a copy of the whole merged record to each subscribing thread,
// hands a new subscriber the cached record at once, answers GetCachedQuote and applies the borrow
// rates clients set. Threads and locks as in CHandler: OnMessage (dispatcher), GetCachedQuote and
// SetBorrowRate (client threads) and SendCachedData take m_lock; no callback runs under it, and
// OnThreadItem takes none.
#pragma once

#include <string>

#include "handlers/handler.h"
#include "handlers/update_time_reader.h"
#include "records/vokquote.h"

// The cached level 1 record of one symbol; it has data once bstrSymbol is a non-empty string.
class CMasterQuoteRecord final : public CMasterRecord {
 public:
  CMasterQuoteRecord() = default;
  ~CMasterQuoteRecord() override;
  bool HasData() const { return m_rec.bstrSymbol != nullptr && SysStringLen(m_rec.bstrSymbol) > 0; }
  QUOTERECORD m_rec{};
};

class CQuoteHandler final : public CHandler {
 public:
  explicit CQuoteHandler(IHandlerHost* host);
  ~CQuoteHandler() override { CloseDelivery(); }

  void OnMessage(char type, const VOKMessage& message) override;
  void OnThreadItem(CThreadItem* item) override;
  // Takes and leaves the handler lock: in test mode this shows a lock held too long.
  void TestTick() override;

  // Fills out (which must hold null or owned strings) with a copy of the cached record and returns
  // true when the cache has data for the symbol; the symbol is matched upper-cased.
  bool GetCachedQuote(const OLECHAR* symbol, QUOTERECORD* out);
  // Applies a changed borrow rate to the cached record; subscribers get the record again when the
  // borrow bits of lFlags changed.
  void SetBorrowRate(const std::string& symbol, double rate);

  // Sets the borrow bits 0x01, 0x08 (any rate but 0) and 0x10 with dNegBorrowPct (positive rates);
  // true when lFlags changed.
  static bool ApplyBorrowRate(QUOTERECORD& record, double rate);
  // "<underlier> <Mon 'yy> <strike> Put|Call" of an option record with contract data.
  static bool BuildOptionDescription(const QUOTERECORD& record, std::string& out);

 protected:
  CNotifyList* CreateNotifyList() override;
  CMasterRecord* CreateMasterRecord() override;
  void SendCachedData(IVokQuotesNotify* notify, const std::string& symbol) override;

 private:
  void Merge(const std::string& symbol, const VOKMessage& message, QUOTERECORD& q);
  void Queue(CMasterQuoteRecord& record);

  CUpdateTimeReader m_timeReader;  // guarded by m_lock
};

// COptionsHandler: the options service. A client advises an underlying symbol; the server then
// sends one '4' message per option of that underlying. The handler keeps, per subscribed
// underlying, one merged OPTIONSRECORD per option symbol, sends each merged record to the
// underlying's subscribers, hands a new subscriber every cached option, marks the sizes unknown
// (-1) after a logon and answers GetCachedOptionsRecord for an option symbol.
// Threads and locks as in CHandler: OnMessage (dispatcher), ResetCache (dispatcher, inside
// Resubscribe), GetCachedOptionsRecord (client threads) and SendCachedData take m_lock, which
// guards the option caches; no callback runs under it, and OnThreadItem takes none. OnMessage
// registers option roots with the host while holding m_lock (order: m_lock, then the host's own).
#pragma once

#include <string>
#include <unordered_map>

#include "handlers/handler.h"
#include "handlers/update_time_reader.h"
#include "records/vokquote.h"

// An OPTIONSRECORD that owns its two strings.
struct COptionsRecord {
  COptionsRecord() = default;
  COptionsRecord(const COptionsRecord&) = delete;
  COptionsRecord& operator=(const COptionsRecord&) = delete;
  COptionsRecord(COptionsRecord&& other) noexcept : m_rec(other.m_rec) { other.m_rec = OPTIONSRECORD{}; }
  ~COptionsRecord();
  OPTIONSRECORD m_rec{};
};

// The option cache of one underlying, keyed by option symbol.
class CMasterOptionsRecord final : public CMasterRecord {
 public:
  // More options than any real chain has: later new option symbols are dropped (and traced once),
  // so a runaway feed cannot grow the cache without end.
  static constexpr std::size_t kMaxOptions = 50000;

  CMasterOptionsRecord() { m_options.reserve(269); }
  std::unordered_map<std::string, COptionsRecord> m_options;
  bool m_overflowTraced = false;
};

class COptionsHandler final : public CHandler {
 public:
  explicit COptionsHandler(IHandlerHost* host);
  ~COptionsHandler() override { CloseDelivery(); }

  void OnMessage(char type, const VOKMessage& message) override;
  void OnThreadItem(CThreadItem* item) override;

  // Fills out (which must hold null or owned strings) with a copy of the cached record of the
  // option symbol, matched upper-cased, from whichever subscribed underlying has it; false when
  // none has.
  bool GetCachedOptionsRecord(const OLECHAR* optionSymbol, OPTIONSRECORD* out);

 protected:
  CNotifyList* CreateNotifyList() override;
  CMasterRecord* CreateMasterRecord() override;
  void SendCachedData(IVokQuotesNotify* notify, const std::string& underlying) override;
  void ResetCache() override;

 private:
  // With m_lock held: the record of a new option, with the contract data of its first message.
  COptionsRecord* AddOption(CMasterOptionsRecord& record, const std::string& underlying,
                            const std::string& optionSymbol, const VOKMessage& message);
  // With m_lock held: queues a copy of one option's record to the underlying's threads.
  void Queue(const CMasterOptionsRecord& record, const OPTIONSRECORD& option);

  CUpdateTimeReader m_timeReader;  // guarded by m_lock
};

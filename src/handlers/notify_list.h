// CNotifyList: the callbacks one thread advised for one symbol on one service, as a doubly linked
// list of NOTIFYINFO entries, newest first. Delivery walks the list while callbacks may unadvise
// themselves or other entries: every entry is held by a reference while it is being called.
//
// Threads: a list and its entries belong to the thread whose map holds them; no locks. The list
// holds no COM reference on the callbacks: a client keeps its callback alive until it unadvises.
#pragma once

#include <cstdint>

#include "records/vokquote.h"

struct NOTIFYINFO {
  NOTIFYINFO() = default;
  NOTIFYINFO(const NOTIFYINFO&) = delete;
  NOTIFYINFO& operator=(const NOTIFYINFO&) = delete;
  // An unlinked entry that kept its successor alive for a delivery walk lets it go now.
  virtual ~NOTIFYINFO() {
    if (m_holdsNext && m_next != nullptr) m_next->Release();
  }

  void AddRef() { ++m_refs; }
  void Release() {
    if (--m_refs <= 0) delete this;
  }

  std::int32_t m_refs = 0;
  NOTIFYINFO* m_next = nullptr;
  NOTIFYINFO* m_prev = nullptr;
  IVokQuotesNotify* m_notify = nullptr;
  bool m_linked = false;     // false once removed: a walk standing on it no longer calls it
  bool m_holdsNext = false;  // set when removed during a walk: m_next is kept alive for that walk
};

class CNotifyList {
 public:
  CNotifyList() = default;
  CNotifyList(const CNotifyList&) = delete;
  CNotifyList& operator=(const CNotifyList&) = delete;
  // Warns about every callback still advised, then frees the entries.
  virtual ~CNotifyList();

  void AddRef() { ++m_refs; }
  void Release() {
    if (--m_refs <= 0) delete this;
  }

  // False when the pointer is already in the list.
  bool AddNotify(IVokQuotesNotify* notify);
  // False when the pointer is not in the list.
  bool RemoveNotify(IVokQuotesNotify* notify);
  int Count() const { return m_count; }
  bool Empty() const { return m_count == 0; }

 protected:
  virtual NOTIFYINFO* CreateNotifyInfo() { return new NOTIFYINFO(); }

  // Calls call(entry->m_notify) for every entry, newest first. An entry unlinked by a callback
  // stays alive until the walk has left it, and its successor as it was then is still reached.
  template <class Call>
  void ForEach(Call&& call) {
    NOTIFYINFO* entry = m_head;
    if (entry != nullptr) entry->AddRef();
    while (entry != nullptr) {
      if (entry->m_linked) call(entry->m_notify);
      NOTIFYINFO* next = entry->m_next;
      if (next != nullptr) next->AddRef();
      entry->Release();
      entry = next;
    }
  }

 private:
  void Unlink(NOTIFYINFO* entry);

  std::int32_t m_refs = 0;
  std::int32_t m_count = 0;
  NOTIFYINFO* m_head = nullptr;
};

// The level 1 list: hands each update to OnQuoteData.
class CQNotifyList final : public CNotifyList {
 public:
  void Deliver(QUOTERECORD* record) {
    ForEach([record](IVokQuotesNotify* notify) { notify->OnQuoteData(record); });
  }
};

// The level 2 list: hands each side update to OnLevel2Data.
class CL2NotifyList final : public CNotifyList {
 public:
  void Deliver(LEVEL2RECORD* record) {
    ForEach([record](IVokQuotesNotify* notify) { notify->OnLevel2Data(record); });
  }
};

// The time and sales list: hands each print to OnTSData.
class CTSNotifyList final : public CNotifyList {
 public:
  void Deliver(TSRECORD* record) {
    ForEach([record](IVokQuotesNotify* notify) { notify->OnTSData(record); });
  }
};

// The options list: hands each option update to OnOptionsData.
class COptNotifyList final : public CNotifyList {
 public:
  void Deliver(OPTIONSRECORD* record) {
    ForEach([record](IVokQuotesNotify* notify) { notify->OnOptionsData(record); });
  }
};

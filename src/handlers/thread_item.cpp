// Work items: reference counting and the record strings each kind owns.
#include "handlers/thread_item.h"

#include "vokcommon/record_copy.h"

void CThreadItem::Release() {
  // acq_rel: the destroying thread must see every write the other receivers made to the item.
  if (m_references.fetch_sub(1, std::memory_order_acq_rel) <= 1) delete this;
}

CQuoteThreadItem::~CQuoteThreadItem() { FreeQuoteRecord(m_rec); }

CL2ThreadItem::~CL2ThreadItem() {
  SysFreeString(m_rec.bstrSymbol);
  SysFreeString(m_rec.bstrMMID);
  SysFreeString(m_rec.bstrSource);
}

CTSThreadItem::~CTSThreadItem() {
  SysFreeString(m_rec.bstrSymbol);
  SysFreeString(m_rec.bstrExchange);
}

COptionsThreadItem::~COptionsThreadItem() { FreeOptionsRecord(m_rec); }

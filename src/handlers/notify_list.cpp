// CNotifyList: insertion at the head, removal by pointer, and the teardown warning per callback.
#include "handlers/notify_list.h"

#include <cstdint>

#include "vkdll/vkdll.h"

CNotifyList::~CNotifyList() {
  while (m_head != nullptr) {
    VOKTRACE_Printf(VOKTRACE_WARNING,
                    "IVokQuotesNotify interface ptr 0x%llx still advised. Did you forget to Unadvise/UnadviseAll?",
                    static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(m_head->m_notify)));
    RemoveNotify(m_head->m_notify);
  }
}

bool CNotifyList::AddNotify(IVokQuotesNotify* notify) {
  for (NOTIFYINFO* entry = m_head; entry != nullptr; entry = entry->m_next) {
    if (entry->m_notify == notify) return false;
  }
  NOTIFYINFO* entry = CreateNotifyInfo();
  entry->AddRef();
  entry->m_notify = notify;
  entry->m_linked = true;
  entry->m_next = m_head;
  if (m_head != nullptr) m_head->m_prev = entry;
  m_head = entry;
  ++m_count;
  return true;
}

bool CNotifyList::RemoveNotify(IVokQuotesNotify* notify) {
  for (NOTIFYINFO* entry = m_head; entry != nullptr; entry = entry->m_next) {
    if (entry->m_notify != notify) continue;
    Unlink(entry);
    entry->Release();
    --m_count;
    return true;
  }
  return false;
}

void CNotifyList::Unlink(NOTIFYINFO* entry) {
  // A delivery walk standing on this entry (it holds a reference) still goes on to the successor,
  // so the entry keeps m_next and a reference on it, even if that one is removed next.
  if (entry->m_refs > 1 && entry->m_next != nullptr) {
    entry->m_next->AddRef();
    entry->m_holdsNext = true;
  }
  entry->m_linked = false;
  if (entry->m_prev != nullptr) entry->m_prev->m_next = entry->m_next;
  if (entry->m_next != nullptr) entry->m_next->m_prev = entry->m_prev;
  if (m_head == entry) m_head = entry->m_next;
  entry->m_prev = nullptr;
}

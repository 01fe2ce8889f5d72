// Windows backend of platform/thread_local_slot.h: fiber-local storage, whose callback the system
// runs on the ending thread before the C runtime tears down its thread-local storage.
#include "platform/thread_local_slot.h"

#include <windows.h>

#include <new>

namespace vok {
namespace {

struct Entry {
  void* value;
  CThreadSlot::Deleter deleter;
};

void WINAPI DestroyEntry(void* data) {
  auto* entry = static_cast<Entry*>(data);
  if (entry == nullptr) return;
  entry->deleter(entry->value);
  delete entry;
}

}  // namespace

CThreadSlot::CThreadSlot() : m_index(::FlsAlloc(&DestroyEntry)) {}

CThreadSlot::~CThreadSlot() {
  if (m_index != FLS_OUT_OF_INDEXES) ::FlsFree(m_index);
}

void* CThreadSlot::Value() const {
  if (m_index == FLS_OUT_OF_INDEXES) return nullptr;
  auto* entry = static_cast<Entry*>(::FlsGetValue(m_index));
  return entry == nullptr ? nullptr : entry->value;
}

bool CThreadSlot::SetValue(void* value, Deleter deleter) {
  if (m_index == FLS_OUT_OF_INDEXES) return false;
  auto* entry = new (std::nothrow) Entry{value, deleter};
  if (entry == nullptr) return false;
  if (!::FlsSetValue(m_index, entry)) {
    delete entry;
    return false;
  }
  return true;
}

}  // namespace vok

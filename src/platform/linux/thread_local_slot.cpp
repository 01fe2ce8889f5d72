// Linux backend of platform/thread_local_slot.h: a pthread key whose destructor runs at thread end.
#include "platform/thread_local_slot.h"

#include <pthread.h>

#include <new>

namespace vok {
namespace {

struct Entry {
  void* value;
  CThreadSlot::Deleter deleter;
};

void DestroyEntry(void* data) {
  auto* entry = static_cast<Entry*>(data);
  entry->deleter(entry->value);
  delete entry;
}

constexpr unsigned long kNoKey = ~0ul;

}  // namespace

CThreadSlot::CThreadSlot() : m_index(kNoKey) {
  pthread_key_t key;
  if (::pthread_key_create(&key, &DestroyEntry) == 0) m_index = key;
}

CThreadSlot::~CThreadSlot() {
  if (m_index == kNoKey) return;
  // The key's destructor does not run for the calling thread when the key goes away.
  const auto key = static_cast<pthread_key_t>(m_index);
  if (void* data = ::pthread_getspecific(key)) {
    ::pthread_setspecific(key, nullptr);
    DestroyEntry(data);
  }
  ::pthread_key_delete(key);
}

void* CThreadSlot::Value() const {
  if (m_index == kNoKey) return nullptr;
  auto* entry = static_cast<Entry*>(::pthread_getspecific(static_cast<pthread_key_t>(m_index)));
  return entry == nullptr ? nullptr : entry->value;
}

bool CThreadSlot::SetValue(void* value, Deleter deleter) {
  if (m_index == kNoKey) return false;
  auto* entry = new (std::nothrow) Entry{value, deleter};
  if (entry == nullptr) return false;
  if (::pthread_setspecific(static_cast<pthread_key_t>(m_index), entry) != 0) {
    delete entry;
    return false;
  }
  return true;
}

}  // namespace vok

// Linux backend of platform/thread_local_slot.h: a pthread key whose destructor runs at thread end.
// A key's deletion runs no destructor for the values other threads still hold, so every slot also
// lists its live values, and the slot's destruction destroys those itself. One process-wide lock
// decides who destroys a value, the ending thread or the slot, so it happens exactly once.
#include "platform/thread_local_slot.h"

#include <pthread.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace vok {
namespace {

struct Entry {
  void* value;
  CThreadSlot::Deleter deleter;
};

// The live values of every slot, by key. Never destroyed: threads may end after the static objects.
struct CLiveEntries {
  std::mutex lock;
  std::unordered_map<pthread_key_t, std::vector<Entry*>> bySlot;  // guarded by lock
};

CLiveEntries& Live() {
  static auto* live = new CLiveEntries;  // intentionally leaked, see above
  return *live;
}

// Removes entry from the list of the slot that holds it; false when no slot lists it any more,
// because the slot's destruction has taken it.
bool Unlist(Entry* entry) {
  CLiveEntries& live = Live();
  std::lock_guard<std::mutex> lock(live.lock);
  for (auto& [key, entries] : live.bySlot) {
    auto it = std::find(entries.begin(), entries.end(), entry);
    if (it == entries.end()) continue;
    entries.erase(it);
    return true;
  }
  return false;
}

void Destroy(Entry* entry) {
  entry->deleter(entry->value);
  delete entry;
}

// The key's destructor at thread end. pthread hands over only the value, so the entry is found
// among the slots' lists before it is touched: the slot's destruction may already have freed it.
void DestroyEntry(void* data) {
  auto* entry = static_cast<Entry*>(data);
  if (Unlist(entry)) Destroy(entry);
}

constexpr unsigned long kNoKey = ~0ul;

}  // namespace

CThreadSlot::CThreadSlot() : m_index(kNoKey) {
  pthread_key_t key;
  if (::pthread_key_create(&key, &DestroyEntry) != 0) return;
  m_index = key;
  CLiveEntries& live = Live();
  std::lock_guard<std::mutex> lock(live.lock);
  live.bySlot[key];
}

CThreadSlot::~CThreadSlot() {
  if (m_index == kNoKey) return;
  const auto key = static_cast<pthread_key_t>(m_index);
  std::vector<Entry*> left;
  {
    CLiveEntries& live = Live();
    std::lock_guard<std::mutex> lock(live.lock);
    auto slot = live.bySlot.find(key);
    if (slot != live.bySlot.end()) {
      left.swap(slot->second);
      live.bySlot.erase(slot);
    }
    // Deleted under the lock, so a thread ending now either finds its entry listed above (and it
    // is destroyed here) or has already unlisted and destroys it itself.
    ::pthread_setspecific(key, nullptr);
    ::pthread_key_delete(key);
  }
  for (Entry* entry : left) Destroy(entry);
}

void* CThreadSlot::Value() const {
  if (m_index == kNoKey) return nullptr;
  auto* entry = static_cast<Entry*>(::pthread_getspecific(static_cast<pthread_key_t>(m_index)));
  return entry == nullptr ? nullptr : entry->value;
}

bool CThreadSlot::SetValue(void* value, Deleter deleter) {
  if (m_index == kNoKey) return false;
  const auto key = static_cast<pthread_key_t>(m_index);
  auto* entry = new (std::nothrow) Entry{value, deleter};
  if (entry == nullptr) return false;
  try {
    CLiveEntries& live = Live();
    std::lock_guard<std::mutex> lock(live.lock);
    live.bySlot[key].push_back(entry);
  } catch (const std::bad_alloc&) {
    delete entry;
    return false;
  }
  if (::pthread_setspecific(key, entry) != 0) {
    Unlist(entry);
    delete entry;
    return false;
  }
  return true;
}

}  // namespace vok

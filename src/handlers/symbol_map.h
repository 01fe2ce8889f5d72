// CSymbolMap<V>: the handlers' maps from symbol to value (master records, a thread's callback
// lists). The dispatcher looks a symbol up for every update, so the map avoids what a node-based
// hash map costs there: a division per bucket step and a heap node per entry. Entries sit packed
// in one array; a power-of-two table of (hash, entry index) slots, probed linearly, finds them.
// The order of iteration is unspecified and changes when an entry is erased (the last entry takes
// its place).
//
// Threads: none of its own; the owner's lock or thread guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

template <class V>
class CSymbolMap {
 public:
  struct Entry {
    std::string key;
    V value;
    std::uint32_t hash = 0;
  };

  CSymbolMap() { Rebuild(kMinSlots); }

  // Makes room for `count` entries without a rebuild.
  void Reserve(std::size_t count) {
    std::size_t slots = kMinSlots;
    while (slots / 2 < count) slots *= 2;
    if (slots > m_slots.size()) Rebuild(slots);
    m_entries.reserve(count);
  }

  std::size_t Size() const { return m_entries.size(); }
  bool Empty() const { return m_entries.empty(); }

  // The value stored under key, or null.
  V* Find(std::string_view key) {
    const std::size_t slot = FindSlot(key, Hash(key));
    return slot == kNone ? nullptr : &m_entries[m_slots[slot].index].value;
  }

  // Stores value under key, which must be absent. Throws std::bad_alloc with the map unchanged.
  V& Add(std::string key, V value) {
    if ((m_entries.size() + 1) * 2 > m_slots.size()) Rebuild(m_slots.size() * 2);
    const std::uint32_t hash = Hash(key);
    m_entries.push_back(Entry{std::move(key), std::move(value), hash});
    std::size_t slot = Home(hash);
    while (m_slots[slot].index != kEmpty) slot = (slot + 1) & Mask();
    m_slots[slot] = Slot{hash, static_cast<std::uint32_t>(m_entries.size() - 1)};
    return m_entries.back().value;
  }

  // Removes key; false when it was absent.
  bool Erase(std::string_view key) {
    const std::size_t slot = FindSlot(key, Hash(key));
    if (slot == kNone) return false;
    EraseSlot(slot);
    return true;
  }

  // Removes the entry at `index` (of the iteration); the last entry moves to that index.
  void EraseAt(std::size_t index) { EraseSlot(SlotOfIndex(m_entries[index].hash, static_cast<std::uint32_t>(index))); }

  Entry& At(std::size_t index) { return m_entries[index]; }
  auto begin() { return m_entries.begin(); }
  auto end() { return m_entries.end(); }
  auto begin() const { return m_entries.begin(); }
  auto end() const { return m_entries.end(); }

  void Clear() {
    m_entries.clear();
    for (Slot& slot : m_slots) slot.index = kEmpty;
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t index = kEmpty;
  };
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  static constexpr std::size_t kNone = ~std::size_t{0};
  static constexpr std::size_t kMinSlots = 8;

  // FNV-1a: symbols are short, and the multiplication in Home spreads its bits over the index.
  static std::uint32_t Hash(std::string_view key) {
    std::uint32_t hash = 2166136261u;
    for (const char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
  }
  std::size_t Mask() const { return m_slots.size() - 1; }
  std::size_t Home(std::uint32_t hash) const { return (hash * 0x9E3779B9u) >> m_shift; }

  std::size_t FindSlot(std::string_view key, std::uint32_t hash) const {
    for (std::size_t slot = Home(hash);; slot = (slot + 1) & Mask()) {
      const Slot& s = m_slots[slot];
      if (s.index == kEmpty) return kNone;
      if (s.hash == hash && m_entries[s.index].key == key) return slot;
    }
  }

  std::size_t SlotOfIndex(std::uint32_t hash, std::uint32_t index) const {
    std::size_t slot = Home(hash);
    while (m_slots[slot].index != index) slot = (slot + 1) & Mask();
    return slot;
  }

  void EraseSlot(std::size_t slot) {
    const std::uint32_t index = m_slots[slot].index;
    // Destroyed when the map is whole again: its destructor may run code that looks at the map.
    V erased = std::move(m_entries[index].value);
    // Shift back the slots after it that may not sit past a hole on their probe path.
    std::size_t hole = slot;
    for (std::size_t next = (hole + 1) & Mask(); m_slots[next].index != kEmpty; next = (next + 1) & Mask()) {
      const std::size_t home = Home(m_slots[next].hash);
      if (((next - home) & Mask()) >= ((next - hole) & Mask())) {
        m_slots[hole] = m_slots[next];
        hole = next;
      }
    }
    m_slots[hole].index = kEmpty;
    const auto last = static_cast<std::uint32_t>(m_entries.size() - 1);
    if (index != last) {
      m_slots[SlotOfIndex(m_entries[last].hash, last)].index = index;
      m_entries[index] = std::move(m_entries[last]);
    }
    m_entries.pop_back();
  }

  // A table of `count` slots (a power of two) filled from the entries.
  void Rebuild(std::size_t count) {
    std::vector<Slot> slots(count);
    m_slots.swap(slots);
    m_shift = 32;
    for (std::size_t c = count; c > 1; c /= 2) --m_shift;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
      std::size_t slot = Home(m_entries[i].hash);
      while (m_slots[slot].index != kEmpty) slot = (slot + 1) & Mask();
      m_slots[slot] = Slot{m_entries[i].hash, static_cast<std::uint32_t>(i)};
    }
  }

  std::vector<Slot> m_slots;
  unsigned m_shift = 32;
  std::vector<Entry> m_entries;
};

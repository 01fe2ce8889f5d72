// The 47-bucket field map with head insertion and block-allocated nodes; see vok_field_map.h.
// Node storage is raw until a key takes it, so creating and destroying a map costs almost nothing.
#include "message/vok_field_map.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

// m_buckets is left unset on purpose: only heads of buckets marked in m_used are read.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
VOKFieldMap::VOKFieldMap() noexcept {}

VOKFieldMap::VOKFieldMap(const VOKFieldMap& other) { *this = other; }

VOKFieldMap& VOKFieldMap::operator=(const VOKFieldMap& other) {
  if (this == &other) return *this;
  RemoveAll();
  // Inserting each chain from its tail keeps the source's order, as head insertion reverses it.
  std::vector<const Node*> chain;
  for (int bucket = 0; bucket < kBuckets; ++bucket) {
    chain.clear();
    if (!other.IsUsed(bucket)) continue;
    for (const Node* node = other.m_buckets[bucket]; node != nullptr; node = node->m_next) chain.push_back(node);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) (*this)[(*it)->m_key] = (*it)->m_value;
  }
  return *this;
}

// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init): buckets are copied as m_used marks them
VOKFieldMap::VOKFieldMap(VOKFieldMap&& other) noexcept
    : m_used(other.m_used),
      m_free(other.m_free),
      m_count(other.m_count),
      m_blockUsed(other.m_blockUsed),
      m_blocks(std::move(other.m_blocks)) {
  for (std::uint64_t used = m_used; used != 0; used &= used - 1) {
    const auto bucket = static_cast<std::size_t>(std::countr_zero(used));
    m_buckets[bucket] = other.m_buckets[bucket];
  }
  other.m_used = 0;
  other.m_free = nullptr;
  other.m_count = 0;
  other.m_blockUsed = kBlockSize;
}

VOKFieldMap& VOKFieldMap::operator=(VOKFieldMap&& other) noexcept {
  if (this == &other) return *this;
  RemoveAll();
  m_used = other.m_used;
  for (std::uint64_t used = m_used; used != 0; used &= used - 1) {
    const auto bucket = static_cast<std::size_t>(std::countr_zero(used));
    m_buckets[bucket] = other.m_buckets[bucket];
  }
  m_free = other.m_free;
  m_count = other.m_count;
  m_blockUsed = other.m_blockUsed;
  m_blocks = std::move(other.m_blocks);
  other.m_used = 0;
  other.m_free = nullptr;
  other.m_count = 0;
  other.m_blockUsed = kBlockSize;
  return *this;
}

VOKFieldMap::~VOKFieldMap() {
  DestroyNodes();
  while (m_blocks) m_blocks = std::move(m_blocks->m_next);
}

void VOKFieldMap::AddBlock() {
  auto block = std::make_unique_for_overwrite<Block>();
  block->m_next = std::move(m_blocks);
  m_blocks = std::move(block);
  m_blockUsed = 0;
}

bool VOKFieldMap::RemoveKey(int key) {
  const int bucket = BucketOf(key);
  if (!IsUsed(bucket)) return false;
  for (Node** link = &m_buckets[static_cast<std::size_t>(bucket)]; *link != nullptr; link = &(*link)->m_next) {
    Node* node = *link;
    if (node->m_key != key) continue;
    *link = node->m_next;
    if (m_buckets[static_cast<std::size_t>(bucket)] == nullptr) m_used &= ~(std::uint64_t{1} << bucket);
    std::destroy_at(node);
    m_free = ::new (static_cast<void*>(node)) FreeSlot{m_free};
    --m_count;
    return true;
  }
  return false;
}

void VOKFieldMap::DestroyNodes() {
  for (std::uint64_t used = m_used; used != 0; used &= used - 1) {
    for (Node* node = m_buckets[static_cast<std::size_t>(std::countr_zero(used))]; node != nullptr;) {
      Node* next = node->m_next;
      std::destroy_at(node);
      node = next;
    }
  }
  m_used = 0;
  m_count = 0;
}

void VOKFieldMap::RemoveAll() {
  DestroyNodes();
  m_free = nullptr;
  m_blockUsed = kBlockSize;
  // Released iteratively: a long chain of blocks must not recurse once per block.
  while (m_blocks) m_blocks = std::move(m_blocks->m_next);
}

// The 47-bucket field map with head insertion and block-allocated nodes; see vok_field_map.h.
#include "message/vok_field_map.h"

#include <utility>
#include <vector>

VOKFieldMap::VOKFieldMap() noexcept = default;

VOKFieldMap::VOKFieldMap(const VOKFieldMap& other) { *this = other; }

VOKFieldMap& VOKFieldMap::operator=(const VOKFieldMap& other) {
  if (this == &other) return *this;
  RemoveAll();
  // Inserting each chain from its tail keeps the source's order, as head insertion reverses it.
  std::vector<const Node*> chain;
  for (int bucket = 0; bucket < kBuckets; ++bucket) {
    chain.clear();
    for (const Node* node = other.m_buckets[bucket]; node != nullptr; node = node->m_next) chain.push_back(node);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) (*this)[(*it)->m_key] = (*it)->m_value;
  }
  return *this;
}

VOKFieldMap::VOKFieldMap(VOKFieldMap&& other) noexcept
    : m_buckets(other.m_buckets), m_free(other.m_free), m_count(other.m_count), m_blocks(std::move(other.m_blocks)) {
  other.m_buckets.fill(nullptr);
  other.m_free = nullptr;
  other.m_count = 0;
}

VOKFieldMap& VOKFieldMap::operator=(VOKFieldMap&& other) noexcept {
  if (this == &other) return *this;
  RemoveAll();
  m_buckets = other.m_buckets;
  m_free = other.m_free;
  m_count = other.m_count;
  m_blocks = std::move(other.m_blocks);
  other.m_buckets.fill(nullptr);
  other.m_free = nullptr;
  other.m_count = 0;
  return *this;
}

VOKFieldMap::~VOKFieldMap() { RemoveAll(); }

VOKField* VOKFieldMap::Find(int key) {
  for (Node* node = m_buckets[BucketOf(key)]; node != nullptr; node = node->m_next) {
    if (node->m_key == key) return &node->m_value;
  }
  return nullptr;
}

const VOKField* VOKFieldMap::Find(int key) const { return const_cast<VOKFieldMap*>(this)->Find(key); }

VOKFieldMap::Node* VOKFieldMap::NewNode() {
  if (m_free == nullptr) {
    auto block = std::make_unique<Block>();
    for (int i = kBlockSize - 1; i >= 0; --i) {
      block->m_nodes[i].m_next = m_free;
      m_free = &block->m_nodes[i];
    }
    block->m_next = std::move(m_blocks);
    m_blocks = std::move(block);
  }
  Node* node = m_free;
  m_free = node->m_next;
  return node;
}

VOKField& VOKFieldMap::operator[](int key) {
  if (VOKField* field = Find(key)) return *field;
  Node* node = NewNode();
  Node*& head = m_buckets[BucketOf(key)];
  node->m_key = key;
  node->m_next = head;
  head = node;
  ++m_count;
  return node->m_value;
}

bool VOKFieldMap::RemoveKey(int key) {
  for (Node** link = &m_buckets[BucketOf(key)]; *link != nullptr; link = &(*link)->m_next) {
    Node* node = *link;
    if (node->m_key != key) continue;
    *link = node->m_next;
    node->m_value.Reset();
    node->m_next = m_free;
    m_free = node;
    --m_count;
    return true;
  }
  return false;
}

void VOKFieldMap::RemoveAll() {
  m_buckets.fill(nullptr);
  m_free = nullptr;
  m_count = 0;
  // Released iteratively: a long chain of blocks must not recurse once per block.
  while (m_blocks) m_blocks = std::move(m_blocks->m_next);
}

// The map from field id to field of a message: 47 buckets, a key's bucket is the key taken as
// unsigned modulo 47, new keys are linked at the head of their chain, nodes come in blocks of 10
// and the table never rehashes. Iteration (buckets 0..46, newest key first within a bucket) is the
// order in which writers put fields on the wire, so it is part of the protocol.
#pragma once

#include <array>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "message/vok_field.h"
#include "platform/block_pool.h"

class VOKFieldMap {
 public:
  static constexpr int kBuckets = 47;
  static constexpr int kBlockSize = 10;

  VOKFieldMap() noexcept;
  // Copies keep the source's iteration order.
  VOKFieldMap(const VOKFieldMap& other);
  VOKFieldMap& operator=(const VOKFieldMap& other);
  VOKFieldMap(VOKFieldMap&& other) noexcept;
  VOKFieldMap& operator=(VOKFieldMap&& other) noexcept;
  ~VOKFieldMap();

  int GetCount() const { return m_count; }
  bool IsEmpty() const { return m_count == 0; }

  // Inline, with operator[]: a parse stores every field through them.
  VOKField* Find(int key) {
    const int bucket = BucketOf(key);
    if (!IsUsed(bucket)) return nullptr;
    for (Node* node = m_buckets[static_cast<std::size_t>(bucket)]; node != nullptr; node = node->m_next) {
      if (node->m_key == key) return &node->m_value;
    }
    return nullptr;
  }
  const VOKField* Find(int key) const { return const_cast<VOKFieldMap*>(this)->Find(key); }
  // The field stored under key, created empty (FT_NONE) at the head of its chain when absent.
  VOKField& operator[](int key) { return *FindOrAdd(key, INT_MAX); }
  // As operator[], in one walk of the chain, but an absent key is added only while its chain holds
  // fewer than maxChain keys (0: never); null when it is absent and not added. Parsers use it to
  // bound the work of every lookup.
  VOKField* FindOrAdd(int key, int maxChain) {
    const int bucket = BucketOf(key);
    Node*& head = m_buckets[static_cast<std::size_t>(bucket)];
    int length = 0;
    if (IsUsed(bucket)) {
      for (Node* node = head; node != nullptr; node = node->m_next, ++length) {
        if (node->m_key == key) return &node->m_value;
      }
    } else {
      head = nullptr;
    }
    if (length >= maxChain) return nullptr;
    m_used |= std::uint64_t{1} << bucket;
    Node* node = NewNode(key);
    node->m_next = head;
    head = node;
    ++m_count;
    return &node->m_value;
  }
  // The number of keys in the chain that key belongs to.
  int ChainLength(int key) const {
    const int bucket = BucketOf(key);
    int length = 0;
    if (IsUsed(bucket)) {
      for (const Node* node = m_buckets[static_cast<std::size_t>(bucket)]; node != nullptr; node = node->m_next) {
        ++length;
      }
    }
    return length;
  }
  bool RemoveKey(int key);
  void RemoveAll();

  template <typename F>
  void ForEach(F&& visit) const {
    for (std::uint64_t used = m_used; used != 0; used &= used - 1) {
      const Node* node = m_buckets[static_cast<std::size_t>(std::countr_zero(used))];
      for (; node != nullptr; node = node->m_next) visit(node->m_key, node->m_value);
    }
  }

  // The remainder through a multiply: the compiler may otherwise emit a division where it guesses
  // a path cold, and every lookup of a parse comes here. The factor is exact for every 32-bit key.
  static int BucketOf(int key) {
    static_assert(kBuckets == 47, "the factor below divides by 47");
    const std::uint64_t value = static_cast<std::uint32_t>(key);
    return static_cast<int>(value - (value * 2924233053ULL >> 37) * kBuckets);
  }

 private:
  struct Node {
    Node* m_next = nullptr;
    int m_key = 0;
    VOKField m_value;
  };

  // Nodes are allocated ten at a time as raw storage; a node is constructed when a key takes it
  // and destroyed when the key goes, so an empty map or a half-used block costs no constructors.
  struct Block {
    // From the block pool, as the messages that hold them.
    static void* operator new(std::size_t bytes) { return vok::PoolAllocate(bytes); }
    static void operator delete(void* block) noexcept { vok::PoolFree(block); }
    std::unique_ptr<Block> m_next;
    alignas(Node) unsigned char m_storage[kBlockSize * sizeof(Node)];
  };
  // A released node's storage, linked for reuse.
  struct FreeSlot {
    FreeSlot* m_next;
  };

  Node* NewNode(int key) {
    void* storage = nullptr;
    if (m_free != nullptr) {
      storage = m_free;
      m_free = m_free->m_next;
    } else {
      if (m_blockUsed == kBlockSize) AddBlock();
      storage = m_blocks->m_storage + sizeof(Node) * static_cast<std::size_t>(m_blockUsed++);
    }
    Node* node = ::new (storage) Node;
    node->m_key = key;
    return node;
  }
  // Links a new block at the head of the block list, with none of its slots handed out.
  void AddBlock();
  void DestroyNodes();

  bool IsUsed(int bucket) const { return (m_used >> bucket & 1U) != 0; }

  // Bit b of m_used is set while bucket b has a chain; only those heads are ever read, so a new
  // map initialises one word instead of 47 pointers.
  std::uint64_t m_used = 0;
  std::array<Node*, kBuckets> m_buckets;
  FreeSlot* m_free = nullptr;
  int m_count = 0;
  int m_blockUsed = kBlockSize;  // slots of the newest block handed out
  std::unique_ptr<Block> m_blocks;
};

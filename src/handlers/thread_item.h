// Work items: one heap object per update carrying a private copy of a public record, shared by
// every thread queue it reaches and destroyed by the last receiver's Release. Items are created
// on the dispatcher thread (or a client thread setting a borrow rate) and released on the
// subscribing threads, so the reference count is atomic and the memory comes from the block pool,
// which hands blocks freed by the subscribers back to the dispatcher without a heap lock.
// An item reaches its handler only through the handler's delivery gate, on which it holds a
// reference: an item may outlive its handler, and is then dropped undelivered.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <new>

#include "records/vokquote.h"

class CDeliveryGate;
class CHandler;

class CThreadItem {
 public:
  enum Kind : std::int32_t { kQuote = 1, kLevel2 = 3, kTimeAndSales = 4, kOptions = 5 };

  CThreadItem(const CThreadItem&) = delete;
  CThreadItem& operator=(const CThreadItem&) = delete;

  // Null only for an item made without a handler (tests).
  CDeliveryGate* Gate() const { return m_gate; }
  Kind GetKind() const { return m_kind; }

  // What a newer item may replace in a queue that has fallen behind: level 1 and options records
  // are whole snapshots of one symbol, a level 2 record of one side of one participant. Prints
  // (time and sales) and other items replace nothing. The hash picks candidates, and SameSnapshot
  // decides.
  virtual bool Conflatable() const { return false; }
  virtual std::uint64_t SnapshotHash() const { return 0; }
  virtual bool SameSnapshot(const CThreadItem& /*other*/) const { return false; }

  // Sets the number of queues that hold the item; Distribute does this before the first queue
  // can see it.
  void SetReferences(std::int32_t count) { m_references.store(count, std::memory_order_relaxed); }
  std::int32_t References() const { return m_references.load(std::memory_order_relaxed); }

  // When the item entered its queues, on the monotonic clock: stamped once by Distribute before
  // any queue holds it (every queue it reaches takes it at the same moment), read at delivery;
  // 0 for the items Distribute leaves out of the latency sample.
  static std::int64_t ClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void SetQueuedAt(std::int64_t ns) { m_queuedAtNs = ns; }
  std::int64_t QueuedAt() const { return m_queuedAtNs; }

  // Drops one queue's hold; the last one destroys the item. Safe from several threads at once.
  void Release();

  static void* operator new(std::size_t bytes);
  static void operator delete(void* block) noexcept;

 protected:
  // Takes a reference on the handler's delivery gate.
  CThreadItem(CHandler* handler, Kind kind);
  // Only Release destroys an item: its lifetime is its reference count.
  virtual ~CThreadItem();

 private:
  CDeliveryGate* const m_gate;
  std::atomic<std::int32_t> m_references{0};
  const Kind m_kind;
  std::int64_t m_queuedAtNs = 0;
};

class CQuoteThreadItem final : public CThreadItem {
 public:
  // An item whose record owns separately allocated strings (or none yet).
  explicit CQuoteThreadItem(CHandler* handler) : CThreadItem(handler, kQuote) {}
  // An item holding a copy of `source` whose strings live in the item's own allocation: one heap
  // block per update instead of one per string. Each string keeps the BSTR layout (32-bit byte
  // length before the text, NUL after it), so receivers read it as any BSTR; like every record
  // string handed to a callback it belongs to the component and is never freed by the receiver.
  static CQuoteThreadItem* Create(CHandler* handler, const QUOTERECORD& source);

  QUOTERECORD m_rec{};

  bool Conflatable() const override { return true; }
  std::uint64_t SnapshotHash() const override;
  bool SameSnapshot(const CThreadItem& other) const override;

 private:
  ~CQuoteThreadItem() override;
  bool m_inlineStrings = false;
};

class CL2ThreadItem final : public CThreadItem {
 public:
  explicit CL2ThreadItem(CHandler* handler) : CThreadItem(handler, kLevel2) {}
  // A copy of `source` with its strings in the item's own allocation, as CQuoteThreadItem::Create.
  static CL2ThreadItem* Create(CHandler* handler, const LEVEL2RECORD& source);

  LEVEL2RECORD m_rec{};

  bool Conflatable() const override { return true; }
  std::uint64_t SnapshotHash() const override;
  bool SameSnapshot(const CThreadItem& other) const override;

 private:
  ~CL2ThreadItem() override;
  bool m_inlineStrings = false;
};

class CTSThreadItem final : public CThreadItem {
 public:
  explicit CTSThreadItem(CHandler* handler) : CThreadItem(handler, kTimeAndSales) {}
  TSRECORD m_rec{};

 private:
  ~CTSThreadItem() override;
};

class COptionsThreadItem final : public CThreadItem {
 public:
  explicit COptionsThreadItem(CHandler* handler) : CThreadItem(handler, kOptions) {}
  // A copy of `source` with its strings in the item's own allocation, as CQuoteThreadItem::Create.
  static COptionsThreadItem* Create(CHandler* handler, const OPTIONSRECORD& source);

  OPTIONSRECORD m_rec{};

  bool Conflatable() const override { return true; }
  std::uint64_t SnapshotHash() const override;
  bool SameSnapshot(const CThreadItem& other) const override;

 private:
  ~COptionsThreadItem() override;
  bool m_inlineStrings = false;
};

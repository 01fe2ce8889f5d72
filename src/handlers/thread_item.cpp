// Work items: reference counting and the record strings each kind owns.
#include "handlers/thread_item.h"

#include <cstddef>
#include <cstring>

#include "handlers/delivery_gate.h"
#include "handlers/handler.h"
#include "platform/block_pool.h"
#include "vokcommon/record_copy.h"

CThreadItem::CThreadItem(CHandler* handler, Kind kind)
    : m_gate(handler == nullptr ? nullptr : handler->Gate()), m_kind(kind) {
  if (m_gate != nullptr) m_gate->AddItemRef();
}

CThreadItem::~CThreadItem() {
  if (m_gate != nullptr) m_gate->Release();
}

void CThreadItem::Release() {
  // An item that reached one queue (the common case) is destroyed without writing its count: the
  // sole holder needs no atomic step, and the block goes back to the dispatcher unmodified.
  // acq_rel otherwise: the destroying thread must see every write the other receivers made.
  if (m_references.load(std::memory_order_acquire) <= 1 || m_references.fetch_sub(1, std::memory_order_acq_rel) <= 1) {
    delete this;
  }
}

void* CThreadItem::operator new(std::size_t bytes) { return vok::PoolAllocate(bytes); }

void CThreadItem::operator delete(void* block) noexcept { vok::PoolFree(block); }

namespace {

// FNV-1a over the text of a BSTR, folded into `hash`.
std::uint64_t HashText(std::uint64_t hash, BSTR text) {
  if (text == nullptr) return hash;
  for (const OLECHAR* c = text; *c != 0; ++c) {
    hash ^= static_cast<std::uint64_t>(*c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

bool SameText(BSTR a, BSTR b) {
  const UINT length = SysStringLen(a);
  return length == SysStringLen(b) && (length == 0 || std::memcmp(a, b, length * sizeof(OLECHAR)) == 0);
}

// Items of different handlers (service objects) or kinds never replace each other.
std::uint64_t SeedHash(const CThreadItem& item) {
  return 0xcbf29ce484222325ull ^ reinterpret_cast<std::uintptr_t>(item.Gate()) ^
         static_cast<std::uint64_t>(item.GetKind());
}

}  // namespace

std::uint64_t CQuoteThreadItem::SnapshotHash() const { return HashText(SeedHash(*this), m_rec.bstrSymbol); }

bool CQuoteThreadItem::SameSnapshot(const CThreadItem& other) const {
  const auto* quote = dynamic_cast<const CQuoteThreadItem*>(&other);
  return quote != nullptr && quote->Gate() == Gate() && SameText(quote->m_rec.bstrSymbol, m_rec.bstrSymbol);
}

std::uint64_t COptionsThreadItem::SnapshotHash() const { return HashText(SeedHash(*this), m_rec.bstrSymbol); }

bool COptionsThreadItem::SameSnapshot(const CThreadItem& other) const {
  const auto* option = dynamic_cast<const COptionsThreadItem*>(&other);
  return option != nullptr && option->Gate() == Gate() && SameText(option->m_rec.bstrSymbol, m_rec.bstrSymbol);
}

std::uint64_t CL2ThreadItem::SnapshotHash() const {
  const std::uint64_t hash = HashText(HashText(SeedHash(*this), m_rec.bstrSymbol) * 31, m_rec.bstrMMID);
  return hash * 31 + static_cast<std::uint64_t>(m_rec.side);
}

bool CL2ThreadItem::SameSnapshot(const CThreadItem& other) const {
  const auto* side = dynamic_cast<const CL2ThreadItem*>(&other);
  return side != nullptr && side->Gate() == Gate() && side->m_rec.side == m_rec.side &&
         SameText(side->m_rec.bstrSymbol, m_rec.bstrSymbol) && SameText(side->m_rec.bstrMMID, m_rec.bstrMMID);
}

namespace {

// Room for one BSTR inside a block: 4 bytes of padding and the 4-byte length put the text on an
// 8-byte boundary, as the system allocator does; then the text and its NUL, rounded up to 8.
std::size_t InlineSize(BSTR text) {
  if (text == nullptr) return 0;
  const std::size_t bytes = 8 + (static_cast<std::size_t>(SysStringLen(text)) + 1) * sizeof(OLECHAR);
  return (bytes + 7) & ~std::size_t{7};
}

// Copies `text` to `cursor` (8-byte aligned) in the BSTR layout and moves the cursor past it.
BSTR PlaceInline(unsigned char*& cursor, BSTR text) {
  if (text == nullptr) return nullptr;
  const UINT length = SysStringLen(text);
  const std::uint32_t byteLength = length * sizeof(OLECHAR);
  std::memcpy(cursor + 4, &byteLength, sizeof byteLength);
  auto* chars = reinterpret_cast<OLECHAR*>(cursor + 8);
  std::memcpy(chars, text, byteLength);
  chars[length] = 0;
  unsigned char* start = cursor;
  cursor = start + InlineSize(text);
  return chars;
}

// Makes an item of type Item whose record copies `source`, the listed string members placed after
// the item in the same block.
template <class Item, class Record, class... Strings>
Item* CreateInline(CHandler* handler, const Record& source, Strings... members) {
  // The item is followed by its strings; its size rounded to 8 keeps them aligned.
  constexpr std::size_t kItemSize = (sizeof(Item) + 7) & ~std::size_t{7};
  const std::size_t total = (kItemSize + ... + InlineSize(source.*members));
  void* block = vok::PoolAllocate(total);
  auto* item = ::new (block) Item(handler);
  item->m_rec = source;
  unsigned char* cursor = static_cast<unsigned char*>(block) + kItemSize;
  ((item->m_rec.*members = PlaceInline(cursor, source.*members)), ...);
  return item;
}

}  // namespace

CQuoteThreadItem* CQuoteThreadItem::Create(CHandler* handler, const QUOTERECORD& source) {
  auto* item = CreateInline<CQuoteThreadItem>(handler, source, &QUOTERECORD::bstrSymbol, &QUOTERECORD::bstrMarket,
                                              &QUOTERECORD::bstrCompany, &QUOTERECORD::bstrUnderlier);
  item->m_inlineStrings = true;
  return item;
}

CL2ThreadItem* CL2ThreadItem::Create(CHandler* handler, const LEVEL2RECORD& source) {
  auto* item = CreateInline<CL2ThreadItem>(handler, source, &LEVEL2RECORD::bstrSymbol, &LEVEL2RECORD::bstrMMID,
                                           &LEVEL2RECORD::bstrSource);
  item->m_inlineStrings = true;
  return item;
}

COptionsThreadItem* COptionsThreadItem::Create(CHandler* handler, const OPTIONSRECORD& source) {
  auto* item =
      CreateInline<COptionsThreadItem>(handler, source, &OPTIONSRECORD::bstrSymbol, &OPTIONSRECORD::bstrUnderlier);
  item->m_inlineStrings = true;
  return item;
}

CQuoteThreadItem::~CQuoteThreadItem() {
  // Inline strings go with the block.
  if (!m_inlineStrings) FreeQuoteRecord(m_rec);
}

CL2ThreadItem::~CL2ThreadItem() {
  if (m_inlineStrings) return;
  SysFreeString(m_rec.bstrSymbol);
  SysFreeString(m_rec.bstrMMID);
  SysFreeString(m_rec.bstrSource);
}

CTSThreadItem::~CTSThreadItem() {
  SysFreeString(m_rec.bstrSymbol);
  SysFreeString(m_rec.bstrExchange);
}

COptionsThreadItem::~COptionsThreadItem() {
  if (!m_inlineStrings) FreeOptionsRecord(m_rec);
}

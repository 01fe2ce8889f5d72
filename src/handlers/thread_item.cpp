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
  if (m_gate != nullptr) m_gate->AddRef();
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

}  // namespace

bool CThreadItem::Conflatable() const { return m_kind == kQuote || m_kind == kLevel2 || m_kind == kOptions; }

std::uint64_t CThreadItem::SnapshotHash() const {
  std::uint64_t hash = 0xcbf29ce484222325ull ^ reinterpret_cast<std::uintptr_t>(m_gate) ^ static_cast<std::uint64_t>(m_kind);
  switch (m_kind) {
    case kQuote:
      return HashText(hash, static_cast<const CQuoteThreadItem*>(this)->m_rec.bstrSymbol);
    case kOptions:
      return HashText(hash, static_cast<const COptionsThreadItem*>(this)->m_rec.bstrSymbol);
    case kLevel2: {
      const LEVEL2RECORD& rec = static_cast<const CL2ThreadItem*>(this)->m_rec;
      hash = HashText(HashText(hash, rec.bstrSymbol) * 31, rec.bstrMMID);
      return hash * 31 + static_cast<std::uint64_t>(rec.side);
    }
    default:
      return hash;
  }
}

bool CThreadItem::SameSnapshot(const CThreadItem& other) const {
  if (m_gate != other.m_gate || m_kind != other.m_kind) return false;
  switch (m_kind) {
    case kQuote:
      return SameText(static_cast<const CQuoteThreadItem*>(this)->m_rec.bstrSymbol,
                      static_cast<const CQuoteThreadItem&>(other).m_rec.bstrSymbol);
    case kOptions:
      return SameText(static_cast<const COptionsThreadItem*>(this)->m_rec.bstrSymbol,
                      static_cast<const COptionsThreadItem&>(other).m_rec.bstrSymbol);
    case kLevel2: {
      const LEVEL2RECORD& a = static_cast<const CL2ThreadItem*>(this)->m_rec;
      const LEVEL2RECORD& b = static_cast<const CL2ThreadItem&>(other).m_rec;
      return a.side == b.side && SameText(a.bstrSymbol, b.bstrSymbol) && SameText(a.bstrMMID, b.bstrMMID);
    }
    default:
      return false;
  }
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

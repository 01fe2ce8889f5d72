// Tests of the level 1 work item that carries its record's strings in its own allocation: each
// string reads back as a BSTR with its length, text and NUL, and a null string stays null.
#include "handlers/thread_item.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/bstr.h"

namespace {

TEST(ThreadItem, QuoteItemCopiesTheRecordWithItsStringsInOneBlock) {
  vok::CBstr symbol = vok::CBstr::FromNarrow("XYZ");
  vok::CBstr market = vok::CBstr::FromNarrow("");
  vok::CBstr underlier = vok::CBstr::FromNarrow("Ünderlier with a longer text");
  QUOTERECORD source{};
  source.bstrSymbol = symbol.Get();
  source.bstrMarket = market.Get();
  source.bstrUnderlier = underlier.Get();
  source.dLast = 10.5;
  source.lVolume = 42;

  CQuoteThreadItem* item = CQuoteThreadItem::Create(nullptr, source);
  const QUOTERECORD& rec = item->m_rec;
  EXPECT_EQ(rec.dLast, 10.5);
  EXPECT_EQ(rec.lVolume, 42);
  EXPECT_EQ(rec.bstrCompany, nullptr);
  for (auto [copy, original] :
       {std::pair{rec.bstrSymbol, source.bstrSymbol}, std::pair{rec.bstrMarket, source.bstrMarket},
        std::pair{rec.bstrUnderlier, source.bstrUnderlier}}) {
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, original);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(copy) % 8, 0u);
    ASSERT_EQ(SysStringLen(copy), SysStringLen(original));
    EXPECT_EQ(vok::CBstr::ToNarrow(copy), vok::CBstr::ToNarrow(original));
    EXPECT_EQ(copy[SysStringLen(copy)], 0);
  }
  item->SetReferences(1);
  item->Release();
}

}  // namespace

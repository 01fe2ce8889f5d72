// Record copies own their strings; the options copy is the same code, read back by the options
// handler tests.
#include "vokcommon/record_copy.h"

#include <gtest/gtest.h>

#include <string>

namespace {

BSTR Make(const char16_t* text) { return SysAllocString(reinterpret_cast<const OLECHAR*>(text)); }

std::u16string Text(BSTR text) {
  return text == nullptr ? u"<null>" : std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

TEST(RecordCopy, CopiesEveryMemberAndDuplicatesTheStrings) {
  QUOTERECORD source{};
  source.bstrSymbol = Make(u"XYZ");
  source.bstrCompany = Make(u"XYZ Corp");
  source.dLast = 10.5;
  source.lVolume = 7;
  source.putcall = pcPut;
  QUOTERECORD target{};
  target.bstrMarket = Make(u"OLD");  // replaced by the source's null market
  QUOTERECORD* out = &target;
  SetQuoteRecord(out, &source);
  EXPECT_NE(target.bstrSymbol, source.bstrSymbol);
  SysFreeString(source.bstrSymbol);
  SysFreeString(source.bstrCompany);
  EXPECT_EQ(Text(target.bstrSymbol), u"XYZ");
  EXPECT_EQ(Text(target.bstrCompany), u"XYZ Corp");
  EXPECT_EQ(target.bstrMarket, nullptr);
  EXPECT_EQ(target.bstrUnderlier, nullptr);
  EXPECT_EQ(target.dLast, 10.5);
  EXPECT_EQ(target.lVolume, 7);
  EXPECT_EQ(target.putcall, pcPut);
  SysFreeString(target.bstrSymbol);
  SysFreeString(target.bstrCompany);

  QUOTERECORD* none = nullptr;
  SetQuoteRecord(none, &source);  // a null target is left alone
  EXPECT_EQ(none, nullptr);
}

}  // namespace

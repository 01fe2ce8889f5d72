// Tests of HashKey: fixed values (the hash must not change between builds or platforms) and the
// same result from char16_t and wchar_t texts.
#include "vokcommon/hash_key.h"

#include <gtest/gtest.h>

namespace {

TEST(HashKey, GivesFixedValuesOnEveryPlatform) {
  EXPECT_EQ(HashKey(static_cast<const char16_t*>(nullptr)), 0u);
  EXPECT_EQ(HashKey(static_cast<const wchar_t*>(nullptr)), 0u);
  EXPECT_EQ(HashKey(u""), 0u);
  EXPECT_EQ(HashKey(u"A"), 65u);
  EXPECT_EQ(HashKey(u"AB"), 65u * 33 + 66);
  EXPECT_NE(HashKey(u"AB"), HashKey(u"BA"));
  // Long enough to wrap 32 bits: the value is pinned so that a change of arithmetic shows.
  EXPECT_EQ(HashKey(u"+MSFT-ABCDEFGHIJ"), 2430914537u);
  EXPECT_EQ(HashKey(u"\u00e9\u4e2d"), (0xe9u * 33) + 0x4e2du);

  const wchar_t* wideSymbols[] = {L"MSFT", L"+IBM-AB", L"/ESZ6", L"\u00e9\u4e2d"};
  const char16_t* utf16Symbols[] = {u"MSFT", u"+IBM-AB", u"/ESZ6", u"\u00e9\u4e2d"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(HashKey(wideSymbols[i]), HashKey(utf16Symbols[i])) << i;
}

}  // namespace

// Narrow <-> wide conversion: round trips and, on Linux, malformed UTF-8 and lone surrogates.
#include "platform/text.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

TEST(TextTest, RoundTripsTextAndReplacesMalformedInput) {
  for (const std::string sample : {"", "+ABC-2024 C 100", "\xc3\xa9t\xc3\xa9", "\xf0\x9f\x93\x88 up"}) {
#ifdef _WIN32
    if (sample.find_first_of("\xc3\xf0") != std::string::npos) continue;
#endif
    EXPECT_EQ(NarrowFromWide(WideFromNarrow(sample)), sample) << sample;
  }
#ifndef _WIN32
  EXPECT_EQ(WideFromNarrow("\xf0\x9f\x93\x88").size(), 2u);  // a surrogate pair
  const struct {
    std::string narrow;
    std::u16string wide;
  } cases[] = {
      {"a\x80z", u"a\uFFFDz"},            // stray continuation byte
      {"\xc0\xaf", u"\uFFFD\uFFFD"},      // overlong '/'
      {"\xed\xa0\x80", u"\uFFFD"},        // encoded surrogate: one bad sequence
      {"ab\xe2\x82", u"ab\uFFFD\uFFFD"},  // truncated at the end
      {"\xe2(x", u"\uFFFD(x"},            // broken sequence keeps what follows
      {"\xff", u"\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(WideFromNarrow(c.narrow), c.wide) << c.narrow;
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00};
  EXPECT_EQ(NarrowFromWide(WideStringView(lone, 4)),
            "a\xef\xbf\xbd"
            "b\xef\xbf\xbd");
  EXPECT_EQ(NarrowFromWide(nullptr, 5), "");
#endif
}

}  // namespace
}  // namespace vok

#include "vkdll/vkdll.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vkdll/trace.h"

namespace {

TEST(FormatNumber, FormatsStrikePricesAndCutsToBuffer) {
  const struct {
    double value;
    int format;
    const char* expected;
  } cases[] = {
      {52.5, 2, "52.5"}, {100.0, 2, "100"},  {7.125, 2, "7.125"},           {0.0, 2, "0"},
      {-0.0001, 2, "0"}, {12.5, 1, "12.50"}, {1.23456789, 0, "1.23456789"}, {10.0, 0, "10"},
  };
  for (const auto& c : cases) {
    char buffer[24];
    VOK_FormatNumber(c.value, buffer, sizeof buffer, c.format);
    EXPECT_STREQ(buffer, c.expected) << c.value << " format " << c.format;
  }
  char tiny[4];
  VOK_FormatNumber(123456.0, tiny, sizeof tiny, 2);
  EXPECT_STREQ(tiny, "123");
}

TEST(TransformPassword, IsLowercaseSha256HexAndNeverTraced) {
  std::string traced;
  vok::CScopedTraceSink sink([&](int, std::string_view text) { traced.append(text); });
  char target[65];
  std::memset(target, 'z', sizeof target);
  VOK_TransformPassword("abc", target);
  EXPECT_STREQ(target, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  VOK_TransformPassword("", target);
  EXPECT_STREQ(target, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(traced.find("abc"), std::string::npos);
}

}  // namespace

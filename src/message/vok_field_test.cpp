// Conversions between field kinds, the double text of the writers, and texts through copies and moves.
// The double text is checked against printf's "%.8f" on many random values.
#include "message/vok_field.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

#include "message/vok_group.h"
#include "message/vok_message.h"

namespace {

TEST(VOKField, DoubleTextIsPrintfWithZerosTrimmed) {
  // No trailing zeros or point, no zero before the point, a sign kept when it rounds to zero.
  const struct {
    double value;
    const char* text;
  } cases[] = {{10.0, "10"}, {0.25, ".25"}, {-0.5, "-0.5"}, {-0.000000004, "-0"}};
  for (const auto& c : cases) {
    std::string text = "x";
    AppendDoubleText(c.value, text);
    EXPECT_EQ(text, std::string("x") + c.text) << c.value;
  }

  // Any double, as random values on both sides of the fast path's limits, random bit patterns
  // (every exponent, NaNs and infinities among them) and the extremes, gives exactly the trimmed
  // "%.8f" of the C library. Not-a-number and infinity are written the same on every platform
  // ("nan", "-inf"), where C libraries differ.
  auto expectPrintf = [](double value) {
    char expected[400];
    std::snprintf(expected, sizeof expected, "%.8f", value);
    if (!std::isfinite(value)) {
      std::snprintf(expected, sizeof expected, "%s%s", std::signbit(value) ? "-" : "",
                    std::isnan(value) ? "nan" : "inf");
    }
    std::string text = expected;
    if (text.find('.') != std::string::npos) {
      while (text.size() > 1 && text.back() == '0') text.pop_back();
      if (text.size() > 1 && text.back() == '.') text.pop_back();
    }
    if (text.size() > 1 && text[0] == '0') text.erase(0, 1);
    std::string actual;
    AppendDoubleText(value, actual);
    ASSERT_EQ(actual, text) << expected;
  };
  std::uint64_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return seed;
  };
  for (int i = 0; i < 20000; ++i) {
    const double scale[] = {1e-9, 1e-4, 1.0, 1e3, 1e7, 16777215.0, 3e7, 1e12};
    double value = static_cast<double>(next() >> 11) / 9007199254740992.0 * scale[i % 8];
    if (i % 3 == 0) value = static_cast<double>(next() % 100000000) / 1e8 * scale[i % 8];
    if (i % 2 == 0) value = -value;
    expectPrintf(value);
    expectPrintf(std::bit_cast<double>(next()));
  }
  for (double value : {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                       std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                       -std::numeric_limits<double>::quiet_NaN(), 16777216.0, 16777215.999999999, 9007199254740993.0,
                       0.000000005, 0.000000015, -0.000000005, 0.125000005, 99999999.999999995, 1e22, 1e23}) {
    expectPrintf(value);
    expectPrintf(-value);
  }
}

// Every read below succeeds; the values are what each kind gives in the other.
template <class T>
T Read(const VOKField& field, bool (VOKField::*read)(T&) const) {
  T value{};
  EXPECT_TRUE((field.*read)(value));
  return value;
}

TEST(VOKField, ConvertsBetweenKindsOnRead) {
  VOKField text;
  text.SetString("12.5");
  EXPECT_EQ(Read(text, &VOKField::AsDouble), 12.5);
  EXPECT_EQ(Read(text, &VOKField::AsInt), 12);
  EXPECT_EQ(Read(text, &VOKField::AsUInt64), 12u);

  const struct {
    double value;
    int asInt;
  } truncations[] = {{3.99, 3}, {-3.99, -3}, {1e20, 2147483647}, {-1e20, -2147483647 - 1}};
  for (const auto& c : truncations) {
    VOKField field;
    field.SetDouble(c.value);
    EXPECT_EQ(Read(field, &VOKField::AsInt), c.asInt) << c.value;
  }

  VOKField negative;
  negative.SetInt(-1);
  EXPECT_EQ(Read(negative, &VOKField::AsUInt64), UINT64_MAX);  // sign-extended
  EXPECT_EQ(Read(negative, &VOKField::AsDouble), -1.0);

  VOKField big;
  big.SetUInt64(5000000000ULL);
  EXPECT_EQ(Read(big, &VOKField::AsInt), 705032704);  // low 32 bits
  EXPECT_EQ(Read(big, &VOKField::AsDouble), 5000000000.0);
  std::string s;
  ASSERT_TRUE(big.AsString(s));
  EXPECT_EQ(s, "5000000000");
}

TEST(VOKField, BufferFormCutsTextAndIntegersButRefusesLongDoubles) {
  VOKField text, number, price, longPrice, wide;
  text.SetString("ABCDEF");
  number.SetInt(123456);
  price.SetDouble(1.5);
  longPrice.SetDouble(12.25);
  wide.SetUInt64(1);
  // What fits a buffer of four, or null: refused.
  const std::pair<const VOKField*, const char*> cases[] = {
      {&text, "ABC"}, {&number, "123"}, {&price, "1.5"}, {&longPrice, nullptr}, {&wide, nullptr}};
  char buffer[4];
  for (const auto& [field, cut] : cases) {
    ASSERT_EQ(field->AsString(buffer, 4), cut != nullptr) << field->GetKind();
    if (cut != nullptr) {
      EXPECT_STREQ(buffer, cut);
    }
  }
  EXPECT_FALSE(text.AsString(buffer, 0));
}

// Texts on both sides of the in-field limit, replacing every kind of earlier payload, copied,
// moved and set from (a part of) the field's own text.
TEST(VOKField, TextsOfEveryLengthSurviveReplacementCopyMoveAndAliasing) {
  const std::string texts[] = {"", "A", std::string(VOKField::kInlineText, 'i'),
                               std::string(VOKField::kInlineText + 1, 'h'), std::string(300, 'x') + "END"};
  enum Start { kNone, kInt, kShort, kLong, kGroup };
  for (const std::string& text : texts) {
    for (const Start start : {kNone, kInt, kShort, kLong, kGroup}) {
      SCOPED_TRACE(std::to_string(text.size()) + " after " + std::to_string(start));
      VOKField field;
      if (start == kInt) field.SetInt(5);
      if (start == kShort) field.SetString("short");
      if (start == kLong) field.SetString(std::string(100, 'L'));
      if (start == kGroup) field.SetGroup(std::make_unique<VOKGroup>());
      field.SetString(text);
      EXPECT_EQ(field.GetKind(), FT_STRING);
      EXPECT_EQ(field.GetGroup(), nullptr);
      EXPECT_EQ(field.GetText(), text);

      VOKField copy(field);
      field.SetString(field.GetText());  // its own text
      EXPECT_EQ(field.GetText(), text);
      if (!text.empty()) {
        field.SetString(field.GetText().substr(1));  // overlapping its own text
        EXPECT_EQ(field.GetText(), text.substr(1));
      }
      EXPECT_EQ(copy.GetText(), text);  // a copy does not share the text

      VOKField moved(std::move(copy));
      EXPECT_EQ(moved.GetText(), text);
      EXPECT_EQ(copy.GetKind(), FT_NONE);  // NOLINT(bugprone-use-after-move): a move empties the source
      EXPECT_EQ(copy.GetText(), "");
      std::string none = "keep";
      EXPECT_FALSE(copy.AsString(none));  // an empty field reads nothing
      EXPECT_EQ(none, "keep");
      VOKField assigned;
      assigned.SetString(std::string(50, 'a'));
      assigned = std::move(moved);
      EXPECT_EQ(assigned.GetText(), text);
      std::string read;
      ASSERT_TRUE(assigned.AsString(read));
      EXPECT_EQ(read, text);
      const VOKField& self = assigned;
      assigned = self;  // self-assignment keeps the value
      EXPECT_EQ(assigned.GetText(), text);
      assigned.SetUInt64(7);
      EXPECT_EQ(assigned.GetText(), "");
    }
  }
}

}  // namespace

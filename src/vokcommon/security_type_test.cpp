// Tests of GetSecurityType: only a leading '+' marks an option.
#include "vokcommon/security_type.h"

#include <gtest/gtest.h>

namespace {

TEST(SecurityType, OnlyALeadingPlusMarksAnOption) {
  struct Case {
    const char* symbol;
    enumSecurityType type;
  };
  const Case cases[] = {
      {"+IBM-AB", stOption}, {"+", stOption},   {"IBM", stEquity}, {"", stEquity},
      {" +IBM", stEquity},   {"/ES", stEquity}, {"2", stEquity},   {"IBM+", stEquity},
  };
  for (const auto& c : cases) EXPECT_EQ(GetSecurityType(c.symbol), c.type) << c.symbol;
}

}  // namespace

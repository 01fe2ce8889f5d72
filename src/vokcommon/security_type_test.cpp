// Tests of GetSecurityType: only a leading '+' marks an option.
#include "vokcommon/security_type.h"

#include <gtest/gtest.h>

namespace {

TEST(SecurityType, OnlyALeadingPlusMarksAnOption) {
  for (const char* option : {"+IBM-AB", "+"}) EXPECT_EQ(GetSecurityType(option), stOption) << option;
  for (const char* equity : {"IBM", "", " +IBM", "/ES", "2", "IBM+"})
    EXPECT_EQ(GetSecurityType(equity), stEquity) << equity;
}

}  // namespace

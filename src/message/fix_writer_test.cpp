// Writing the FIX form: header, body length and checksum, message types, translated fields,
// sending time, groups and order adjustments.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "message/message_test_util.h"
#include "message/vok_message.h"

namespace {

using vok::test::Parse;

// Splits "8=..|9=..|...|10=nnn|\n" into its fields ('|' for SOH) and checks length and checksum.
std::string Checked(const std::string& fix) {
  EXPECT_EQ(fix.substr(0, 10), "8=FIX.4.1\x01");
  EXPECT_EQ(fix.back(), '\n');
  const std::size_t bodyStart = fix.find('\x01', 10) + 1;
  const std::size_t trailer = fix.rfind("10=");
  EXPECT_EQ(std::stoi(fix.substr(12, bodyStart - 13)), static_cast<int>(trailer - bodyStart));
  int sum = 0;
  for (std::size_t i = 0; i < trailer; ++i) sum += static_cast<signed char>(fix[i]);
  char expected[8];
  std::snprintf(expected, sizeof expected, "%03d", sum % 256);
  EXPECT_EQ(fix.substr(trailer + 3, fix.size() - trailer - 5), expected);
  std::string body = fix.substr(bodyStart, trailer - bodyStart);
  for (char& c : body) c = c == '\x01' ? '|' : c;
  return body;
}

std::string WithoutTimes(std::string body) {
  return std::regex_replace(body, std::regex("(52|60)=\\d{8}-\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\|"), "$1=T|");
}

TEST(FixWriter, WritesHeaderTypeAndSendingTime) {
  const struct {
    char type;
    int testField;  // 1143, 0 = absent
    const char* body;
  } cases[] = {
      {'9', 0, "35=0|52=T|"},       {'9', 1, "35=1|52=T|"},      {'L', 0, "35=A|52=T|"},     {'B', 0, "35=t|52=T|"},
      {'H', 0, "35=BB|52=T|60=T|"}, {'T', 0, "35=G|52=T|60=T|"}, {'1', 0, "35=|52=T|60=T|"},
  };
  for (const auto& c : cases) {
    VOKMessage message;
    message.SetType(c.type);
    if (c.testField != 0) message.SetInt(1143, c.testField);
    EXPECT_EQ(WithoutTimes(Checked(message.ToFIX())), c.body) << c.type;
  }
}

TEST(FixWriter, TranslatesFieldsAndCodes) {
  const VOKMessage order = Parse(
      "O|132=BROKER;1003=XYZ;1001=10001;1007=10030;1004=12.5;1002=300;1005=9999;2038=C;"
      "2040=2026;2036=3;1021=01/15/2026-02:15:30;7777=1;1017=-0.000000004\n");
  // 7777 has no FIX tag and 1005 no FIX code for 9999; 132 is written once, as 56; 2040 carries
  // the month of 2036; a negative price that rounds to zero keeps its sign.
  EXPECT_EQ(WithoutTimes(Checked(order.ToFIX())),
            "35=D|56=BROKER|54=2|38=300|55=XYZ|201=1|44=12.5|200=202603|40=2|99=-0|52=T|60=T|");
}

TEST(FixWriter, AdjustsOrderFieldsWithoutChangingTheMessage) {
  const VOKMessage order = Parse("O|1007=10044;1026=12.0;1004=10.0;1008=10047;1037=X\n");
  EXPECT_EQ(WithoutTimes(Checked(order.ToFIX())), "35=D|389=2|18=X G|44=10|40=2|52=T|60=T|");
  std::string flags;
  order.GetString(1037, flags);
  EXPECT_EQ(flags, "X");
  EXPECT_FALSE(order.HasField(1036));

  VOKMessage reserve = Parse("O|1007=10066\n");
  EXPECT_EQ(WithoutTimes(Checked(reserve.ToFIX())), "35=D|18=R|40=P|52=T|60=T|");
  reserve.SetInt(1007, 10077);
  EXPECT_NE(Checked(reserve.ToFIX()).find("|18=C|"), std::string::npos);
}

TEST(FixWriter, WritesGroupsAfterTheSendingTime) {
  const VOKMessage order = Parse("O|1003=XYZ;1089=2;1507=L1;1505=10000;1500=T;1507=L2;1505=10001;1500=T\n");
  EXPECT_EQ(WithoutTimes(Checked(order.ToFIX())),
            "35=AB|55=XYZ|52=T|60=T|555=2|654=L1|624=1|600=T|654=L2|624=2|600=T|");
}

}  // namespace

#include "wire_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "commands.h"

namespace vok::cli {
namespace {

TEST(WireDecoder, DescribesLineAndFixFormsFieldByField) {
  const std::string line = "2|1003=XYZ;2016=NSDQ;2018=12.5;2019=300;2017=20010";
  EXPECT_EQ(DecodeLine(line, 3, false),
            "line 3: 2 level 2 data (5 fields)\n"
            "  1003   symbol          string  XYZ\n"
            "  2016   market maker    string  NSDQ\n"
            "  2017   side            int     20010\n"
            "  2018   price           double  12.5\n"
            "  2019   size            int     300\n");
  EXPECT_EQ(DecodeLine(line, 3, true), R"({"kind":"message","line":3,"type":"2","name":"level 2 data","fields":[)"
                                       R"({"id":1003,"name":"symbol","type":"string","value":"XYZ"},)"
                                       R"({"id":2016,"name":"market maker","type":"string","value":"NSDQ"},)"
                                       R"({"id":2017,"name":"side","type":"int","value":20010},)"
                                       R"({"id":2018,"name":"price","type":"double","value":12.5},)"
                                       R"({"id":2019,"name":"size","type":"int","value":300}]})"
                                       "\n");

  // FIX: an execution report, read through the FIX tag translation.
  std::string fields =
      "35=8\x01"
      "150=2\x01"
      "31=12.5\x01"
      "32=300\x01"
      "55=XYZ\x01";
  std::string fix =
      "8=FIX.4.1\x01"
      "9=" +
      std::to_string(fields.size()) + "\x01" + fields;
  int sum = 0;
  for (char c : fix) sum += static_cast<signed char>(c);
  char trailer[16];
  std::snprintf(trailer, sizeof trailer, "10=%03d\x01", sum % 256);
  fix += trailer;
  EXPECT_EQ(DecodeLine(fix, 1, false),
            "line 1: E (3 fields)\n"
            "  1002                   int     300\n"
            "  1003   symbol          string  XYZ\n"
            "  1004                   double  12.5\n");
}

TEST(WireDecoder, NeverShowsThePasswordAndReportsUnreadableLines) {
  const std::string logon = "L|100=alice;133=2bb80d537b1da3e38bd30361aa855686bde0eacd7162fef6a25fe97bf527a25b";
  for (bool json : {false, true}) {
    const std::string text = DecodeLine(logon, 1, json);
    EXPECT_EQ(text.find("2bb80d"), std::string::npos) << text;
    EXPECT_NE(text.find("********"), std::string::npos) << text;
    EXPECT_NE(text.find("alice"), std::string::npos) << text;
  }
  EXPECT_EQ(DecodeLine("garbage", 7, false), "line 7: nothing readable\n");
  EXPECT_EQ(DecodeLine("garbage", 7, true), R"({"kind":"message","line":7,"type":null,"name":"","fields":[]})"
                                            "\n");
  EXPECT_EQ(DecodeLine("9|", 2, false), "line 2: 9 heartbeat (0 fields)\n");
}

TEST(WireDecoder, DecodeCommandSkipsOverlongAndEmptyLinesAndNumbersTheRest) {
  std::string input = "9|\r\n\n" + std::string((1 << 20) + 10, 'x') + "\nG|8055=VokSim";  // no final line feed
  std::istringstream in(input);
  std::ostringstream out, err;
  EXPECT_EQ(RunDecode(SArguments{}, in, out, err), 0);
  EXPECT_EQ(out.str(),
            "line 1: 9 heartbeat (0 fields)\n"
            "line 4: G logon reply (1 field)\n"
            "  8055   server name     string  VokSim\n");
  EXPECT_EQ(err.str(), "vokquote: line 3 is longer than 1048576 bytes; skipped\n");
}

}  // namespace
}  // namespace vok::cli

// The wire decoder in-process: each input form described field by field, the password masked,
// and the decode command's line-numbered complaints on stderr.
#include "wire_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "commands.h"

namespace vok::cli {
namespace {

// A FIX 4.1 message of these fields (each ended by '|') with separator between fields and a correct
// checksum, or one off by one.
std::string Fix(std::string fields, char separator, bool badChecksum = false) {
  std::replace(fields.begin(), fields.end(), '|', '\x01');
  std::string fix = "8=FIX.4.1\0019=" + std::to_string(fields.size()) + "\001" + fields;
  unsigned sum = 0;
  for (char c : fix) sum += static_cast<unsigned char>(c);
  char trailer[16];
  std::snprintf(trailer, sizeof trailer, "10=%03u\x01", (sum + (badChecksum ? 1 : 0)) % 256);
  fix += trailer;
  std::replace(fix.begin(), fix.end(), '\x01', separator);
  return fix;
}

std::string Decoded(const std::string& line, int number, bool json) {
  std::string out, error;
  EXPECT_EQ(DecodeLine(line, number, json, out, error), EDecodeResult::Message) << error;
  return out;
}

TEST(WireDecoder, DescribesLineFixAndTraceFormsFieldByField) {
  const std::string level2 =
      "line 3: 2 level 2 data (5 fields)\n"
      "  1003   symbol          string  XYZ\n"
      "  2016   market maker    string  NSDQ\n"
      "  2017   side            int     20010\n"
      "  2018   price           double  12.5\n"
      "  2019   size            int     300\n";
  const std::string line = "2|1003=XYZ;2016=NSDQ;2018=12.5;2019=300;2017=20010";
  EXPECT_EQ(Decoded(line, 3, false), level2);
  EXPECT_EQ(Decoded("  " + line + " \t", 3, false), level2);
  EXPECT_EQ(Decoded("2026-12-06 07:20:01.123 [1a2b] 2 L2:  " + line, 3, false),
            "line 3: 2 level 2 data, trace L2 (5 fields)\n" + level2.substr(level2.find('\n') + 1));
  EXPECT_EQ(Decoded(line, 3, true), R"({"kind":"message","line":3,"type":"2","name":"level 2 data","fields":[)"
                                    R"({"id":1003,"name":"symbol","type":"string","value":"XYZ"},)"
                                    R"({"id":2016,"name":"market maker","type":"string","value":"NSDQ"},)"
                                    R"({"id":2017,"name":"side","type":"int","value":20010},)"
                                    R"({"id":2018,"name":"price","type":"double","value":12.5},)"
                                    R"({"id":2019,"name":"size","type":"int","value":300}]})"
                                    "\n");

  // An execution report through the FIX tag translation, whichever separator the capture used.
  const std::string fields = "35=8|150=2|31=12.5|32=300|55=XYZ|";
  const std::string execution =
      "line 1: E, FIX 35=8 (3 fields)\n"
      "  32     LastShares         1002   quantity        int     300\n"
      "  55     Symbol             1003   symbol          string  XYZ\n"
      "  31     LastPx             1004   price           double  12.5\n";
  for (char separator : {'\x01', '|', '^'}) EXPECT_EQ(Decoded(Fix(fields, separator), 1, false), execution);
  EXPECT_NE(Decoded(Fix(fields, '|'), 1, true)
                .find(R"("id":1003,"name":"symbol","type":"string","fixTag":55,)"
                      R"("fixName":"Symbol","value":"XYZ")"),
            std::string::npos);
  const std::string logon =
      Decoded("L|100=alice;133=2bb80d537b1da3e38bd30361aa855686bde0eacd7162fef6a25fe97bf527a25b", 1, true);
  EXPECT_EQ(logon.find("2bb80d"), std::string::npos) << logon;
  EXPECT_NE(logon.find(R"("value":"********")"), std::string::npos) << logon;
}

TEST(WireDecoder, DecodeCommandSaysBadChecksumsInLineAndUnreadableLinesByNumberOnStderr) {
  const std::string input = "9|\r\n\n" + std::string((1 << 20) + 10, 'x') + "\n" + Fix("35=0|", '|', true) + "\n" +
                            "not a message\n"
                            "2026-12-06 07:20:01.123 [1a2b] 3 Quotes: CONNECTED\n"
                            "8=FIX.4.1 35=0\n"
                            "G|8055=VokSim";  // no final line feed
  std::istringstream in(input);
  std::ostringstream out, err;
  EXPECT_EQ(RunDecode(SArguments{}, in, out, err), 0);
  EXPECT_EQ(out.str(),
            "line 1: 9 heartbeat (0 fields)\n"
            "line 4: 9 heartbeat, FIX 35=0 (1 field) BAD CHECKSUM: 10=161, the message sums to 160\n"
            "  -                         1143                   string  0\n"
            "line 8: G logon reply (1 field)\n"
            "  8055   server name     string  VokSim\n");
  EXPECT_EQ(err.str(),
            "vokquote: line 3 is longer than 1048576 bytes; skipped\n"
            "vokquote: line 5: neither the line form (T|id=value;...) nor FIX (8=FIX...)\n"
            "vokquote: line 7: FIX without separators between its fields (SOH, '|' or '^')\n"
            "vokquote: 1 trace line without a data message skipped (only L1:, L2:, TS: and OPT: lines carry one)\n");
}

}  // namespace
}  // namespace vok::cli

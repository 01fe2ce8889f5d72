// Reading the FIX form: tag and type translation, coded values, checksum verification and its
// trace lines, groups, order post-processing, and the writer's output read back.
#include "message/fix_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "message/fix_tables.h"
#include "message/message_test_util.h"
#include "message/parse_budget.h"
#include "message/vok_message.h"
#include "vkdll/trace_test_util.h"

namespace {

using namespace vok::test;

// "8=FIX.4.1|9=..|" + fields + "10=nnn|\n" with '|' standing for SOH.
std::string Fix(std::string fields) {
  for (char& c : fields) c = c == '|' ? '\x01' : c;
  std::string text =
      "8=FIX.4.1\x01"
      "9=" +
      std::to_string(fields.size()) + "\x01" + fields;
  int sum = 0;
  for (char c : text) sum += static_cast<signed char>(c);
  char trailer[16];
  std::snprintf(trailer, sizeof trailer, "10=%03d\x01\n", sum % 256);
  return text + trailer;
}

// The readers below show the tags in use; here, what the tables must refuse.
TEST(FixTables, RefuseIdsAndTagsTheyDoNotHold) {
  using namespace vok::message;
  for (const int tag : {0, -5, 14000, 49, 10070}) EXPECT_EQ(FixToInternalId(false, tag), -1) << tag;
  const std::pair<int, int> writes[] = {{1003, 55}, {133, 554}, {10112, 10070}, {1021, -1}, {0, -1}, {14000, -1}};
  for (const auto& [id, tag] : writes) EXPECT_EQ(InternalToFixTag(id), tag) << id;
}

TEST(FixReader, TranslatesMessageAndExecutionTypes) {
  const struct {
    const char* fields;
    int type;
  } cases[] = {
      {"35=A|", 'G'},     {"35=AB|", 'O'},      {"35=D|", 'O'},       {"35=0|", '9'},
      {"35=8|", 0},       {"35=8|150=2|", 'E'}, {"35=8|150=0|", 'A'}, {"35=8|150=4|", 'X'},
      {"35=8|150=Z|", 0}, {"35=D|434=2|", 'V'}, {"35=f|", '3'},       {"35=ZZ|", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(Fix(c.fields)).GetType(), c.type) << c.fields;
  std::string test;
  ASSERT_TRUE(Parse(Fix("35=1|")).GetString(1143, test));
  EXPECT_EQ(test, "1");
}

// Execution reports move the price and quantity tags, tag 38 is always text; codes become their
// internal numbers, ';' reads as ',', the transaction time also fills the Eastern date and time; a
// value without a code and the logon password are left out.
TEST(FixReader, TranslatesTagsAndCodedValues) {
  const std::pair<const char*, const char*> cases[] = {
      {"35=8|150=2|31=12.5|44=99|32=300|38=500|55=XYZ|", "1002:I:300 1003:S:XYZ 1004:D:12.5 1140:S:500"},
      {"35=D|31=12.5|44=99|32=300|38=500|", "1002:I:500 1004:D:99 1140:S:500"},
      {"35=D|54=1|59=?|40=z|203=7|77=X|61=2|847=1002|372=AB|44=1.25|10000=12|1=ACC;X|200=202612|"
       "60=20260115-14:30:00.250|554=secret|",
       "1001:I:10000 1004:D:1.25 1005:I:10011 1007:I:10079 1012:S:ACC,X 1021:S:09:30:00.250 1022:S:01/15/2026 "
       "1039:I:10060 1040:I:10071 1047:S:20260115-14:30:00.250 1066:I:30056 1096:I:79 1113:I:10111 2036:S:12 "
       "2040:S:2026 5012:I:12"},
      {"35=D|54=9|372=??|", ""},
  };
  for (const auto& [fields, described] : cases) EXPECT_EQ(Described(Parse(Fix(fields))), described) << fields;
}

TEST(FixReader, VerifiesTheChecksumAndTracesProblems) {
  const std::string good = Fix("35=D|55=XYZ|54=1|");
  std::string wrong = good;
  wrong.replace(wrong.size() - 5, 3, "000");  // keeps six characters in the 10= token
  std::string oneDigit = good.substr(0, good.find("10=")) + "10=7\x01\n";
  const std::string noFields = "10=123\x01\n";

  CTraceLines trace;
  EXPECT_EQ(TextOf(Parse(good), 1003), "XYZ");
  // Bytes above 127 count as negative; long and short values, ';' read as ','.
  EXPECT_EQ(TextOf(Parse(Fix("35=D|58=\xE9\xFF\x80 abcdefghijklmnop\xC3\xA9;x|1=\xFF|")), 1011),
            "\xE9\xFF\x80 abcdefghijklmnop\xC3\xA9,x");
  EXPECT_TRUE(trace.All().empty());

  int calculated = 0;
  for (char c : good.substr(0, good.find("10="))) calculated += static_cast<signed char>(c);
  const VOKMessage bad = Parse(wrong);
  EXPECT_EQ(TextOf(bad, 1003), "XYZ");
  EXPECT_EQ(TextOf(bad, 1001), "10000");
  EXPECT_EQ(bad.GetType(), 'O');
  Parse(oneDigit);
  Parse(noFields);

  const std::string received = wrong.substr(0, wrong.size() - 1);
  ASSERT_EQ(trace.All().size(), 3u);
  EXPECT_EQ(trace.All()[0],
            std::make_pair(4, "Invalid checksum (calc'd=" + std::to_string(calculated % 256) + "): " + received));
  EXPECT_EQ(trace.All()[1], std::make_pair(4, "Unable to parse checksum: " + oneDigit.substr(0, oneDigit.size() - 1)));
  EXPECT_EQ(trace.All()[2], std::make_pair(4, std::string("Unable to calculate checksum: 10=123\x01")));
}

TEST(FixReader, NeverTracesTheLogonPassword) {
  std::string logon = Fix("35=A|49=user|554=hunter2|");
  logon.replace(logon.size() - 5, 3, "999");
  CTraceLines trace;
  const VOKMessage message = Parse(logon);
  EXPECT_EQ(message.GetType(), 'G');
  ASSERT_EQ(trace.All().size(), 1u);
  EXPECT_NE(trace.All()[0].second.find("554=********"), std::string::npos);
  EXPECT_EQ(trace.All()[0].second.find("hunter2"), std::string::npos);
}

TEST(FixReader, ReadsTheLegGroupWithTranslatedMembers) {
  // 654 = head 1507, 624 = leg side 1505 (coded), 600 = tail 1500; 55 after the group is ordinary.
  const VOKMessage message = Parse(Fix("35=AB|555=2|654=L1|624=1|600=A|654=L2|624=2|600=B|55=XYZ|"));
  EXPECT_EQ(message.GetType(), 'O');
  ASSERT_EQ(message.GetGroupCount(1089), 2);
  const char* const expected[] = {"1500:S:A 1505:I:10000 1507:S:L1", "1500:S:B 1505:I:10001 1507:S:L2"};
  for (int i = 0; i < 2; ++i) {
    VOKMessage* entry = nullptr;
    ASSERT_TRUE(message.GetGroupEntry(1089, i, entry));
    EXPECT_EQ(Described(*entry), expected[i]);
  }
  EXPECT_EQ(TextOf(message, 1003), "XYZ");

  // Characters read by the group count toward the checksum: a valid text traces nothing.
  CTraceLines trace;
  Parse(Fix("35=AB|555=2|654=L1|654=L2|624=5|"));
  EXPECT_TRUE(trace.All().empty());
  // A count above the entries sent makes the last entry run to the end of the text, checksum
  // included: the entries that arrived are kept and the missing checksum is reported.
  const VOKMessage huge = Parse(Fix("35=AB|555=2147483647|654=L1|654=L2|"));
  EXPECT_EQ(huge.GetGroupCount(1089), 2);
  ASSERT_EQ(trace.All().size(), 1u);
  EXPECT_EQ(trace.All()[0].second.rfind("Unable to parse checksum: ", 0), 0u);

  // Entries over the per-message cap are skipped with one warning; the fields after them are read.
  std::string legs = "35=AB|555=2000|";
  for (int i = 0; i < 2000; ++i) legs += "654=L" + std::to_string(i) + "|";
  trace.Clear();
  const VOKMessage flood = Parse(Fix(legs + "55=XYZ|"));
  EXPECT_EQ(flood.GetGroupCount(1089), vok::message::kMaxGroupEntries);
  EXPECT_EQ(TextOf(flood, 1003), "XYZ");
  ASSERT_EQ(trace.All().size(), 1u);
  EXPECT_EQ(trace.All()[0].first, 4);
  EXPECT_EQ(trace.All()[0].second.rfind("VOKMessage::Parse: over the limits", 0), 0u);
}

TEST(FixReader, PostProcessesOrderTypes) {
  // The fields, then the order type 1007, 1008 and 1026 read from them.
  const std::pair<const char*, const char*> cases[] = {
      {"40=P|18=R|111=5|", "10066 <absent> <absent>"},
      {"40=P|18=R|", "10062 <absent> <absent>"},
      {"40=P|18=C|", "10077 <absent> <absent>"},
      {"40=1|18=G|", "10031 10047 <absent>"},
      {"40=V|18=G|", "10063 <absent> <absent>"},
      {"40=2|389=2|44=10|", "10043 <absent> 12"},
      {"40=2|389=1|44=10|111=3|", "10044 <absent> 11"},
      {"40=2|111=3|", "10040 <absent> <absent>"},
      {"40=2|", "10030 <absent> <absent>"},
  };
  for (const auto& [fields, expected] : cases) {
    const VOKMessage message = Parse(Fix(std::string("35=D|") + fields));
    EXPECT_EQ(TextOf(message, 1007) + " " + TextOf(message, 1008) + " " + TextOf(message, 1026), expected) << fields;
  }
}

TEST(FixReader, SurvivesHostileText) {
  std::string longText = Fix("35=D|58=" + std::string(70000, 'x') + "|55=XYZ|");
  CTraceLines trace;
  const VOKMessage big = Parse(longText);
  EXPECT_EQ(TextOf(big, 1011).size(), 70000u);
  EXPECT_EQ(TextOf(big, 1003), "XYZ");
  EXPECT_TRUE(trace.All().empty());

  const std::string cases[] = {
      std::string("8=FIX\x01"
                  "555=3\x01"
                  "654=",
                  16),
      std::string("8=FIX\x01"
                  "55=A\0"
                  "58=B\x01",
                  16),
      "xx=\x01\x01\x01=\x01"
      "555=2147483648\x01",
      "\xFF\xFE\x80=1\x01"
      "10=\xFF\xFF\xFF\x01",
  };
  for (const std::string& text : cases) {
    const VOKMessage message = Parse(text);
    message.ToFIX();
  }
  EXPECT_EQ(TextOf(Parse(cases[1]), 1003), "A");
  EXPECT_FALSE(Parse(cases[1]).HasField(1011));
}

// The checksum is summed eight bytes at a time: random texts of every length and byte value
// (line ends aside), some kilobytes long, with a correct checksum must never be reported.
TEST(FixReader, ChecksumMatchesASimpleSumForAnyBytes) {
  std::uint32_t seed = 7;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  CTraceLines trace;
  int checked = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string fields = "35=D|";
    const int tokens = 1 + static_cast<int>(next() % 6);
    for (int t = 0; t < tokens; ++t) {
      fields += std::to_string(11 + next() % 200) + "=";  // never 10, the checksum tag
      // Now and then a long run of the largest byte, to fill the wide sums' lanes.
      const bool longRun = i % 50 == 0 && t == 0;
      const int length = longRun ? 2100 + i % 8 : static_cast<int>(next() % 40);
      for (int c = 0; c < length; ++c) {
        char byte = longRun ? '\xff' : static_cast<char>(next() % 256);
        if (byte == '\n' || byte == '\r' || byte == '\0' || byte == '|' || byte == '\x01') byte = ';';
        fields += byte;
      }
      fields += '|';
    }
    // A negative sum of three digits ("10=-188") is not a six-character checksum token and reads
    // as missing: only texts whose checksum can be read are checked here.
    const std::string text = Fix(fields);
    if (text.size() - text.rfind("10=") != 8) continue;
    Parse(text);
    ++checked;
  }
  EXPECT_GT(checked, 1000);
  EXPECT_TRUE(trace.All().empty()) << trace.All().front().second;
}

}  // namespace

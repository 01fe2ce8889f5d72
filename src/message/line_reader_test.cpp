// The line form: classification of values while reading, repeating groups, the writer's order,
// round trips of every message type, long lines, the per-message caps and hostile input.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "message/message_test_util.h"
#include "message/parse_budget.h"
#include "message/vok_message.h"
#include "vkdll/trace_test_util.h"

namespace {

using namespace vok::test;

TEST(LineForm, ClassifiesValuesWhileScanning) {
  const VOKMessage message = Parse(
      "1|1004=12.5;1005=100;1003=XYZ;7=-5;8=5-;9=1.2.3;10=1e+5;11=1e5;12=;13=+4;14=-;15=2147483647;"
      "16=99999999999999999999;17=a=b;18=-2147483648;19=4294967296;21=1.5e-2;22=.5;23=1E+5;24=-3000000000;"
      "25=0000000007;26=123456789012345678;27=12345678901234567890;28=-2147483647;29=1730812345;"
      "30=-0.0;31=5.;32=1234567.12345678;33=1234567.123456789;34=.\n");
  EXPECT_EQ(message.GetType(), '1');
  EXPECT_EQ(Described(message),
            "7:I:-5 8:S:5- 9:S:1.2.3 10:D:100000 11:S:1e5 12:S: 13:S:+4 14:I:0 15:U:2147483647 "
            "16:S:99999999999999999999 17:S:a=b 18:U:18446744071562067968 19:U:4294967296 21:D:.015 22:D:.5 "
            "23:S:1E+5 24:U:18446744070709551616 25:I:7 26:U:123456789012345678 27:U:12345678901234567890 "
            "28:I:-2147483647 29:I:1730812345 30:D:-0 31:D:5 32:D:1234567.12345678 33:D:1234567.12345679 34:D:0 "
            "1003:S:XYZ 1004:D:12.5 1005:I:100");
}

TEST(LineForm, RewritesDuplicatesInPlaceAndDoublesInTheirShortForm) {
  // 48 and 1 share bucket 1; the newer key is written first. Later duplicates replace values.
  EXPECT_EQ(Parse("1|1=a;48=b;1=c\n").ToString(), "1|48=b;1=c\n");
  EXPECT_EQ(Parse("2|5=0.50;6=10.0;7=-0.5\n").ToString(), "2|5=.5;6=10;7=-0.5\n");
  EXPECT_EQ(Parse("H|2000=20000;1003=XYZ\n").ToString(), "H|1003=XYZ;2000=20000\n");
  EXPECT_EQ(Parse("9|\n").ToString(), "9|\n");
}

// A type not followed by '|' stands alone; FIX text is told by its start (the FIX tests).
TEST(LineForm, ATypeWithoutABarAfterItHasNoFields) {
  for (const char* text : {"Q:1", "Q"}) {
    const VOKMessage message(text, -1);
    EXPECT_EQ(message.GetType(), 'Q') << text;
    EXPECT_EQ(message.GetFieldCount(), 0) << text;
  }
  EXPECT_EQ(VOKMessage("", -1).GetType(), 0);
}

// Members stay text. Entries before the last take every token up to the next head, members or
// not, -1 included; fewer entries than announced end with the line; a count of 2^31 and beyond
// only creates the entries that arrive.
TEST(LineForm, ReadsRepeatingGroupsInline) {
  const struct {
    const char* line;
    std::vector<std::string> entries;
    const char* rest;  // the fields outside the group
  } cases[] = {
      {"1|1089=2;1507=A;1501=x;1507=B;1501=y;1003=XYZ\n", {"1501:S:x 1507:S:A", "1501:S:y 1507:S:B"}, "1003:S:XYZ"},
      {"1|1089=2;1507=A;9999=z;1507=B;1500=7;2000=1\n", {"1507:S:A 9999:S:z", "1500:S:7 1507:S:B"}, "2000:I:1"},
      {"1|1089=2;1507=A;-1=m;1507=B;1501=y\n", {"-1:S:m 1507:S:A", "1501:S:y 1507:S:B"}, ""},
      {"1|1089=3;1507=A;1501=x\n", {"1501:S:x 1507:S:A"}, ""},
      {"1|1089=2147483648;1507=A;1507=B\n", {"1507:S:A", "1507:S:B"}, ""},
      {"1|1089=99999999999999;1507=A\n", {"1507:S:A"}, ""},
      // A group without its head is empty and ends the line; a count below 1 stores nothing.
      {"1|1003=A;1089=2;1501=x;2000=5\n", {}, "1003:S:A"},
      {"1|1089=0;1=2\n", {}, "1:I:2"},
  };
  for (const auto& c : cases) {
    VOKMessage message = Parse(c.line);
    ASSERT_EQ(message.GetGroupCount(1089), static_cast<int>(c.entries.size())) << c.line;
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      VOKMessage* entry = nullptr;
      ASSERT_TRUE(message.GetGroupEntry(1089, static_cast<int>(i), entry));
      EXPECT_EQ(Described(*entry), c.entries[i]) << c.line;
    }
    message.RemoveKey(1089);
    EXPECT_EQ(Described(message), c.rest) << c.line;
  }
  const VOKMessage headless = Parse("1|1003=A;1089=2;1501=x\n");
  const VOKField* group = nullptr;
  ASSERT_TRUE(headless.Lookup(1089, group));
  EXPECT_EQ(group->GetKind(), FT_GROUP);
  EXPECT_FALSE(Parse("1|1089=0;1=2\n").HasField(1089));
}

TEST(LineForm, WritesGroupsHeadFirstTailLast) {
  VOKMessage message;
  message.SetType('O');
  message.AddGroup(1089);
  VOKMessage leg;
  leg.SetString(1500, "T");
  leg.SetString(1501, "x");
  leg.SetString(1507, "H");
  message.AddGroupEntry(1089, leg);
  VOKMessage bare;
  bare.SetString(1501, "y");
  bare.SetString(1500, "");
  message.AddGroupEntry(1089, bare);
  message.SetString(1003, "XYZ");
  // 1089 is in bucket 8, 1003 in bucket 16; a headless entry writes an empty head, an empty tail
  // is left out.
  EXPECT_EQ(message.ToString(), "O|1089=2;1507=H;1501=x;1500=T;1507=;1501=y;1003=XYZ\n");

  VOKMessage empty;
  empty.SetType('O');
  empty.AddGroup(1089);
  empty.SetInt(1, 1);
  EXPECT_EQ(empty.ToString(), "O|1=1\n");
}

// A line written and read back keeps its fields, kinds and text: one of each kind, a group and an
// empty message.
TEST(LineForm, WrittenLinesReadBackTheSame) {
  for (const char* line :
       {"1|1003=XYZ;1004=12.5;1005=100;1030=-0.25;1020=4294967296;1021=09:30:00;133=0123456789abcdef\n",
        "4|1003=+XYZAB;2035=52.5;2038=C;1089=1;1507=leg;1500=t\n", "9|\n"}) {
    const VOKMessage first = Parse(line);
    const std::string written = first.ToString();
    const VOKMessage second = Parse(written);
    EXPECT_EQ(second.GetType(), line[0]);
    EXPECT_EQ(second.ToString(), written) << line;
    EXPECT_EQ(Described(second), Described(first)) << line;
  }
}

// A line that would build more than one message may hold keeps what fits, skips the rest, still
// reads the fields after it, and says so in one warning; a long line or a large real message is
// not touched.
TEST(LineForm, SkipsFieldsAndGroupEntriesOverTheCaps) {
  CTraceLines trace;
  auto parse = [&](const std::string& line, std::size_t expectedWarnings) {
    trace.Clear();
    VOKMessage message = Parse(line);
    EXPECT_EQ(trace.Lines(4, "VOKMessage::Parse: over the limits").size(), expectedWarnings) << line.substr(0, 40);
    return message;
  };
  using namespace vok::message;

  std::string distinct = "1|";
  for (int i = 0; i < 1000; ++i) distinct += std::to_string(2000 + i) + "=" + std::to_string(i) + ";";
  const VOKMessage wide = parse(distinct + "2000=7\n", 1);
  EXPECT_EQ(wide.GetFieldCount(), kMaxFieldsPerMap);
  EXPECT_EQ(TextOf(wide, 2000), "7");  // an id already held is still updated
  EXPECT_EQ(TextOf(wide, 2000 + kMaxFieldsPerMap - 1), std::to_string(kMaxFieldsPerMap - 1));
  EXPECT_FALSE(wide.HasField(2000 + kMaxFieldsPerMap));

  // Ids that share one bucket: the chain every lookup walks stays short.
  std::string oneBucket = "1|";
  for (int i = 1; i <= 40; ++i) oneBucket += std::to_string(47 * i) + "=x;";
  const VOKMessage chained = parse(oneBucket + "5=y\n", 1);
  EXPECT_EQ(chained.GetFieldCount(), kMaxChain + 1);
  EXPECT_TRUE(chained.HasField(47 * kMaxChain));
  EXPECT_FALSE(chained.HasField(47 * (kMaxChain + 1)));

  std::string legs = "1|1089=3000;";
  for (int i = 0; i < 3000; ++i) legs += "1507=" + std::to_string(i) + ";1501=x;";
  const VOKMessage flood = parse(legs + "1003=XYZ\n", 1);
  ASSERT_EQ(flood.GetGroupCount(1089), kMaxGroupEntries);
  VOKMessage* last = nullptr;
  ASSERT_TRUE(flood.GetGroupEntry(1089, kMaxGroupEntries - 1, last));
  EXPECT_EQ(TextOf(*last, 1507), std::to_string(kMaxGroupEntries - 1));
  EXPECT_EQ(TextOf(flood, 1003), "XYZ");

  // Groups nested in entries end at a fixed depth.
  std::string nested = "1|";
  for (int i = 0; i < 10; ++i) nested += "1089=2;1507=A;";
  parse(nested + "1507=B\n", 1);

  const std::string longLine = "1|1003=" + std::string(70000, 'A') + ";1004=1.5\n";
  EXPECT_EQ(parse(longLine, 0).ToString(), longLine);

  // Forty fields and three hundred legs of twelve members.
  std::string real = "1|";
  for (int i = 0; i < 40; ++i) real += std::to_string(2000 + i) + "=" + std::to_string(i) + ";";
  real += "1089=300";
  for (int i = 0; i < 300; ++i) {
    for (const int member : GroupMembers(1089)) real += ";" + std::to_string(member) + "=" + std::to_string(i);
  }
  const VOKMessage large = parse(real + "\n", 0);
  EXPECT_EQ(large.GetFieldCount(), 41);
  ASSERT_EQ(large.GetGroupCount(1089), 300);
  ASSERT_TRUE(large.GetGroupEntry(1089, 299, last));
  EXPECT_EQ(last->GetFieldCount(), 12);
}

// A group field inside a group is read, not a crash; an empty value is text, and text is refused
// for a group id.
TEST(LineForm, SkipsWhatItCannotReadInHostileInput) {
  const std::pair<std::string, const char*> cases[] = {
      {std::string("1|1=a\0"
                   "2=b\n",
                   10),
       "1:S:a"},
      {"1|1=a\r2=b\n", "1:S:a"},
      {"1|1=a\n2=b\n", "1:S:a"},
      {"1|abc;;5=x;7", "5:S:x"},
      {"1|=v;5=", "0:S:v 5:S:"},
      {"1|1003=\xC3\xA9;\xFF=1;5=\x80\x81", "0:I:1 5:S:\x80\x81 1003:S:\xC3\xA9"},
      {"1|1089=2;1507=A;1089=5;1507=B", "1089:G:"},
      {"1|1089=", ""},
      {"1|1089=1", "1089:G:"},
      {"1|1089=1;", "1089:G:"},
      {"1|1089=-2147483648;1=1", "1:I:1"},
      // Other control characters are text; texts at and past the size a field holds inline.
      {"1|1003=MS\tFT;1=ABCDEFGHIJKLMNOPQRSTUVWX;2=ABCDEFGHIJKLMNOPQRSTUVWXY;3=Z\r4=W\n",
       "1:S:ABCDEFGHIJKLMNOPQRSTUVWX 2:S:ABCDEFGHIJKLMNOPQRSTUVWXY 3:S:Z 1003:S:MS\tFT"},
      // Four-character ids with a character just outside the digits are read by atoi's rules.
      {"1|10:3=5;2/03=6;0042=7", "2:I:6 10:I:5 42:I:7"},
  };
  for (const auto& [line, fields] : cases) {
    const VOKMessage message = Parse(line);
    EXPECT_EQ(Described(message), fields) << line;
    message.ToString();
  }
}

// Each thread parses and writes in its own buffers: a returned line is never overwritten by
// another thread.
TEST(LineForm, ThreadsParseAndWriteIndependently) {
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &mismatches] {
      const std::string line = "1|1003=SYM" + std::to_string(t) + ";1004=" + std::to_string(t + 1) + ".5\n";
      for (int i = 0; i < 2000; ++i) {
        const VOKMessage message = Parse(line);
        const std::string& written = message.ToString();
        const std::string fix = message.ToFIX();
        if (written != line || fix.find("55=SYM" + std::to_string(t)) == std::string::npos) ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace

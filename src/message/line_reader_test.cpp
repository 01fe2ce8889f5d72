// The line form: classification of values while reading, repeating groups, the writer's order,
// round trips of every message type, long lines, the per-message caps and hostile input.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "message/parse_budget.h"
#include "message/vok_message.h"
#include "vkdll/trace.h"

namespace {

VOKMessage ParseLine(const std::string& text) { return VOKMessage(text.data(), static_cast<int>(text.size())); }

VOKFieldType KindOf(const VOKMessage& message, int fid) {
  const VOKField* field = nullptr;
  return message.Lookup(fid, field) ? field->GetKind() : static_cast<VOKFieldType>(-1);
}

std::string TextOf(const VOKMessage& message, int fid) {
  std::string text = "<absent>";
  const VOKField* field = nullptr;
  if (message.Lookup(fid, field)) {
    text.clear();
    field->AppendTo(text);
  }
  return text;
}

TEST(LineForm, ClassifiesValuesWhileScanning) {
  const VOKMessage message = ParseLine(
      "1|1004=12.5;1005=100;1003=XYZ;7=-5;8=5-;9=1.2.3;10=1e+5;11=1e5;12=;13=+4;14=-;15=2147483647;"
      "16=99999999999999999999;17=a=b;18=-2147483648;19=4294967296;21=1.5e-2;22=.5;23=1E+5;24=-3000000000;"
      "25=0000000007;26=123456789012345678;27=12345678901234567890;28=-2147483647;29=1730812345;"
      "30=-0.0;31=5.;32=1234567.12345678;33=1234567.123456789;34=.\n");
  const struct {
    int fid;
    VOKFieldType kind;
    const char* text;
  } cases[] = {
      {1004, FT_DOUBLE, "12.5"},
      {1005, FT_INT, "100"},
      {1003, FT_STRING, "XYZ"},
      {7, FT_INT, "-5"},
      {8, FT_STRING, "5-"},
      {9, FT_STRING, "1.2.3"},
      {10, FT_DOUBLE, "100000"},
      {11, FT_STRING, "1e5"},
      {12, FT_STRING, ""},
      {13, FT_STRING, "+4"},
      {14, FT_INT, "0"},
      {15, FT_UINT64, "2147483647"},
      {16, FT_STRING, "99999999999999999999"},
      {17, FT_STRING, "a=b"},
      {18, FT_UINT64, "18446744071562067968"},
      {19, FT_UINT64, "4294967296"},
      {21, FT_DOUBLE, ".015"},
      {22, FT_DOUBLE, ".5"},
      {23, FT_STRING, "1E+5"},
      {24, FT_UINT64, "18446744070709551616"},
      {25, FT_INT, "7"},
      {26, FT_UINT64, "123456789012345678"},
      {27, FT_UINT64, "12345678901234567890"},
      {28, FT_INT, "-2147483647"},
      {29, FT_INT, "1730812345"},
      {30, FT_DOUBLE, "-0"},
      {31, FT_DOUBLE, "5"},
      {32, FT_DOUBLE, "1234567.12345678"},
      {33, FT_DOUBLE, "1234567.12345679"},
      {34, FT_DOUBLE, "0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KindOf(message, c.fid), c.kind) << c.fid;
    EXPECT_EQ(TextOf(message, c.fid), c.text) << c.fid;
  }
  EXPECT_EQ(message.GetType(), '1');
  EXPECT_EQ(message.GetFieldCount(), static_cast<int>(std::size(cases)));
}

TEST(LineForm, RewritesDuplicatesInPlaceAndDoublesInTheirShortForm) {
  // 48 and 1 share bucket 1; the newer key is written first. Later duplicates replace values.
  EXPECT_EQ(ParseLine("1|1=a;48=b;1=c\n").ToString(), "1|48=b;1=c\n");
  EXPECT_EQ(ParseLine("2|5=0.50;6=10.0;7=-0.5\n").ToString(), "2|5=.5;6=10;7=-0.5\n");
  EXPECT_EQ(ParseLine("H|2000=20000;1003=XYZ\n").ToString(), "H|1003=XYZ;2000=20000\n");
  EXPECT_EQ(ParseLine("9|\n").ToString(), "9|\n");
}

TEST(LineForm, ChoosesTheFormByLengthAndSecondCharacter) {
  const struct {
    const char* text;
    int type;
    int fields;
  } cases[] = {
      {"Q|1=2", 'Q', 1},
      {"Q:1", 'Q', 0},
      {"Q", 'Q', 0},
      {"", 0, 0},
      {"8=FIX.4.1\x01"
       "35=A\x01",
       'G', 0},  // FIX: tag 35 sets the type
  };
  for (const auto& c : cases) {
    const VOKMessage message(c.text, -1);
    EXPECT_EQ(message.GetType(), c.type) << c.text;
    EXPECT_EQ(message.GetFieldCount(), c.fields) << c.text;
  }
}

TEST(LineForm, ReadsRepeatingGroupsInline) {
  const struct {
    const char* line;
    std::vector<std::vector<std::pair<int, std::string>>> entries;
    std::vector<int> others;  // ordinary fields read after the group
  } cases[] = {
      {"1|1089=2;1507=A;1501=x;1507=B;1501=y;1003=XYZ\n",
       {{{1507, "A"}, {1501, "x"}}, {{1507, "B"}, {1501, "y"}}},
       {1003}},
      // Entries before the last take every token up to the next head, members or not.
      {"1|1089=2;1507=A;9999=z;1507=B;1500=7;2000=1\n",
       {{{1507, "A"}, {9999, "z"}}, {{1507, "B"}, {1500, "7"}}},
       {2000}},
      // Any id is a member there, -1 included.
      {"1|1089=2;1507=A;-1=m;1507=B;1501=y\n", {{{1507, "A"}, {-1, "m"}}, {{1507, "B"}, {1501, "y"}}}, {}},
      // Fewer entries than announced: the group ends with the line.
      {"1|1089=3;1507=A;1501=x\n", {{{1507, "A"}, {1501, "x"}}}, {}},
      // A count of 2^31 and beyond only creates the entries that arrive.
      {"1|1089=2147483648;1507=A;1507=B\n", {{{1507, "A"}}, {{1507, "B"}}}, {}},
      {"1|1089=99999999999999;1507=A\n", {{{1507, "A"}}}, {}},
  };
  for (const auto& c : cases) {
    VOKMessage message = ParseLine(c.line);
    ASSERT_EQ(message.GetGroupCount(1089), static_cast<int>(c.entries.size())) << c.line;
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      VOKMessage* entry = nullptr;
      ASSERT_TRUE(message.GetGroupEntry(1089, static_cast<int>(i), entry));
      EXPECT_EQ(entry->GetFieldCount(), static_cast<int>(c.entries[i].size())) << c.line;
      for (const auto& [fid, value] : c.entries[i]) {
        EXPECT_EQ(KindOf(*entry, fid), FT_STRING) << c.line;  // members stay text
        EXPECT_EQ(TextOf(*entry, fid), value) << c.line;
      }
    }
    EXPECT_EQ(message.GetFieldCount(), 1 + static_cast<int>(c.others.size())) << c.line;
    for (int fid : c.others) EXPECT_TRUE(message.HasField(fid)) << c.line << " " << fid;
  }

  // A group without its head is empty and ends the line; a count below 1 stores nothing.
  VOKMessage headless = ParseLine("1|1003=A;1089=2;1501=x;2000=5\n");
  const VOKField* group = nullptr;
  ASSERT_TRUE(headless.Lookup(1089, group));
  EXPECT_EQ(group->GetKind(), FT_GROUP);
  EXPECT_EQ(headless.GetGroupCount(1089), 0);
  EXPECT_FALSE(headless.HasField(2000));
  EXPECT_FALSE(headless.HasField(1501));
  EXPECT_FALSE(ParseLine("1|1089=0;1=2\n").HasField(1089));
  EXPECT_TRUE(ParseLine("1|1089=0;1=2\n").HasField(1));
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
  empty.SetInt(2, 2);
  EXPECT_EQ(empty.ToString(), "O|1=1;2=2\n");
}

// A line written and read back keeps its fields, kinds and text: one of each kind, a group and an
// empty message.
TEST(LineForm, WrittenLinesReadBackTheSame) {
  const char* const lines[] = {
      "1|1003=XYZ;1004=12.5;1005=100;1030=-0.25;1020=4294967296;1021=09:30:00;133=0123456789abcdef\n",
      "4|1003=+XYZAB;2035=52.5;2038=C;1089=1;1507=leg;1500=t\n",
      "9|\n",
  };
  for (const char* line : lines) {
    const VOKMessage first = ParseLine(line);
    const std::string written = first.ToString();
    const VOKMessage second = ParseLine(written);
    EXPECT_EQ(second.GetType(), line[0]);
    EXPECT_EQ(second.ToString(), written) << line;
    EXPECT_EQ(first.GetFieldCount(), second.GetFieldCount()) << line;
    first.Fields().ForEach([&](int fid, const VOKField& field) {
      EXPECT_EQ(KindOf(second, fid), field.GetKind()) << line << " " << fid;
      EXPECT_EQ(TextOf(second, fid), TextOf(first, fid)) << line << " " << fid;
    });
  }
}

// A line that would build more than one message may hold keeps what fits, skips the rest, still
// reads the fields after it, and says so in one warning; a long line or a large real message is
// not touched.
TEST(LineForm, SkipsFieldsAndGroupEntriesOverTheCaps) {
  int warnings = 0;
  vok::CScopedTraceSink sink([&](int level, std::string_view text) {
    if (level == 4 && text.starts_with("VOKMessage::Parse: over the limits")) ++warnings;
  });
  auto parse = [&](const std::string& line, int expectedWarnings) {
    warnings = 0;
    VOKMessage message = ParseLine(line);
    EXPECT_EQ(warnings, expectedWarnings) << line.substr(0, 40);
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

TEST(LineForm, SkipsWhatItCannotReadInHostileInput) {
  const struct {
    std::string line;
    std::vector<std::pair<int, std::string>> fields;
  } cases[] = {
      {std::string("1|1=a\0"
                   "2=b\n",
                   10),
       {{1, "a"}}},
      {"1|1=a\r2=b\n", {{1, "a"}}},
      {"1|1=a\n2=b\n", {{1, "a"}}},
      {"1|abc;;5=x;7", {{5, "x"}}},
      {"1|=v;5=", {{0, "v"}, {5, ""}}},
      {"1|1003=\xC3\xA9;\xFF=1;5=\x80\x81", {{1003, "\xC3\xA9"}, {0, "1"}, {5, "\x80\x81"}}},
      {"1|1089=2;1507=A;1089=5;1507=B", {}},  // group field inside a group is read, not a crash
      {"1|1089=", {{1089, ""}}},              // empty value is text, and text is refused for a group id
      {"1|1089=1", {}},
      {"1|1089=1;", {}},
      {"1|1089=-2147483648;1=1", {{1, "1"}}},
  };
  for (const auto& c : cases) {
    const VOKMessage message = ParseLine(c.line);
    for (const auto& [fid, value] : c.fields) {
      if (fid == 1089) {
        EXPECT_FALSE(message.HasField(1089)) << c.line;
        continue;
      }
      EXPECT_EQ(TextOf(message, fid), value) << c.line << " " << fid;
    }
    if (!c.fields.empty() && c.fields[0].first != 1089) {
      EXPECT_EQ(message.GetFieldCount(), static_cast<int>(c.fields.size())) << c.line;
    }
    message.ToString();
  }
}

}  // namespace

namespace {

// Each thread parses and writes in its own buffers: a returned line is never overwritten by
// another thread.
TEST(LineForm, ThreadsParseAndWriteIndependently) {
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &mismatches] {
      const std::string line = "1|1003=SYM" + std::to_string(t) + ";1004=" + std::to_string(t + 1) + ".5\n";
      for (int i = 0; i < 2000; ++i) {
        const VOKMessage message(line.data(), static_cast<int>(line.size()));
        const std::string& written = message.ToString();
        std::string fix = message.ToFIX();
        if (written != line || fix.find("55=SYM" + std::to_string(t)) == std::string::npos) ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace

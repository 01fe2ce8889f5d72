// Typed access, groups, copies, routing and Log of VOKMessage.
#include "message/vok_message.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "message/message_test_util.h"
#include "message/tls_buffer.h"
#include "vkdll/trace_test_util.h"

namespace {

using namespace vok::test;

VOKMessage TwoLegs() {
  VOKMessage message;
  message.AddGroup(1089);
  for (const char* head : {"A", "B"}) {
    VOKMessage leg;
    leg.SetString(1507, head);
    leg.SetString(1501, std::string(head) + "x");
    message.AddGroupEntry(1089, leg);
  }
  return message;
}

// Getters of an absent or a group field fail and leave their output alone; the guarded setters
// leave a group alone, the unguarded string setter does not.
TEST(VOKMessage, GettersAndSettersRespectAbsentAndGroupFields) {
  VOKMessage message = TwoLegs();
  std::string s = "keep";
  int i = 9;
  long l = 9;
  double d = 9.5;
  std::uint64_t u = 9;
  char buffer[8] = "keep";
  for (int fid : {1089, 5555}) {
    EXPECT_FALSE(message.GetString(fid, s) || message.GetString(fid, buffer, sizeof buffer) || message.GetInt(fid, i) ||
                 message.GetLong(fid, l) || message.GetDouble(fid, d) || message.GetUInt64(fid, u))
        << fid;
  }
  EXPECT_EQ(std::tie(s, i, l, d, u), std::make_tuple(std::string("keep"), 9, 9L, 9.5, std::uint64_t{9}));
  EXPECT_STREQ(buffer, "keep");

  message.SetString(1089, "text");
  message.SetInt(1089, 3);
  EXPECT_EQ(message.GetGroupCount(1089), 2);
  VOKField* field = nullptr;
  ASSERT_TRUE(message.Lookup(1089, field));
  EXPECT_EQ(field->GetKind(), FT_GROUP);
  std::string appended = "a";
  field->AppendTo(appended);
  EXPECT_EQ(appended, "a");
  message.SetString(1089, std::string("forced"));
  EXPECT_EQ(field->GetText(), "forced");

  const int seven = 7;
  message.SetInt(5, &seven);
  ASSERT_TRUE(message.GetInt(5, i));
  EXPECT_EQ(i, 7);
  EXPECT_TRUE(message.RemoveKey(5));
  EXPECT_FALSE(message.RemoveKey(5));
  EXPECT_EQ(message.GetFieldCount(), 1);
}

TEST(VOKMessage, GroupEntriesAreReadByIndexAndSequentially) {
  VOKMessage message = TwoLegs();
  VOKMessage* entry = nullptr;
  std::string head;
  ASSERT_TRUE(message.GetGroupEntry(1089, 1, entry));
  entry->GetString(1507, head);
  EXPECT_EQ(head, "B");
  VOKMessage* untouched = nullptr;
  EXPECT_FALSE(message.GetGroupEntry(1089, 2, untouched));
  EXPECT_FALSE(message.GetGroupEntry(1089, -1, untouched));
  EXPECT_EQ(untouched, nullptr);

  std::vector<std::pair<std::string, bool>> seen;
  for (int i = 0; i < 2; ++i) {
    const bool more = message.GetNextGroupEntry(1089, entry);
    entry->GetString(1507, head);
    seen.emplace_back(head, more);
  }
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{{"A", true}, {"B", false}}));
  VOKMessage* last = entry;
  EXPECT_FALSE(message.GetNextGroupEntry(1089, entry));
  EXPECT_EQ(entry, last);
  ASSERT_TRUE(message.ResetGroup(1089));
  message.GetNextGroupEntry(1089, entry);
  entry->GetString(1507, head);
  EXPECT_EQ(head, "A");

  // Non-group ids are refused by every group operation.
  EXPECT_FALSE(message.AddGroup(1003));
  EXPECT_EQ(message.GetGroupCount(1003), 0);
  EXPECT_FALSE(message.ResetGroup(1003));
  message.AddGroupEntry(1003, VOKMessage());
  EXPECT_FALSE(message.HasField(1003));
}

TEST(VOKMessage, CopiesAreDeepAndCarryTypeRoutingAndWideNumbers) {
  VOKMessage source = TwoLegs();
  source.SetType('2');
  source.SetUInt64(20, 5000000000ULL);
  source.SetRoutingValue(42);
  const std::string line = source.ToString();
  VOKMessage copy(source);
  EXPECT_EQ(copy.ToString(), line);
  EXPECT_EQ(copy.GetRoutingValue(), 42);
  VOKMessage* entry = nullptr;
  ASSERT_TRUE(copy.GetGroupEntry(1089, 0, entry));
  entry->SetString(1507, "Z");
  EXPECT_EQ(source.ToString(), line);

  source.SetRoutingList({1, 2, 3});
  VOKMessage routed;
  routed = source;
  EXPECT_EQ(routed.GetRoutingValue(), -100);
  ASSERT_NE(routed.GetRoutingList(), nullptr);
  EXPECT_EQ(*routed.GetRoutingList(), (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_NE(routed.GetRoutingList(), source.GetRoutingList());
  routed.SetRoutingValue(7);
  EXPECT_EQ(routed.GetRoutingList(), nullptr);

  routed = routed;  // NOLINT: self-assignment must change nothing
  EXPECT_EQ(routed.GetRoutingValue(), 7);
  EXPECT_EQ(routed.ToString(), line);

  routed.Clear();
  EXPECT_EQ(std::tuple(routed.GetType(), routed.GetRoutingValue(), routed.GetFieldCount()), std::tuple(0, 0, 0));
}

// The target keeps its type; listed ids the source lacks are skipped.
TEST(VOKMessage, CopyFieldsCopiesAllOrListedFields) {
  const VOKMessage source = Parse("1|1=1;2=2;3=3\n");
  const int ids[] = {2, 3, 4};
  enum Mode { kMissingOnly, kOverwrite, kAll };
  const std::pair<Mode, const char*> cases[] = {
      {kMissingOnly, "H|2=20;3=3\n"}, {kOverwrite, "H|2=2;3=3\n"}, {kAll, "H|1=1;2=2;3=3\n"}};
  for (const auto& [mode, line] : cases) {
    VOKMessage target = Parse("H|2=20\n");
    mode == kAll ? target.CopyFields(source) : target.CopyFields(source, ids, mode == kMissingOnly);
    EXPECT_EQ(target.ToString(), line);
  }
}

TEST(VOKMessage, LogWritesTheLineAndMasksThePassword) {
  const VOKMessage logon = Parse("L|100=user;133=s3cret-password\n");
  CTraceLines trace;
  logon.Log("Quotes: sending", 2);
  logon.Log(nullptr, 1);
  EXPECT_EQ(trace.All(), (std::vector<std::pair<int, std::string>>{{2, "Quotes: sending L|100=user;133=********"},
                                                                   {1, "L|100=user;133=********"}}));
  // The message itself still carries the password for the wire.
  EXPECT_EQ(logon.ToString(), "L|100=user;133=s3cret-password\n");
}

// Without a thread buffer the writers return no text and say so at level 5; the process goes on.
TEST(VOKMessage, WritersReturnNoTextWithoutAThreadBuffer) {
  const VOKMessage message = Parse("H|1003=XYZ\n");
  CTraceLines trace;
  vok::message::SimulateNoThreadSlot(true);
  const std::string line = message.ToString();
  const std::string fix = message.ToFIX();
  message.Log("Quotes:", 2);
  vok::message::SimulateNoThreadSlot(false);
  EXPECT_EQ(line, "");
  EXPECT_EQ(fix, "");
  ASSERT_EQ(trace.All().size(), 3u);
  for (const auto& [level, text] : trace.All()) EXPECT_EQ(level, 5) << text;
  EXPECT_EQ(message.ToString(), "H|1003=XYZ\n");
}

}  // namespace

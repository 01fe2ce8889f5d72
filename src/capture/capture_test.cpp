// Capture files: records survive a write and read in order, a torn last record is cut off before
// appending and ignored on reading, and malformed or overlong lines are skipped with a count.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_reader.h"
#include "capture/capture_recorder.h"
#include "capture/capture_writer.h"

namespace vok::capture {
namespace {

struct SReadBack {
  std::vector<std::string> records;  // "time|kind|text"
  std::uint64_t skipped = 0;
  bool torn = false;
};

SReadBack ReadBack(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  CCaptureReader reader(in);
  SReadBack back;
  if (!reader.ReadHeader()) return back;
  SRecord record;
  while (reader.Next(record)) {
    back.records.push_back(std::to_string(record.timeNs) + "|" + record.kind + "|" + std::string(record.text));
  }
  back.skipped = reader.Skipped();
  back.torn = reader.TornTail();
  return back;
}

TEST(CaptureTest, AppendsAfterATornRecordAndReadsBackInOrder) {
  const std::string path = (std::filesystem::temp_directory_path() / "vok_capture_test.vcap").string();
  std::filesystem::remove(path);
  std::string error;
  {
    CCaptureWriter writer;
    ASSERT_TRUE(writer.Open(path, error)) << error;
    EXPECT_TRUE(writer.Append(100, kKindData, "G|8055=Sim"));
    EXPECT_TRUE(writer.Append(200, kKindData, "1|1003=IBM;2002=1.5"));
  }
  {
    // Written by hand: lines that are no record, an overlong one, records whose text keeps its
    // blanks and carriage return or is empty, and a record torn by a crash.
    std::ofstream append(path, std::ios::binary | std::ios::app);
    append << "not a record\n-1 D x\n12 X x\n12 DD x\n99999999999999999999 D x\n"
           << std::string(kMaxRecordBytes + 10, 'x') << "\n250 D  lead blank\r\n260 D\n300 D 1|1003=MS";
  }
  CCaptureWriter writer;
  ASSERT_TRUE(writer.Open(path, error)) << error;
  EXPECT_TRUE(writer.Append(400, kKindEvent, "disconnected 1"));
  writer.Close();

  const SReadBack back = ReadBack(path);
  const std::vector<std::string>& records = back.records;
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(
      std::vector<std::string>(records.begin() + 1, records.begin() + 5),
      (std::vector<std::string>{"100|D|G|8055=Sim", "200|D|1|1003=IBM;2002=1.5", "250|D| lead blank\r", "260|D|"}));
  EXPECT_EQ(records[6], "400|E|disconnected 1");
  EXPECT_NE(records[0].find("|E|start"), std::string::npos);
  EXPECT_NE(records[5].find("|E|start"), std::string::npos);
  EXPECT_EQ(back.skipped, 6u);
  EXPECT_FALSE(back.torn);

  // Reading a file whose last record is torn ignores it; a file that is no capture is refused.
  std::ofstream(path, std::ios::binary | std::ios::app) << "500 D 1|1003=IB";
  const SReadBack torn = ReadBack(path);
  EXPECT_EQ(torn.records, records);
  EXPECT_TRUE(torn.torn);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "1|1003=IBM\n";
  EXPECT_FALSE(writer.Open(path, error));
  EXPECT_EQ(std::filesystem::file_size(path), 11u);
  std::filesystem::remove(path);
}

TEST(CaptureTest, RecorderKeepsEachThreadsLinesInOrderWhileFlushing) {
  const std::string path = (std::filesystem::temp_directory_path() / "vok_recorder_test.vcap").string();
  std::filesystem::remove(path);
  std::string error;
  ASSERT_TRUE(StartRecording(path, error)) << error;
  ASSERT_TRUE(Recording());
  constexpr int kLines = 2000;
  auto reader = [](char type) {
    for (int i = 0; i < kLines; ++i) {
      if (Recording()) RecordReceived(std::string(1, type) + "|1003=S;2002=" + std::to_string(i));
    }
  };
  std::thread first(reader, '1'), second(reader, '2');
  for (int i = 0; i < 50; ++i) FlushRecording();
  RecordEvent(kEventConnected, 7);
  first.join();
  second.join();
  StopRecording();
  EXPECT_FALSE(Recording());
  RecordReceived("1|after the stop");

  const SReadBack back = ReadBack(path);
  int next['3'] = {};
  int events = 0;
  for (const std::string& record : back.records) {
    const std::string text = record.substr(record.find('|') + 3);
    if (record.find("|E|") != std::string::npos) {
      ++events;
      continue;
    }
    const int value = std::stoi(text.substr(text.rfind('=') + 1));
    EXPECT_EQ(value, next[static_cast<unsigned char>(text[0])]++) << record;
  }
  EXPECT_EQ(next['1'], kLines);
  EXPECT_EQ(next['2'], kLines);
  EXPECT_EQ(events, 2);  // start, connected 7
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace vok::capture

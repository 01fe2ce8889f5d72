// The trace: what a sink sees, and the file destination filtered by level from many threads.
#include "vkdll/trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "platform/environment.h"
#include "platform/settings_store.h"
#include "vkdll/trace_test_util.h"
#include "vkdll/vkdll.h"

namespace {

using vok::test::CTraceLines;

TEST(Trace, SinkSeesEveryLineWholeWithoutTrailingLineFeed) {
  CTraceLines capture;
  VOKTRACE_Printf(4, "warn %d %s\n", 42, "x");
  const std::string big(70000, 'x');
  VOKTRACE_Printf(1, "%s %s", "p", big.c_str());
  const auto lines = capture.All();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::make_pair(4, std::string("warn 42 x")));
  EXPECT_EQ(lines[1], std::make_pair(1, "p " + big));
}

TEST(Trace, FileDestinationFiltersByLevelAndKeepsLinesWhole) {
  const std::string path = ::testing::TempDir() + "vok_trace_test.log";
  std::remove(path.c_str());
  vok::SetEnvironmentValue("VOKQUOTE_TRACE", path.c_str());
  vok::SetEnvironmentValue("VOKQUOTE_TRACE_LEVEL", "3");
  vok::ReloadTraceSettings();
  EXPECT_FALSE(vok::TraceEnabled(2));
  EXPECT_TRUE(vok::TraceEnabled(3));

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) {
        VOKTRACE_Printf(3, "thread %d line %d", t, i);
        VOKTRACE_Write(2, "hidden");
      }
    });
  }
  for (auto& th : threads) th.join();
  vok::SetEnvironmentValue("VOKQUOTE_TRACE", "");
  vok::ReloadTraceSettings();

  std::ifstream in(path);
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    ++count;
    EXPECT_EQ(line.find("hidden"), std::string::npos);
    // "YYYY-MM-DD HH:MM:SS.mmm [tid] 3 thread T line I"
    EXPECT_EQ(line[4], '-');
    EXPECT_NE(line.find("] 3 thread "), std::string::npos) << line;
  }
  EXPECT_EQ(count, 800);
  std::remove(path.c_str());
}

TEST(Trace, PerUserSettingsApplyWhereTheEnvironmentIsSilent) {
  const std::string folder = ::testing::TempDir();
  const std::string config = folder + "vok_trace_test.ini";
  const std::string path = folder + "vok_trace_settings.log";
  std::remove(config.c_str());
  std::remove(path.c_str());
  vok::SetEnvironmentValue("VOKQUOTE_CONFIG", config.c_str());  // Linux; Windows uses the registry
  vok::SetEnvironmentValue("VOKQUOTE_TRACE", "");
  vok::SetEnvironmentValue("VOKQUOTE_TRACE_LEVEL", "");

  // Nowhere to write: only warnings and failures, and only where a debugger channel exists.
  vok::ReloadTraceSettings();
  EXPECT_EQ(vok::TraceEnabled(4), vok::HasDebugOutput());
  EXPECT_FALSE(vok::TraceEnabled(3));

  // "LogQuotes" alone lowers the level to the data-message lines.
  ASSERT_TRUE(vok::CSettingsStore::WriteString("", "TraceFile", path));
  ASSERT_TRUE(vok::CSettingsStore::WriteDword("", "LogQuotes", 1));
  vok::ReloadTraceSettings();
  EXPECT_TRUE(vok::TraceEnabled(2));
  EXPECT_FALSE(vok::TraceEnabled(1));
  VOKTRACE_Write(2, "data message line");

  // An explicit level wins over "LogQuotes", and the environment over the settings.
  ASSERT_TRUE(vok::CSettingsStore::WriteDword("", "TraceLevel", 5));
  vok::ReloadTraceSettings();
  EXPECT_FALSE(vok::TraceEnabled(4));
  vok::SetEnvironmentValue("VOKQUOTE_TRACE_LEVEL", "3");
  vok::ReloadTraceSettings();
  EXPECT_TRUE(vok::TraceEnabled(3));
  EXPECT_FALSE(vok::TraceEnabled(2));

  vok::SetEnvironmentValue("VOKQUOTE_TRACE_LEVEL", "");
  for (const char* name : {"TraceFile", "LogQuotes", "TraceLevel"}) vok::CSettingsStore::DeleteValue("", name);
  vok::SetEnvironmentValue("VOKQUOTE_CONFIG", "");
  vok::ReloadTraceSettings();
  std::ifstream in(path);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_NE(line.find("] 2 data message line"), std::string::npos) << line;
  EXPECT_FALSE(std::getline(in, line));
  in.close();
  std::remove(path.c_str());
  std::remove(config.c_str());
}

}  // namespace

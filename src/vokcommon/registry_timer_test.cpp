// The common library's waitable timer and settings access over the platform layer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/environment.h"
#include "platform/wait.h"
#include "vokcommon/registry.h"
#include "vokcommon/waitable_timer.h"

namespace {

TEST(WaitableTimer, SignalsOnceOffAndPeriodicallyAndStaysQuietAfterCancel) {
  CWaitableTimer timer;
  EXPECT_FALSE(timer.SetOnceOffRelative(10));  // not created yet
  ASSERT_TRUE(timer.Create(0, nullptr, nullptr));
  ASSERT_TRUE(timer.SetOnceOffRelative(20));
  EXPECT_EQ(vok::WaitForOne(timer.Handle(), 2000), vok::kWaitObject0);
  EXPECT_EQ(vok::WaitForOne(timer.Handle(), 60), vok::kWaitTimeout);  // once only
  ASSERT_TRUE(timer.SetPeriodicRelative(10, 10));
  EXPECT_EQ(vok::WaitForOne(timer.Handle(), 2000), vok::kWaitObject0);
  ASSERT_TRUE(timer.Cancel());
  EXPECT_EQ(vok::WaitForOne(timer.Handle(), 60), vok::kWaitTimeout);
}

TEST(VokRegistry, ReadsTheProductSettingsOnlyOnceOpen) {
  // Linux keeps the settings in this file; Windows ignores the variable and uses the test prefix's registry.
  const std::string path = ::testing::TempDir() + "vokcommon_registry_test.ini";
  std::remove(path.c_str());
  vok::SetEnvironmentValue("VOKQUOTE_CONFIG", path.c_str());
  CVokRegistry closed;
  int value = 42;
  EXPECT_FALSE(closed.Read("LogQuotes", value));
  EXPECT_EQ(value, 42);

  CVokRegistry registry;
  ASSERT_TRUE(registry.Open(0));
  ASSERT_TRUE(registry.Write("VokCommonTestValue", 7));
  EXPECT_TRUE(registry.Read("VokCommonTestValue", value));
  EXPECT_EQ(value, 7);
  ASSERT_TRUE(registry.Write("VokCommonTestValue", -1));
  EXPECT_TRUE(registry.Read("VokCommonTestValue", value));
  EXPECT_EQ(value, -1);
  value = 5;
  EXPECT_FALSE(registry.Read("VokCommonTestAbsent", value));
  EXPECT_EQ(value, 5);
  vok::SetEnvironmentValue("VOKQUOTE_CONFIG", "");
  std::remove(path.c_str());
}

}  // namespace

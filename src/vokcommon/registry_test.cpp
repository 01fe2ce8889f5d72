// CVokRegistry: the product's settings read and written through the platform store, once open.
#include "vokcommon/registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/environment.h"

namespace {

TEST(VokRegistry, ReadsAndWritesTheProductSettingsOnlyOnceOpen) {
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
  for (const int written : {7, -1}) {
    ASSERT_TRUE(registry.Write("VokCommonTestValue", written));
    EXPECT_TRUE(registry.Read("VokCommonTestValue", value));
    EXPECT_EQ(value, written);
  }
  EXPECT_FALSE(registry.Read("VokCommonTestAbsent", value));
  EXPECT_EQ(value, -1);
  vok::SetEnvironmentValue("VOKQUOTE_CONFIG", "");
  std::remove(path.c_str());
}

}  // namespace

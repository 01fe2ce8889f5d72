// Tests of the registration script reader: keys and values written, removed on unregistration
// except NoRemove keys; malformed scripts rejected whole.
#include "service/registry_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/class_registry.h"
#include "platform/environment.h"

namespace {

// Linux keeps the class registry in a file below XDG_CONFIG_HOME: each test gets its own folder.
class RegistryScript : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = std::filesystem::temp_directory_path() /
               ("vok_registry_script_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(m_folder);
    vok::SetEnvironmentValue("XDG_CONFIG_HOME", m_folder.string().c_str());
  }
  void TearDown() override {
    vok::DeleteClassKeyTree("VokTest.Thing");
    vok::DeleteClassKeyTree("VokTestClasses");
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }
  static std::string Read(const char* key, const char* name = "") {
    std::string data;
    return vok::ReadClassValue(key, name, data) ? data : "<missing>";
  }
  std::filesystem::path m_folder;
};

constexpr const char* kScript = R"(HKCR
{
  'VokTest.Thing' = s 'It''s a Thing'
  {
    CurVer = s 'VokTest.Thing.1'
  }
  NoRemove VokTestClasses
  {
    ForceRemove Thing = s '%MODULE%'
    {
      val ThreadingModel = s 'Both'
    }
  }
}
)";

// The real script's keys, and a second registration replacing the first, are the library's client
// test; here the syntax it does not use and the keys unregistration must leave.
TEST_F(RegistryScript, RegistersAndUnregistersTheKeysItNamesButKeepsNoRemoveKeys) {
  const CRegistryScript script(kScript, {{"MODULE", "C:\\lib\\thing.dll"}});
  ASSERT_TRUE(script.Register());
  EXPECT_EQ(Read("VokTest.Thing"), "It's a Thing");
  EXPECT_EQ(Read("VokTest.Thing\\CurVer"), "VokTest.Thing.1");
  EXPECT_EQ(Read("VokTestClasses\\Thing"), "C:\\lib\\thing.dll");
  EXPECT_EQ(Read("VokTestClasses\\Thing", "ThreadingModel"), "Both");

  ASSERT_TRUE(vok::WriteClassKey("VokTestClasses\\Other", std::vector<vok::RegistryValue>{{"", "kept"}}));
  EXPECT_TRUE(script.Unregister());
  for (const char* key : {"VokTest.Thing", "VokTest.Thing\\CurVer", "VokTestClasses\\Thing"}) {
    EXPECT_EQ(Read(key), "<missing>") << key;
  }
  // The NoRemove parent and what others wrote below it stay.
  EXPECT_EQ(Read("VokTestClasses\\Other"), "kept");
}

TEST_F(RegistryScript, RejectsMalformedScriptsWhole) {
  const char* bad[] = {"",
                       "HKLM { Thing = s 'x' }",
                       "HKCR { Thing = 'x' }",
                       "HKCR { Thing = s 'unterminated }",
                       "HKCR { Thing { val = s 'x' } }",
                       "HKCR { val Name = s 'x' }",
                       "HKCR { Thing = d '5' }",
                       "HKCR { NoRemove }"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    const CRegistryScript script(text, {});
    EXPECT_FALSE(script.IsValid());
    EXPECT_FALSE(script.Register());
    EXPECT_FALSE(script.Unregister());
  }
  // Nesting deeper than any registration needs is refused rather than followed.
  std::string deep = "HKCR {";
  for (int i = 0; i < 40; ++i) deep += " K {";
  for (int i = 0; i < 40; ++i) deep += " }";
  deep += " }";
  EXPECT_FALSE(CRegistryScript(deep, {}).IsValid());
  EXPECT_EQ(Read("Thing"), "<missing>");
}

}  // namespace

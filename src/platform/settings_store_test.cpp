// Per-user settings and protected secrets. Linux works in a temporary folder named through the
// environment; Windows in the registry under Wine, with test-only names that are removed again.
#include "platform/settings_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/protected_data.h"

#ifndef _WIN32
#include <stdlib.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#endif

namespace vok {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
#ifndef _WIN32
  void SetUp() override {
    char folder[] = "/tmp/vokquote-settings-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    m_folder = folder;
    ::setenv("XDG_CONFIG_HOME", m_folder.c_str(), 1);
    ::unsetenv("VOKQUOTE_CONFIG");
  }
  void TearDown() override { std::filesystem::remove_all(m_folder); }
  std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  std::string m_folder;
#else
  void TearDown() override {
    CSettingsStore::DeleteValue("", "PlatformTestValue");
    CSettingsStore::DeleteValue("PlatformTest", "Nested");
    CSettingsStore::DeleteValue("", "PlatformTestText");
    CSettingsStore::DeleteValue("", "PlatformTestBytes");
    WriteProtectedSecret("PlatformTestSecret", "");
  }
#endif
};

TEST_F(SettingsStoreTest, WritesReadsAndDeletesDwordValues) {
  std::uint32_t value = 7;
  EXPECT_FALSE(CSettingsStore::ReadDword("", "PlatformTestValue", value));
  EXPECT_EQ(value, 7u);
  for (const std::uint32_t sample : {0u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    ASSERT_TRUE(CSettingsStore::WriteDword("", "PlatformTestValue", sample));
    ASSERT_TRUE(CSettingsStore::ReadDword("", "PlatformTestValue", value));
    EXPECT_EQ(value, sample);
  }
  ASSERT_TRUE(CSettingsStore::WriteDword("PlatformTest", "Nested", 42));
  ASSERT_TRUE(CSettingsStore::ReadDword("PlatformTest", "Nested", value));
  EXPECT_EQ(value, 42u);
  ASSERT_TRUE(CSettingsStore::ReadDword("", "PlatformTestValue", value));
  EXPECT_EQ(value, 0xFFFFFFFFu);  // the subkey is a different place

  EXPECT_TRUE(CSettingsStore::DeleteValue("", "PlatformTestValue"));
  EXPECT_FALSE(CSettingsStore::ReadDword("", "PlatformTestValue", value));
  EXPECT_TRUE(CSettingsStore::DeleteValue("", "PlatformTestValue"));
#ifndef _WIN32
  EXPECT_EQ(CSettingsStore::Location(), m_folder + "/vokhaldex/vokquote.ini");
  EXPECT_NE(ReadFile(CSettingsStore::Location()).find("[VokQuote\\PlatformTest]\nNested=42\n"), std::string::npos);
#else
  EXPECT_EQ(CSettingsStore::Location(), "HKEY_CURRENT_USER\\Software\\Vokhaldex\\VokQuote");
#endif
}

TEST_F(SettingsStoreTest, TextBinaryAndProtectedSecretsRoundTrip) {
  std::string text;
  ASSERT_TRUE(CSettingsStore::WriteString("", "PlatformTestText", "[::1]:5020"));
  ASSERT_TRUE(CSettingsStore::ReadString("", "PlatformTestText", text));
  EXPECT_EQ(text, "[::1]:5020");
  std::uint32_t number = 0;
  EXPECT_FALSE(CSettingsStore::ReadDword("", "PlatformTestText", number));
  const std::vector<std::uint8_t> bytes = {0, 1, 0x7F, 0x80, 0xFF};
  std::vector<std::uint8_t> readBytes;
  ASSERT_TRUE(CSettingsStore::WriteBinary("", "PlatformTestBytes", bytes));
  ASSERT_TRUE(CSettingsStore::ReadBinary("", "PlatformTestBytes", readBytes));
  EXPECT_EQ(readBytes, bytes);

  const std::string secret(64, 'a');
  std::string read;
  EXPECT_EQ(ReadProtectedSecret("PlatformTestSecret", read), ProtectedReadResult::kMissing);
  ASSERT_TRUE(WriteProtectedSecret("PlatformTestSecret", secret));
  ASSERT_EQ(ReadProtectedSecret("PlatformTestSecret", read), ProtectedReadResult::kRead);
  EXPECT_EQ(read, secret);
#ifndef _WIN32
  EXPECT_FALSE(CSettingsStore::WriteString("", "PlatformTestText", "two\nlines"));
  const std::string path = ProtectedSecretLocation("PlatformTestSecret");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(CSettingsStore::Location()).find(secret), std::string::npos);
#else
  // The registry holds only the sealed bytes, never the text.
  ASSERT_TRUE(CSettingsStore::ReadBinary("", "PlatformTestSecret", readBytes));
  EXPECT_EQ(std::string(readBytes.begin(), readBytes.end()).find("aaaaaaaa"), std::string::npos);
  // A clear text value written by hand under the name is refused.
  ASSERT_TRUE(CSettingsStore::WriteString("", "PlatformTestSecret", secret));
  EXPECT_EQ(ReadProtectedSecret("PlatformTestSecret", read), ProtectedReadResult::kExposed);
#endif
  EXPECT_TRUE(WriteProtectedSecret("PlatformTestSecret", ""));
  EXPECT_EQ(ReadProtectedSecret("PlatformTestSecret", read), ProtectedReadResult::kMissing);
}

#ifndef _WIN32
TEST_F(SettingsStoreTest, ReadsHandEditedFileAndRefusesBadNumbers) {
  const std::string path = m_folder + "/custom.ini";
  ::setenv("VOKQUOTE_CONFIG", path.c_str(), 1);
  std::ofstream(path) << "; written by hand\n[other]\nLogQuotes=9\n[vokquote]\n  LogQuotes = 0x10 \nquotestestmode=1\n"
                      << "Negative=-1\nHuge=4294967296\nWord=yes\nEmpty=\nnoequals\n";
  const std::pair<const char*, std::uint32_t> found[] = {{"LogQuotes", 16}, {"QuotesTestMode", 1}};
  std::uint32_t value = 0;
  for (const auto& [name, expected] : found) {
    EXPECT_TRUE(CSettingsStore::ReadDword("", name, value)) << name;
    EXPECT_EQ(value, expected) << name;
  }
  for (const char* name : {"Negative", "Huge", "Word", "Empty", "noequals", "Missing"}) {
    EXPECT_FALSE(CSettingsStore::ReadDword("", name, value)) << name;
  }
  EXPECT_EQ(CSettingsStore::Location(), path);
}
#endif

}  // namespace
}  // namespace vok

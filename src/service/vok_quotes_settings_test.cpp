// The per-user settings: server text parsing, the settings class's round trip through the store
// (password protected, never in clear), and what a service object and its connection take from
// them where the host set nothing. Linux works on a temporary settings file.
#include "service/vok_quotes_settings.h"

#include <gtest/gtest.h>
#include <vokquote/api.h>
#include <vokquote/version.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include "connection/quote_client.h"
#include "connection/tls_settings.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/environment.h"
#include "platform/interface_table.h"
#include "platform/protected_data.h"
#include "service/user_settings.h"
#include "service/vok_quotes.h"
#include "vkdll/trace.h"
#include "vkdll/vkdll.h"

namespace {

using vok::CBstr;
using vok::CComPtr;

TEST(ServerAddress, SplitsHostAndPortOrRefuses) {
  const struct {
    const char* text;
    const char* host;
    int port;
  } cases[] = {{"quotes.example:5021", "quotes.example", 5021},
               {" 10.0.0.1 ", "10.0.0.1", 5020},
               {"[::1]:6000", "::1", 6000},
               {"[fe80::1]", "fe80::1", 5020},
               {"fe80::2", "fe80::2", 5020}};
  for (const auto& c : cases) {
    std::string host;
    int port = 5020;
    EXPECT_TRUE(vok::ParseServerAddress(c.text, host, port)) << c.text;
    EXPECT_EQ(host, c.host) << c.text;
    EXPECT_EQ(port, c.port) << c.text;
  }
  for (const char* refused : {"host:", "host:0", "host:65536", "host:12x", "[::1]6000", "[]:1", ""}) {
    std::string host = "unchanged";
    int port = 5020;
    EXPECT_FALSE(vok::ParseServerAddress(refused, host, port)) << refused;
    EXPECT_EQ(host + ":" + std::to_string(port), "unchanged:5020") << refused;
  }
}

// The store on Linux is a file these tests can inspect; under Wine the DLL test covers it.
#ifndef _WIN32
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // One folder per test: ctest runs the cases as parallel processes.
    m_folder =
        ::testing::TempDir() + "vokquote-settings-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(m_folder);
    std::filesystem::create_directories(m_folder);
    vok::SetEnvironmentValue("VOKQUOTE_CONFIG", (m_folder + "/vokquote.ini").c_str());
  }
  void TearDown() override {
    vok::SetEnvironmentValue("VOKQUOTE_CONFIG", "");
    std::filesystem::remove_all(m_folder);
  }
  static std::string ReadFile(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  }
  std::string m_folder;
};

TEST_F(SettingsTest, SavedSettingsReachANewObjectAndTheConnectionDefaults) {
  CComPtr<IVokQuotesSettings> settings;
  ASSERT_EQ(CVokQuotesSettings::CreateInstance(nullptr, IID_IVokQuotesSettings, settings.PutVoid()), S_OK);
  EXPECT_EQ(settings->put_Server(CBstr::FromNarrow("no:port:here:[").Get()), E_INVALIDARG);
  ASSERT_EQ(settings->put_Server(CBstr::FromNarrow("[::1]:5021").Get()), S_OK);
  ASSERT_EQ(settings->put_UserName(CBstr::FromNarrow("vokuser").Get()), S_OK);
  ASSERT_EQ(settings->put_Password(CBstr::FromNarrow("vokpass").Get()), S_OK);
  ASSERT_EQ(settings->put_TraceLevel(4), S_OK);
  ASSERT_EQ(settings->put_LogQuotes(VARIANT_TRUE), S_OK);
  ASSERT_EQ(settings->put_QuotesTestMode(VARIANT_TRUE), S_OK);
  ASSERT_EQ(settings->put_UseTls(VARIANT_TRUE), S_OK);
  ASSERT_EQ(settings->put_TlsCaFile(CBstr::FromNarrow("/etc/vok/ca.pem").Get()), S_OK);
  ASSERT_EQ(settings->put_CaptureFile(CBstr::FromNarrow("/var/tmp/desk.vokcap").Get()), S_OK);
  // The pin is stored as 64 uppercase digits whatever form it came in; anything else is refused
  // and leaves the last good one.
  const std::string pin = "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";
  std::string pairs;
  for (std::size_t i = 0; i < pin.size(); i += 2) pairs += (i == 0 ? "" : ":") + pin.substr(i, 2);
  const struct {
    std::string text;
    HRESULT hr;
  } pins[] = {{pairs, S_OK},
              {pin + "0", E_INVALIDARG},
              {pin.substr(0, 63) + "g", E_INVALIDARG},
              {":" + pin.substr(1), E_INVALIDARG},
              {pairs.substr(0, 94) + " ", E_INVALIDARG},
              {"", S_OK},
              {" " + pin + " ", S_OK},
              {"00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff", S_OK}};
  for (const auto& c : pins) {
    EXPECT_EQ(settings->put_TlsPinnedCertificate(CBstr::FromNarrow(c.text).Get()), c.hr) << c.text;
    CBstr stored;
    ASSERT_EQ(settings->get_TlsPinnedCertificate(stored.Put()), S_OK);
    EXPECT_EQ(CBstr::ToNarrow(stored.Get()), c.text.empty() ? "" : pin) << c.text;
  }
  ASSERT_EQ(settings->Save(), S_OK);

  CComPtr<IVokQuotesSettings> reread;
  ASSERT_EQ(CVokQuotesSettings::CreateInstance(nullptr, IID_IVokQuotesSettings, reread.PutVoid()), S_OK);
  CBstr server, user, version, capture;
  LONG level = 0;
  VARIANT_BOOL logQuotes = VARIANT_FALSE, testMode = VARIANT_FALSE;
  ASSERT_EQ(reread->get_Server(server.Put()) | reread->get_UserName(user.Put()) | reread->get_Version(version.Put()) |
                reread->get_TraceLevel(&level) | reread->get_LogQuotes(&logQuotes) |
                reread->get_QuotesTestMode(&testMode) | reread->get_CaptureFile(capture.Put()),
            S_OK);
  EXPECT_EQ(server.ToNarrow() + " " + user.ToNarrow() + " " + version.ToNarrow() + " " + capture.ToNarrow(),
            "[::1]:5021 vokuser " VOKQUOTE_VERSION_STRING " /var/tmp/desk.vokcap");
  EXPECT_EQ(std::tuple(level, logQuotes, testMode), std::tuple(LONG{4}, VARIANT_TRUE, VARIANT_TRUE));
  {  // a service object reads them at construction
    vok::CComApartment apartment{vok::CComApartment::kMultiThreaded};
    CComPtr<IVokQuotes> quotes;
    ASSERT_EQ(CVokQuotes::CreateInstance(IID_IVokQuotes, quotes.PutVoid()), S_OK);
    const auto* object = static_cast<CVokQuotes*>(quotes.Get());
    EXPECT_EQ(std::tuple(object->LogQuotes(), object->TestInterval(), object->ImmediateDelivery()),
              std::tuple(true, 200, false));
  }
  // Immediate delivery: from the store, or for objects created after the process-wide switch.
  const auto immediate = [] {
    CComPtr<IVokQuotes> quotes;
    EXPECT_EQ(CVokQuotes::CreateInstance(IID_IVokQuotes, quotes.PutVoid()), S_OK);
    return static_cast<CVokQuotes*>(quotes.Get())->ImmediateDelivery();
  };
  {
    vok::CComApartment apartment{vok::CComApartment::kMultiThreaded};
    ASSERT_EQ(reread->put_ImmediateDelivery(VARIANT_TRUE) | reread->Save(), S_OK);
    EXPECT_TRUE(immediate());
    ASSERT_EQ(reread->put_ImmediateDelivery(VARIANT_FALSE) | reread->Save(), S_OK);
    VokSetImmediateDelivery(1);
    EXPECT_TRUE(immediate());
    VokSetImmediateDelivery(0);
    EXPECT_FALSE(immediate());
  }
  // The connection reads the TLS settings straight from the store.
  const STlsSettings tls = ReadTlsSettings();
  EXPECT_TRUE(tls.useTls);
  EXPECT_EQ(tls.caFile, "/etc/vok/ca.pem");
  EXPECT_EQ(tls.pinnedSha256, pin);

  // Stored transformed and apart from the settings file, which never holds it.
  char transformed[65] = {};
  VOK_TransformPassword("vokpass", transformed);
  const std::string ini = ReadFile(m_folder + "/vokquote.ini");
  EXPECT_EQ(ini.find("vokpass"), std::string::npos);
  EXPECT_EQ(ini.find(transformed), std::string::npos);
  EXPECT_EQ(ReadFile(vok::ProtectedSecretLocation("Password")), std::string(transformed) + "\n");

  // The host's own settings win; what it left empty comes from the store.
  SQuoteClientSettings host;
  host.port = 5020;
  host.userName = "hostuser";
  vok::ApplyUserConnectionDefaults(host);
  EXPECT_EQ(std::tie(host.address, host.port, host.userName, host.password),
            std::make_tuple("::1", 5021, "hostuser", std::string(transformed)));
  SQuoteClientSettings configured{"quotes.example", 7000, "", ""};
  vok::ApplyUserConnectionDefaults(configured);
  EXPECT_EQ(std::tie(configured.address, configured.port, configured.userName),
            std::make_tuple("quotes.example", 7000, "vokuser"));
}

TEST_F(SettingsTest, PasswordOthersCanReadIsRefusedWithAFailureLine) {
  ASSERT_TRUE(vok::WriteUserPassword(std::string(64, 'f')));
  std::filesystem::permissions(vok::ProtectedSecretLocation("Password"), std::filesystem::perms::group_read,
                               std::filesystem::perm_options::add);
  std::vector<std::string> failures;
  vok::CScopedTraceSink sink([&](int level, std::string_view text) {
    if (level == VOKTRACE_FAILURE) failures.emplace_back(text);
  });
  SQuoteClientSettings settings;
  vok::ApplyUserConnectionDefaults(settings);
  EXPECT_TRUE(settings.password.empty());
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("readable by others"), std::string::npos) << failures[0];
  EXPECT_EQ(failures[0].find(std::string(64, 'f')), std::string::npos);
}

#endif

}  // namespace

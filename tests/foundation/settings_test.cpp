#include "foundation/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "foundation/setting_ranges.h"
#include "platform/registry_store.h"
#include "test_support.h"

namespace orvalis {
namespace {

using platform::Registry_store;
using testing::Temp_dir;

// Each test gets its own settings folder through ORVALIS_CONFIG_HOME and a fresh store.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ORVALIS_CONFIG_HOME", folder_.str().c_str(), 1);
    Registry_store::instance().close();
    Settings_cache::instance().clear();
    network_limits() = Network_limits{};
  }
  void TearDown() override {
    Registry_store::instance().close();
    Settings_cache::instance().clear();
    unsetenv("ORVALIS_CONFIG_HOME");
  }
  // Writes the settings file by hand, as a user editing it would.
  void write_file(const std::string& text) { testing::write_file(file(), text); }
  std::string file() const { return folder_.file("Software_Brennick_Orvalis_2.0.conf"); }
  Temp_dir folder_{"orvalis-settings-"};
  testing::Message_recorder errors_;
};

TEST_F(SettingsTest, StoreOpensOnceAndNamesAreCaseSensitive) {
  write_file("installdir=/lower\nInstallDir=/right\n");
  ASSERT_TRUE(open_settings_store());
  EXPECT_FALSE(open_settings_store());
  EXPECT_EQ(errors_.messages().last(), "Registry already initialized.");
  EXPECT_EQ(Registry_store::instance().read("InstallDir"), "/right");
  EXPECT_EQ(Registry_store::instance().read("INSTALLDIR"), "");
}

TEST_F(SettingsTest, UseBeforeOpenIsReported) {
  EXPECT_EQ(Registry_store::instance().read("InstallDir"), "");
  Registry_store::instance().write("X", "1");
  ASSERT_EQ(errors_.messages().count(), 2);
  EXPECT_EQ(errors_.messages()[0], "Registry not initialized.");
}

TEST_F(SettingsTest, WritesRoundTripAnyTextAndKeepOtherValues) {
  write_file("Keep=me\nthis line is garbage\n=no name\n");
  ASSERT_TRUE(open_settings_store());
  Registry_store& r = Registry_store::instance();
  ASSERT_TRUE(r.write("Multi", "line one\nline two \\ back"));
  EXPECT_EQ(r.read("Multi"), "line one\nline two \\ back");
  EXPECT_EQ(r.read("Keep"), "me");
  EXPECT_EQ(testing::read_file(file()).find("garbage"), std::string::npos);
  // A second front-end's write made behind our back is kept by our next write.
  std::ofstream(file(), std::ios::app) << "Other=theirs\n";
  ASSERT_TRUE(r.write("Mine", "ours"));
  r.close();
  ASSERT_TRUE(open_settings_store());
  EXPECT_EQ(r.read("Other"), "theirs");
  EXPECT_EQ(r.read("Multi"), "line one\nline two \\ back");
}

TEST_F(SettingsTest, AKilledWriterNeverLeavesAHalfWrittenFile) {
  write_file("InstallDir=/data\n");
  ASSERT_TRUE(open_settings_store());
  // A child writes large values in a loop and is killed in the middle; the file stays whole.
  testing::Child_process child;
  ASSERT_TRUE(child.start([] {
    for (int i = 0;; ++i) Registry_store::instance().write("Big", std::string(200000, 'a' + i % 26));
  }));
  // Killed once it has written at least once: the file then holds one whole value.
  for (int i = 0; i < 2000 && testing::read_file(file()).find("Big=") == std::string::npos; ++i)
    usleep(5000);
  child.kill_now();
  Registry_store::instance().close();
  ASSERT_TRUE(open_settings_store());
  EXPECT_EQ(Registry_store::instance().read("InstallDir"), "/data");
  std::string big = Registry_store::instance().read("Big");
  ASSERT_EQ(big.size(), 200000u);
  EXPECT_EQ(big.find_first_not_of(big[0]), std::string::npos);
}

TEST_F(SettingsTest, LoadTakesTheFileAndChecksTheProxy) {
  write_file("InstallDir=/opt/orvalis\nBrowserPath=/usr/bin/xdg-open\nBrowserDDE=none\n"
             "NetworkTimeout=5\nProxyHost=proxy\nVerifyCertificates=No\n");
  ASSERT_TRUE(open_settings_store());
  profile_put_string("ProxyEnabled", "yes");
  EXPECT_EQ(load_settings(), 1);
  EXPECT_FALSE(network_limits().verify_certificates);  // "No" as `settings set` spells it
  Settings_cache& c = Settings_cache::instance();
  EXPECT_EQ(c.get("lexicon_path"), "/opt/orvalis");
  EXPECT_EQ(network_limits().search_timeout, 10);  // below the floor of 10 seconds
  // Proxy switched on with a host but no port: reported and switched off.
  EXPECT_EQ(c.get("ProxyEnabled"), "no");
  ASSERT_EQ(errors_.messages().count(), 1);
  EXPECT_EQ(errors_.messages()[0], "Port not specified for proxy host. Proxy support disabled.");
  EXPECT_EQ(pages_folder(), "/opt/orvalis/pages/");
  EXPECT_EQ(engines_folder(), "/opt/orvalis/engines/");
}

TEST_F(SettingsTest, BadNumbersAndMissingValues) {
  write_file("InstallDir=/x/\nNetworkTimeout=abc\nConcurrentReq=0\nConcurrentDNS=-2\n"
             "MaxDocumentBytes=3000000000\nProxyPort=99999\n");
  ASSERT_TRUE(open_settings_store());
  profile_put_string("ProxyEnabled", "Yes");  // only the exact "yes" is checked
  EXPECT_EQ(load_settings(), 1);
  // Each bad number is reported with its range and read as the default: no limit of 0 (every
  // task would wait forever) and no read limit of gigabytes.
  EXPECT_EQ(network_limits().search_timeout, 60);
  EXPECT_EQ(network_limits().concurrent_requests, 8);
  EXPECT_EQ(network_limits().concurrent_lookups, 3);
  EXPECT_EQ(network_limits().max_document_bytes, 1048576);
  EXPECT_EQ(Settings_cache::instance().get("ProxyPort"), "");
  EXPECT_EQ(Settings_cache::instance().get("ProxyEnabled"), "Yes");
  for (const char* part : {"NetworkTimeout must be a whole number from 10 to 3600: the stored 'abc'",
                           "ConcurrentReq must be a whole number from 1 to 60: the stored '0' is ignored and 8",
                           "ConcurrentDNS must be a whole number from 1 to 32", "MaxDocumentBytes",
                           "ProxyPort must be a whole number from 1 to 65535"})
    EXPECT_TRUE(errors_.has(part)) << part << "\n" << errors_.all();
  // The browser settings are missing: reported, not cached.
  EXPECT_TRUE(errors_.has(Ref_string::from_id(18010).str()));
  EXPECT_EQ(pages_folder(), "/x/pages/");
}

TEST(SettingRanges, ValuesAreCheckedAgainstTheirSettingsRange) {
  struct Case {
    const char* name;
    const char* value;
    bool ok;
  };
  const Case cases[] = {
      {"ConcurrentReq", "8", true},        {"ConcurrentReq", "0", false},
      {"ConcurrentReq", "-1", false},      {"ConcurrentReq", "abc", false},
      {"ConcurrentReq", "", false},        {"ConcurrentReq", "4x", false},
      {"ConcurrentDNS", "0", false},       {"ConcurrentDNS", "1", true},
      {"NetworkTimeout", "9", false},      {"NetworkTimeout", "3600", true},
      {"MaxDocumentBytes", "67108864", true}, {"MaxDocumentBytes", "67108865", false},
      {"MaxDocumentBytes", "99999999999999999999999", false},
      {"MaxResultsPerPage", "0", false},   {"MaxResultsPerPage", "10000", true},
      {"ProxyPort", "", true},             {"ProxyPort", "0", false},
      {"ShowWelcomeDialog", "2", false},   {"UserName", "anything at all", true},
      {"RespectRobots", "no", true},       {"RespectRobots", "maybe", false},
      {"AcceptCompression", "YES", true},  {"VerifyCertificates", "off", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(setting_value_problem(c.name, c.value).empty(), c.ok) << c.name << "=" << c.value;
  EXPECT_EQ(setting_value_problem("ConcurrentReq", "0"), "ConcurrentReq must be a whole number from 1 to 60, not '0'");
}

TEST(SettingRanges, StoredValuesOutsideTheRangeReadAsTheDefault) {
  testing::Message_recorder errors;
  EXPECT_EQ(stored_setting_number("NetworkTimeout", "5"), 10);  // the floor of 10 seconds, silently
  EXPECT_EQ(stored_setting_number("ConcurrentReq", " 12 "), 12);
  EXPECT_EQ(stored_setting_number("ConcurrentReq", ""), 8);
  EXPECT_EQ(errors.texts().size(), 0u) << errors.all();
  EXPECT_EQ(stored_setting_number("NetworkTimeout", "4000"), 60);
  EXPECT_EQ(stored_setting_number("MaxDocumentBytes", "100"), 1048576);
  EXPECT_EQ(errors.texts().size(), 2u);
}

TEST_F(SettingsTest, MissingInstallFolderStopsTheLoadEarly) {
  write_file("NetworkTimeout=99\n");
  ASSERT_TRUE(open_settings_store());
  EXPECT_EQ(load_settings(), 0);
  EXPECT_EQ(errors_.messages()[0], "Unable to read installation path from registry.");
  EXPECT_EQ(network_limits().search_timeout, Network_limits{}.search_timeout);
}

TEST_F(SettingsTest, SaveWritesTheEditableValues) {
  write_file("InstallDir=/x\nBrowserPath=b\nBrowserDDE=d\n");
  ASSERT_TRUE(open_settings_store());
  load_settings();
  Settings_cache::instance().set("ProxyHost", "p");
  Settings_cache::instance().set("ProxyHost", "proxy.local");
  int proxy_pairs = 0;
  for (const auto& p : Settings_cache::instance().pairs()) proxy_pairs += p.name == "ProxyHost";
  EXPECT_EQ(proxy_pairs, 1);  // setting a name twice keeps one pair
  network_limits().search_timeout = 45;
  EXPECT_EQ(save_settings(), 1);
  Registry_store& r = Registry_store::instance();
  EXPECT_EQ(r.read("ProxyHost"), "proxy.local");
  EXPECT_EQ(r.read("NetworkTimeout"), "45");
  EXPECT_EQ(profile_get_string("ProxyEnabled", "?"), "no");
}

TEST(SettingsFolders, JoinAddsOneSlash) {
  EXPECT_EQ(join_folder("", "pages/"), "pages/");
  EXPECT_EQ(join_folder("/a", "pages/"), "/a/pages/");
  EXPECT_EQ(join_folder("/a/", "pages/"), "/a/pages/");
}

}  // namespace
}  // namespace orvalis

// The first start, install and settings commands of orvalis-cli, run as a user would.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_runner.h"
#include "platform/version.h"

namespace orvalis::test {
namespace {

namespace fs = std::filesystem;

TEST(CliSetup, FirstStartInstallsTheDataFolderAndSaysWhatItWrote) {
  Cli_sandbox box;
  // On empty folders the automatic first start runs just before the command: its work is told.
  Cli_result r = box.run({"install"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("wrote InstallDir=" + box.path("data/orvalis")), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("copied " + box.path("data/orvalis/LEXICON.DAT")), std::string::npos);
  EXPECT_TRUE(fs::exists(box.path("data/orvalis/searchres.ini")));
  EXPECT_TRUE(fs::is_directory(box.path("data/orvalis/pages/images")));
  EXPECT_TRUE(fs::is_directory(box.path("data/orvalis/engines")));
  r = box.run({"settings", "list"});
  EXPECT_NE(r.out.find("SearchResources=" + box.path("data/orvalis/searchres.ini")), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("UserName="), std::string::npos);

  // install again on demand: nothing to copy, nothing overwritten.
  ASSERT_EQ(box.run({"settings", "set", "NetworkTimeout", "90"}).status, 0);
  r = box.run({"install"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Everything was in place."), std::string::npos) << r.out;
  EXPECT_EQ(box.run({"settings", "get", "NetworkTimeout"}).out, "90\n");

  // Settings of another start but no data folder: only what is missing is written.
  Cli_sandbox other;
  fs::create_directories(other.path("config"));
  std::ofstream(other.config_file()) << "UserName=kept\n";
  r = other.run({"--json", "install"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"InstallDir=" + other.path("data/orvalis") + "\""), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("UserName="), std::string::npos);
  EXPECT_NE(r.out.find("LEXICON.DAT"), std::string::npos);
}

TEST(CliSetup, VersionIsTheProjectsAndNeedsNoFirstStart) {
  Cli_sandbox box;
  Cli_result r = box.run({"--version"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "orvalis-cli " ORVALIS_VERSION "\n");
  EXPECT_FALSE(fs::exists(box.config_file())) << "--version must not set anything up";
  r = box.run({"install"});
  EXPECT_NE(r.out.find("Shipped data: " ORVALIS_DATA_DIR "\n"), std::string::npos) << r.out;
}

TEST(CliSetup, GarbageSettingsAndBadNumbersKeepTheProgramRunning) {
  Cli_sandbox box;
  fs::create_directories(box.path("config"));
  std::ofstream(box.config_file()) << "\x01\x02 garbage\n[section]\nNetworkTimeout=abc\n";
  Cli_result r = box.run({"settings", "get", "NetworkTimeout"});
  EXPECT_EQ(r.status, 0) << "the start-up check warns; the command's own outcome decides";
  EXPECT_NE(r.err.find("Warning: Unable to read installation path from registry."), std::string::npos)
      << r.err;
  EXPECT_EQ(r.out, "abc\n");

  // The README's order: the proxy switched on before its host and port.
  Cli_sandbox proxy;
  ASSERT_EQ(proxy.run({"settings", "set", "ProxyEnabled", "yes"}).status, 0);
  r = proxy.run({"settings", "set", "ProxyHost", "127.0.0.1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("Warning: Port not specified for proxy host."), std::string::npos) << r.err;
  ASSERT_EQ(proxy.run({"settings", "set", "ProxyPort", "3128"}).status, 0);
  EXPECT_EQ(proxy.run({"settings", "get", "ProxyPort"}).err, "");
}

TEST(CliSetup, BadUsageExitsWithTwo) {
  Cli_sandbox box;
  Cli_result r = box.run({"frobnicate"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Error: unknown command 'frobnicate'"), std::string::npos);
  EXPECT_EQ(box.run({}).status, 2);
  EXPECT_EQ(box.run({"--db"}).status, 2);
  r = box.run({"settings", "get"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Error: missing setting name"), std::string::npos) << r.err;
  for (const char* name : {"#Hidden", "a=b", "two\nlines", ""}) {
    r = box.run({"settings", "set", name, "v"});
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_NE(r.err.find("Error: the settings file cannot hold a setting named"), std::string::npos) << r.err;
  }
  // Numbers outside their setting's range are refused with the range; none is stored.
  const std::pair<const char*, const char*> numbers[] = {{"ConcurrentReq", "0"}, {"ConcurrentReq", "-1"},
                                                         {"ConcurrentReq", "abc"}, {"ConcurrentDNS", "0"},
                                                         {"MaxDocumentBytes", "68719476736"}};
  for (const auto& [name, value] : numbers) {
    r = box.run({"settings", "set", name, value});
    EXPECT_EQ(r.status, 2) << name << " " << value;
    EXPECT_NE(r.err.find(std::string(name) + " must be a whole number from"), std::string::npos) << r.err;
  }
  EXPECT_EQ(box.run({"settings", "list"}).out.find("v\n"), std::string::npos) << "nothing was stored";
  EXPECT_EQ(box.run({"settings", "get", "ConcurrentReq"}).out, "8\n");
  r = box.run({"settings", "get", "NoSuchSetting"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Error: No setting named 'NoSuchSetting'."), std::string::npos);
}

TEST(CliSetup, TheProgramCarriesNoTestHooks) {
  // Fault injection is compiled into the tests only.
  std::string program = testing::read_file(ORVALIS_CLI);
  ASSERT_GT(program.size(), 100000u);
  EXPECT_EQ(program.find(std::string("ORVALIS_TEST") + "_FAULTS"), std::string::npos);
}

}  // namespace
}  // namespace orvalis::test

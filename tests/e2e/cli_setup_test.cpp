// The first start, install and settings commands of orvalis-cli, run as a user would.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_runner.h"

namespace orvalis::test {
namespace {

namespace fs = std::filesystem;

TEST(CliSetup, FirstStartInstallsTheDataFolderAndDefaults) {
  Cli_sandbox box;
  Cli_result r = box.run({"settings", "list"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(box.path("data/orvalis/LEXICON.DAT")));
  EXPECT_TRUE(fs::exists(box.path("data/orvalis/searchres.ini")));
  EXPECT_TRUE(fs::is_directory(box.path("data/orvalis/pages/images")));
  EXPECT_TRUE(fs::is_directory(box.path("data/orvalis/engines")));
  EXPECT_NE(r.out.find("InstallDir=" + box.path("data/orvalis")), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("SearchResources=" + box.path("data/orvalis/searchres.ini")), std::string::npos);
  EXPECT_NE(r.out.find("UserName="), std::string::npos);

  // install again on demand: nothing to copy, nothing overwritten.
  ASSERT_EQ(box.run({"settings", "set", "NetworkTimeout", "90"}).status, 0);
  r = box.run({"install"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Everything was in place."), std::string::npos) << r.out;
  EXPECT_EQ(box.run({"settings", "get", "NetworkTimeout"}).out, "90\n");
}

TEST(CliSetup, InstallSaysWhatItWrote) {
  Cli_sandbox box;
  fs::create_directories(box.path("config"));
  std::ofstream(box.config_file()) << "UserName=kept\n";  // not a first start
  Cli_result r = box.run({"--json", "install"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"InstallDir=" + box.path("data/orvalis") + "\""), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("UserName="), std::string::npos);
  EXPECT_NE(r.out.find("LEXICON.DAT"), std::string::npos);
}

TEST(CliSetup, GarbageSettingsAndBadNumbersKeepTheProgramRunning) {
  Cli_sandbox box;
  fs::create_directories(box.path("config"));
  std::ofstream(box.config_file()) << "\x01\x02 garbage\n[section]\nNetworkTimeout=abc\n";
  Cli_result r = box.run({"settings", "get", "NetworkTimeout"});
  EXPECT_EQ(r.status, 1);  // the missing installation folder was reported
  EXPECT_NE(r.err.find("Error: Unable to read installation path from registry."), std::string::npos)
      << r.err;
  EXPECT_EQ(r.out, "abc\n");
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
  r = box.run({"settings", "get", "NoSuchSetting"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Error: No setting named 'NoSuchSetting'."), std::string::npos);
}

}  // namespace
}  // namespace orvalis::test

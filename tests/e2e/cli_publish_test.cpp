// publish and the --html detail pages of orvalis-cli: the pages land in the data folder's
// pages/ beside the pictures the installer laid out, and the printed path is the page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "cli_runner.h"

namespace orvalis::test {
namespace {

namespace fs = std::filesystem;

TEST(CliPublish, WritesTheIndexAndTopicPagesBesideTheirPictures) {
  Cli_sandbox box;
  ASSERT_EQ(box.run({"new", box.path("research.ov2")}).status, 0);
  ASSERT_EQ(box.run({"topic", "add", "Solar <sails>", "--term", "sail"}).status, 0);
  ASSERT_EQ(box.run({"doc", "add", "1", "https://example.org/s", "--title", "Sails"}).status, 0);
  std::string pages = box.path("data/orvalis/pages/");

  Cli_result r = box.run({"publish"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, pages + "index.htm\n");
  for (const char* file : {"topics.htm", "blank.htm", "t1.htm", "images/ovbg.gif", "images/new.gif"})
    EXPECT_TRUE(fs::is_regular_file(pages + file)) << file;

  r = box.run({"--json", "publish", "Solar <sails>"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "{\"path\":\"" + pages + "t1.htm\",\"pages\":1}\n");

  // The detail texts themselves are pinned by the page tests.
  EXPECT_NE(box.run({"topic", "show", "1", "--html"}).out.find("Solar &lt;sails&gt;"), std::string::npos);
  EXPECT_NE(box.run({"doc", "show", "https://example.org/s", "--html", "--topic", "1"}).out.find("<STRONG>Sails"),
            std::string::npos);

  r = box.run({"publish", "No such topic"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("No topic named 'No such topic'"), std::string::npos) << r.err;
}

TEST(CliPublish, TheDateOfThePagesFollowsTheUsersLocale) {
  Cli_sandbox box;
  // A locale of its own, compiled from the system's sources into the sandbox.
  const std::string locales = box.path("locales");
  const std::string make = "localedef -i de_DE -f UTF-8 " + locales + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(("mkdir -p " + locales + " && " + make).c_str()) != 0) GTEST_SKIP() << "localedef cannot make de_DE";
  box.extra_env = {{"LOCPATH", locales}, {"LC_ALL", "de_DE.UTF-8"}};
  ASSERT_EQ(box.run({"new", box.path("research.ov2")}).status, 0);
  ASSERT_EQ(box.run({"topic", "add", "Tides"}).status, 0);
  Cli_result r = box.run({"publish"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string page = testing::read_file(box.path("data/orvalis/pages/topics.htm"));
  EXPECT_TRUE(std::regex_search(page, std::regex("Published<BR>[0-3][0-9]\\.[01][0-9]\\.20[0-9][0-9]<BR>"))) << page;
}

}  // namespace
}  // namespace orvalis::test

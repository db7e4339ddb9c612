// Robots rules: the matching of RFC 9309's examples, and the cache that fetches robots.txt from
// nginx (files, statuses, redirects, a file too large, garbage) and keeps the answer a day by
// the hand-moved clock.
#include <gtest/gtest.h>

#include <string>

#include "net/robots_cache.h"
#include "net/robots_rules.h"
#include "net_fixture.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

// The example file of RFC 9309 section 5.1 and the rules of its other sections.
const char kRfc_file[] =
    "User-Agent: *\n"
    "Disallow: *.gif$\n"
    "Disallow: /example/\n"
    "Allow: /publications/\n"
    "\n"
    "User-Agent: foobot\n"
    "Disallow:/\n"
    "Allow:/example/page.html\n"
    "Allow:/example/allowed.gif\n"
    "\n"
    "User-Agent: barbot\n"
    "User-Agent: bazbot\n"
    "Disallow: /example/page.html\n"
    "\n"
    "User-Agent: quxbot\n"
    "\n"
    "user-agent: FooBot/2.1 # the same product token, another case and version\n"
    "disallow: /also-merged\n";

TEST(Robots_rules, TheRfcExamplesMatchAsTheRfcSays) {
  const struct {
    const char* agent;
    const char* path;
    bool allowed;
  } cases[] = {
      {"foobot", "/", false},  {"foobot", "/example/page.html", true},
      {"foobot", "/example/allowed.gif", true},  {"foobot", "/example/other.gif", false},
      {"foobot", "/also-merged/x", false},  // groups for one agent are merged
      {"barbot", "/example/page.html", false},  {"bazbot", "/example/page.html", false},
      {"bazbot", "/example/other.html", true},  // a named group replaces "*"
      {"quxbot", "/example/page.html", true},  // an empty group allows everything
      {"otherbot", "/example/page.html", false}, {"otherbot", "/a/b.gif", false},
      {"otherbot", "/a/b.gif?x=1", true},  // "$" anchors the end
      {"otherbot", "/publications/x", true}, {"otherbot", "/robots.txt", true},
      {"orvalis", "/example/", false},
  };
  for (const auto& c : cases) {
    const Robots_rules rules = Robots_rules::parse(kRfc_file, c.agent);
    EXPECT_EQ(rules.allowed(c.path), c.allowed) << c.agent << " " << c.path;
  }
}

TEST(Robots_rules, LongestMatchWinsAndAllowWinsATie) {
  static const std::string slashes(2000, '/');
  const struct {
    const char* rules;
    const char* path;
    bool allowed;
  } cases[] = {
      {"allow: /example/page/\ndisallow: /example/page/disallowed.gif", "/example/page/disallowed.gif", false},
      {"allow: /example/page/\ndisallow: /example/page/disallowed.gif", "/example/page/other", true},
      {"allow: /folder\ndisallow: /folder", "/folder/page", true},
      {"allow: /page\ndisallow: /*.html", "/page.html", false},
      {"allow: /$\ndisallow: /", "/", true},
      {"allow: /$\ndisallow: /", "/page.htm", false},
      {"disallow: /foo/bar?baz=quz", "/foo/bar?baz=quz", false},
      {"disallow: /foo/bar/\xE2\x98\x83", "/foo/bar/%E2%98%83", false},
      {"disallow: /foo/bar/%e2%98%83", "/foo/bar/%E2%98%83", false},
      {"disallow: /fish*.php", "/fishheads/catfish.php?parameters", false},
      {"disallow: /fish*.php", "/Fish.PHP", true},
      {"disallow: /*/*/*/*/*/*/*/*/*/*/*/*/*x", slashes.c_str(), true},
      {"disallow:", "/anything", true},
      {"disallow /no-colon\nrubbish\n:\n\x01\xFF: /x\nallow:/x", "/no-colon", true},
      {"# nothing but a comment", "/", true},
  };
  for (const auto& c : cases) {
    const Robots_rules rules = Robots_rules::parse(std::string("user-agent: *\n") + c.rules);
    EXPECT_EQ(rules.allowed(c.path), c.allowed) << c.rules << " / " << c.path;
  }
  EXPECT_EQ(Robots_rules::parse("User-agent: Orvalis\nCrawl-delay: 45.5\n").crawl_delay(), 46);
  EXPECT_EQ(Robots_rules::parse("User-agent: *\nCrawl-delay: soon\n").crawl_delay(), -1);
  EXPECT_FALSE(Robots_rules::disallow_all().allowed("/x"));
  EXPECT_TRUE(Robots_rules::disallow_all().allowed("/robots.txt"));
}

class Robots_cache_test : public Net_test {
 protected:
  void SetUp() override {
    Net_test::SetUp();
    if (!have_program("nginx")) GTEST_SKIP() << "nginx is not installed";
    Robots_cache::instance().clear();
    platform::set_clock(&clock_);
  }
  void TearDown() override {
    platform::set_clock(nullptr);
    Robots_cache::instance().clear();
    Net_test::TearDown();
  }
  // Asks until the rules are known.
  Robots_cache::Answer ask(const std::string& url) {
    Robots_cache::Answer a = Robots_cache::waiting;
    run_loop_until([&] { return (a = Robots_cache::instance().require(Ref_string(url))) != Robots_cache::waiting; });
    return a;
  }
  platform::Manual_clock clock_{1800000000};
};

TEST_F(Robots_cache_test, AnswersOfTheSiteDecide) {
  std::string big = "user-agent: *\ndisallow: /private\n" + std::string(10 << 20, '#');
  std::string late = "user-agent: *\n" + std::string(600 * 1024, '\n') + "disallow: /\n";
  const struct {
    const char* what;
    std::string config;  // locations for the server
    std::string file;    // robots.txt, when the config serves the file
    const char* path;
    Robots_cache::Answer answer;
  } cases[] = {
      {"a file's rules", "", "User-agent: *\nDisallow: /private\n", "/private/x", Robots_cache::disallowed},
      {"a file's rules elsewhere", "", "User-agent: *\nDisallow: /private\n", "/public", Robots_cache::allowed},
      {"404 allows", "", "", "/x", Robots_cache::allowed},
      {"403 allows", "location = /robots.txt { return 403; }\n", "", "/x", Robots_cache::allowed},
      {"500 keeps away", "location = /robots.txt { return 500; }\n", "", "/x", Robots_cache::disallowed},
      {"503 keeps away", "location = /robots.txt { return 503; }\n", "", "/x", Robots_cache::disallowed},
      {"five redirects followed",
       "location = /robots.txt { return 301 /r1; }\nlocation = /r1 { return 302 /r2; }\n"
       "location = /r2 { return 307 /r3; }\nlocation = /r3 { return 308 /r4; }\n"
       "location = /r4 { return 301 /real.txt; }\n",
       "", "/private/y", Robots_cache::disallowed},
      {"10 MB: the start is read", "", big, "/private", Robots_cache::disallowed},
      {"past 500 KiB: not read", "", late, "/x", Robots_cache::allowed},
      {"garbage lines", "", "\x89PNG\r\n\x1a\n\rIHDR: /\n<html><body>Not found</body></html>", "/x",
       Robots_cache::allowed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Nginx_server nginx;
    ASSERT_TRUE(nginx.start(c.config));
    if (!c.file.empty()) nginx.put("/robots.txt", c.file);
    nginx.put("/real.txt", "User-agent: orvalis\nDisallow: /private\n");
    EXPECT_EQ(ask(nginx.url(c.path)), c.answer);
  }
}

TEST_F(Robots_cache_test, KeptForADayAndAFailedSiteForAnHour) {
  const struct {
    const char* what;
    std::string config;
    std::int64_t advance;  // seconds the clock moves after the first answer
    int fetches;           // robots files fetched in all
  } cases[] = {
      {"500 within the day", "location = /robots.txt { return 500; }\n", 24 * 3600 - 10, 1},
      {"500 after the day", "location = /robots.txt { return 500; }\n", 24 * 3600 + 10, 2},
      {"a file after 23 hours", "", 23 * 3600, 1},
      {"a file after 25 hours", "", 25 * 3600, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Robots_cache::instance().clear();
    Nginx_server nginx;
    ASSERT_TRUE(nginx.start(c.config));
    nginx.put("/robots.txt", "User-agent: *\nDisallow: /\n");
    EXPECT_EQ(ask(nginx.url("/page")), Robots_cache::disallowed);
    clock_.advance(c.advance);
    EXPECT_EQ(ask(nginx.url("/page")), Robots_cache::disallowed);
    EXPECT_EQ(Robots_cache::instance().fetch_count(), c.fetches);
  }
  // A site that cannot be reached is kept away from for an hour only.
  Robots_cache::instance().clear();
  const std::string gone = "http://127.0.0.1:" + std::to_string(free_port()) + "/page";
  EXPECT_EQ(ask(gone), Robots_cache::disallowed);
  clock_.advance(3601);
  EXPECT_EQ(Robots_cache::instance().require(Ref_string(gone)), Robots_cache::waiting);
}

TEST_F(Robots_cache_test, TheFetchWaitsForTheHostSpacing) {
  set_host_spacing_enabled(true);
  Nginx_server nginx;
  ASSERT_TRUE(nginx.start());
  nginx.put("/robots.txt", "User-agent: *\nDisallow: /no\n");
  Host_table::instance().set_launch_time("127.0.0.1", clock_.now());
  EXPECT_EQ(Robots_cache::instance().require(Ref_string(nginx.url("/no"))), Robots_cache::waiting);
  EXPECT_EQ(Robots_cache::instance().fetch_count(), 0);
  clock_.advance(kHost_spacing_seconds + 1);
  EXPECT_EQ(ask(nginx.url("/no")), Robots_cache::disallowed);
  EXPECT_EQ(Robots_cache::instance().fetch_count(), 1);
}

}  // namespace
}  // namespace orvalis::testing

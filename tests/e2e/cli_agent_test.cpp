// The agent's commands from the built program: the road of one search on the demo web (the
// engine's form, its result page, the articles fetched and summarized), one engine's query
// shown by "resource test", and "agent run" stopped by SIGTERM with transfers in flight.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "../database/database_test_support.h"
#include "cli_runner.h"
#include "demo_web/demo_web.h"
#include "test_servers.h"

namespace orvalis::test {
namespace {

std::string integrity(const std::string& path) {
  Database db;
  db.open_file(path, Database::Mode::read_only);
  return orvalis::testing::scalar_text(db, "PRAGMA integrity_check");
}

// A sandbox with a new database whose one engine, of category "Web", is at `location`.
class CliAgent : public ::testing::Test {
 protected:
  void add_engine(const std::string& location, const std::string& ignore) {
    orvalis::testing::write_file(box_.path("engine.ini"), "[Test Engine]\nEnabled=1\nLocation=" + location +
                                     "\nSearchField=q\nIgnoreSubstrings=" + ignore + "\nCategory=Web\n");
    ASSERT_EQ(box_.run({"settings", "set", "SearchResources", box_.path("engine.ini")}).status, 0);
    ASSERT_EQ(box_.run({"new", db_}).status, 0);
  }
  Cli_sandbox box_;
  std::string db_ = box_.path("agent.ov2");
};

TEST_F(CliAgent, ASearchWhoseEveryEngineFailedSaysWhichAndWhy) {
  add_engine("http://127.0.0.1:" + std::to_string(testing::free_port()) + "/search", "");
  ASSERT_EQ(box_.run({"topic", "add", "kites", "--category", "Web"}).status, 0);
  Cli_result r = box_.run({"search", "kites"}, 120);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("No search engine answered for 'kites': Test Engine ("), std::string::npos) << r.err;
}

TEST_F(CliAgent, SearchFindsFetchesAndSummarizesTheDemoArticles) {
  demo::Demo_web web;
  std::string error;
  // One host per article: no two fetches wait for each other's 30-second spacing.
  ASSERT_TRUE(web.start(error, 64)) << error;
  add_engine(web.engine_location(), web.ignore_list());

  Cli_result r = box_.run({"resource", "test", "Test Engine", "solar sail"});
  EXPECT_NE(r.out.find("GET /search?q=solar+sail"), std::string::npos) << r.out << r.err;

  ASSERT_EQ(box_.run({"topic", "add", "solar sail", "--category", "Web"}).status, 0);
  r = box_.run({"search", "solar sail"}, 120);
  ASSERT_EQ(r.status, 0) << r.err;
  // More than one found, every one new and summarized.
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\n([2-9]|\\d\\d+) documents found, \\1 new, \\1 summarized\n$")))
      << r.out;
  EXPECT_EQ(r.out.find(web.engine_address()), std::string::npos) << "an engine link was kept:\n" << r.out;

  // Searching again finds the same documents and adds none; --json lists what was added.
  EXPECT_EQ(box_.run({"--json", "search", "solar sail"}, 120).out, "[]\n");

  // Following a document's links finds the articles it links to.
  r = box_.run({"follow", "1", "--topic", "solar sail"}, 120);
  EXPECT_TRUE(std::regex_search(r.out, std::regex("(^|\n)[1-9]\\d* documents? found"))) << r.out << r.err;
  EXPECT_EQ(integrity(db_), "ok");
}

TEST_F(CliAgent, SigtermDuringAgentRunStopsTransfersAndLeavesASoundDatabase) {
  testing::Scripted_server silent;
  ASSERT_TRUE(silent.start([](testing::Scripted_server::Peer& p) { while (!p.stopping()) usleep(10000); }));
  add_engine(silent.url("/search"), "");
  for (const char* name : {"comets", "tides"}) {
    ASSERT_EQ(box_.run({"topic", "add", name, "--category", "Web"}).status, 0);
    ASSERT_EQ(box_.run({"topic", "set", name, "--query-enabled", "1"}).status, 0);
  }
  box_.signal_after_ms = 3000;
  Cli_result r = box_.run({"agent", "run"}, 30);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Due now: Searching for topic 'comets'"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("Stopped"), std::string::npos) << r.err;
  EXPECT_GE(silent.connections(), 1);
  EXPECT_EQ(integrity(db_), "ok");

  // The due searches stamped their topics: a second run finds nothing due.
  box_.signal_after_ms = 0;
  EXPECT_NE(box_.run({"agent", "run", "--once"}, 30).out.find("No tasks are due now."), std::string::npos);
}

// An isindex engine served by nginx: the query goes out as one form value (a space as "+",
// its own "#" and "+" encoded) and nginx answers; an engine that answers other than 200 makes
// "resource test" fail.
TEST_F(CliAgent, ResourceTestSendsEncodedQueriesAndFailsWithoutA200) {
  testing::Nginx_server nginx;
  if (!testing::have_program("nginx") || !nginx.start("    location = /find { return 200 \"<a href='/r/$args'>Result</a>\"; }\n"))
    GTEST_SKIP() << "nginx could not be started";
  std::string ini;
  for (const auto& [name, path] : {std::pair{"Index", "/find"}, {"Missing", "/gone"}})
    ini += std::string("[") + name + "]\nEnabled=1\nLocation=" + nginx.url(path) + "\nSearchField=isindex_search_field\n";
  orvalis::testing::write_file(box_.path("engine.ini"), ini);
  ASSERT_EQ(box_.run({"settings", "set", "SearchResources", box_.path("engine.ini")}).status, 0);
  ASSERT_EQ(box_.run({"new", db_}).status, 0);
  const struct {
    const char *engine, *out;
    int status;
  } cases[] = {{"Index", "GET /find?green+tea+%231+c%2B%2B HTTP/1.0", 0},
               {"Index", "/r/green+tea+%231+c%2B%2B  Result", 0},  // the query nginx read
               {"Missing", "HTTP status 404", 1}};
  for (const auto& c : cases) {
    Cli_result r = box_.run({"resource", "test", c.engine, "green tea #1 c++"});
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out << r.err;
  }
}

TEST_F(CliAgent, ResourceTestListsTheLinksASearchWouldNotStore) {
  testing::Nginx_server nginx;
  ASSERT_TRUE(nginx.start());
  const std::string long_link = "http://127.0.0.1/" + std::string(2100, 'a');
  nginx.put("/search", "<html><body><a href=\"http://127.0.0.1/short\">Short</a> <a href=\"" + long_link +
                           "\">Long</a></body></html>");
  add_engine(nginx.url("/search"), "");
  Cli_result r = box_.run({"resource", "test", "Test Engine", "sails"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::size_t too_long = r.out.find("Links dropped as too long to store (1):\n  " + long_link);
  EXPECT_NE(too_long, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(long_link), too_long + std::string("Links dropped as too long to store (1):\n  ").size());
  EXPECT_NE(r.out.find("Links kept (1):\n  http://127.0.0.1/short"), std::string::npos) << r.out;
}

TEST_F(CliAgent, ScheduledRunsPublishTheirTopicsPages) {
  add_engine("http://127.0.0.1:9/search", "");
  // A topic no engine serves: its scheduled search ends at once.
  ASSERT_EQ(box_.run({"topic", "add", "comets", "--category", "Elsewhere"}).status, 0);
  ASSERT_EQ(box_.run({"topic", "set", "comets", "--query-enabled", "1"}).status, 0);
  Cli_result r = box_.run({"agent", "run", "--once"}, 30);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Due now: Searching for topic 'comets'"), std::string::npos) << r.out;
  EXPECT_NE(testing::read_file(box_.path("data/orvalis/pages/t1.htm")).find("about 'comets'"), std::string::npos);
}

}  // namespace
}  // namespace orvalis::test

// organize, compact and convert as a user runs them: the proposals, the subtopics made from them
// and searched on the demo web, the questions asked before a file changes, and the refusals.
// Every database seeds its engines from a file of the test's own: no engine leaves 127.0.0.0/8.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "../database/database_test_support.h"
#include "../database/earlier_format.h"
#include "cli_runner.h"
#include "demo_web/demo_web.h"

namespace orvalis::test {
namespace {

using namespace orvalis::testing;

class CliMaintenance : public ::testing::Test {
 protected:
  void SetUp() override { make_database(""); }
  // A new database whose engines are those of `engines` (a definitions file's text).
  void make_database(const std::string& engines) {
    write_file(box_.path("engines.ini"), engines);
    ASSERT_EQ(run({"settings", "set", "SearchResources", box_.path("engines.ini")}).status, 0);
    ASSERT_EQ(run({"new", db_, "--force"}).status, 0);
  }
  Cli_result run(std::vector<std::string> args) { return box_.run(args, 120); }
  Cli_sandbox box_;
  std::string db_ = box_.path("research.ov2");
};

TEST_F(CliMaintenance, OrganizeMakesThePickedSubtopicsAndSearchesThem) {
  demo::Demo_web web;
  std::string error;
  ASSERT_TRUE(web.start(error, 64)) << error;  // one host per article: no spacing to wait out
  make_database("[Demo]\nEnabled=1\nLocation=" + web.engine_location() + "\nSearchField=q\nIgnoreSubstrings=" +
                web.ignore_list() + "\n");
  ASSERT_EQ(run({"topic", "add", "Sails"}).status, 0);
  ASSERT_EQ(run({"topic", "add", "Empty"}).status, 0);
  // Documents of "Sails" with key terms as the summarizer stores them, one a line.
  raw_sql(db_, "INSERT INTO url_master (address, summary) VALUES ('http://x/0', 'solar sail\nlight pressure\nspace "
               "travel'), ('http://x/1', 'solar sail\nsail material'), ('http://x/2', 'solar sail\nlight pressure'), "
               "('http://x/3', 'ion engine\nxenon gas\nspace travel'), ('http://x/4', 'ion engine\nthrust'), "
               "('http://x/5', 'ion engine\nxenon gas'), ('http://x/6', 'launch window');"
               "INSERT INTO concept_urls (concept_id, url_id) SELECT 1, url_id FROM url_master");
  Cli_result r = run({"organize", "Sails"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "ion engine\nsolar sail\n");

  // The new subtopic takes its documents and is searched at once ("Sails and solar sail", the
  // one query of a topic without terms): the demo engine's articles.
  r = run({"organize", "Sails", "--pick", "solar sail", "--inherit"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("3\tSails and solar sail\n", 0), 0u) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\n([2-9]|\\d\\d+) documents found, \\1 new, \\1 summarized\n$")))
      << r.out;
  r = run({"doc", "list", "Sails and solar sail"});
  EXPECT_EQ(r.out.rfind("1\thttp://x/0\t\n2\thttp://x/1\t\n3\thttp://x/2\t\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\thttp://127.0.0."), std::string::npos) << r.out;
  // What no subtopic took stays with the topic.
  EXPECT_EQ(run({"doc", "list", "Sails"}).out, "4\thttp://x/3\t\n5\thttp://x/4\t\n6\thttp://x/5\t\n7\thttp://x/6\t\n");
  EXPECT_NE(run({"organize", "Empty"}).err.find("Unable to organize topic. Too few documents"), std::string::npos);
  EXPECT_EQ(run({"organize", "Sails", "--pick", "comet"}).status, 1);

  // Made names follow the rules of typed ones: a name taken in any case is refused, nothing is
  // made; an inherited name is cut at 255 characters.
  ASSERT_EQ(run({"topic", "add", "ION Engine"}).status, 0);
  r = run({"organize", "Sails", "--pick", "ion engine"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("A topic named 'ion engine' exists already: nothing was organized."), std::string::npos) << r.err;
  EXPECT_EQ(run({"doc", "list", "Sails"}).out, "4\thttp://x/3\t\n5\thttp://x/4\t\n6\thttp://x/5\t\n7\thttp://x/6\t\n");
  const std::string long_name(250, 'S');
  ASSERT_EQ(run({"topic", "set", "Sails", "--name", long_name}).status, 0);
  r = run({"organize", long_name, "--pick", "ion engine", "--inherit"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(run({"topic", "list"}).out.find("\t" + long_name + " and \n"), std::string::npos);
}

TEST_F(CliMaintenance, CompactAsksFirstAndIsRefusedWhileTheFileIsOpen) {
  raw_sql(db_, "INSERT INTO url_master (address) VALUES ('http://example.org/orphan')");
  // No terminal and no --yes: the question, no change.
  Cli_result r = run({"compact", db_});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot be cancelled during the operation. Do you still wish to continue?"),
            std::string::npos) << r.err;
  {
    // Another program has the file open: refused, nothing moved.
    Database other;
    other.open_file(db_, Database::Mode::read_write);
    r = run({"compact", db_, "--yes"});
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is open in an Orvalis program"), std::string::npos) << r.err;
  EXPECT_EQ(run({"--db", db_, "doc", "show", "1"}).status, 0);

  r = run({"compact", db_, "--yes"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("1 orphan documents removed"), std::string::npos) << r.out;
}

TEST_F(CliMaintenance, ConvertShowsProgressAndAsksBeforeReplacingAFile) {
  const std::string old_file = box_.path("old.mdb"), new_file = box_.path("converted.ov2");
  ASSERT_EQ(make_earlier_file(old_file, "INSERT INTO concept_master VALUES (41472, 'Kites', '', 0, "
                                                          "'Sky', 1000); INSERT INTO concept_home VALUES (41472);"),
            "");
  Cli_result r = run({"convert", old_file, new_file});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Conversion completed successfully!\n");
  EXPECT_NE(r.err.find("concept_master: 1 of 1 rows\nconcept_home: 1 of 1 rows\n"), std::string::npos) << r.err;

  // The target exists now: without --yes the question, and the file stays as it is.
  std::string before = read_file(new_file);
  r = run({"convert", old_file, new_file});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(new_file + " already exists.\nDo you want to overwrite the file anyway?"),
            std::string::npos) << r.err;
  EXPECT_TRUE(read_file(new_file) == before);

  r = run({"convert", box_.path("missing.mdb"), box_.path("x.ov2")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Error accessing source file: No such file or directory"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(box_.path("x.ov2")));
}

}  // namespace
}  // namespace orvalis::test

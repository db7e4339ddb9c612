// Feeds and exchange from the command line: a topic's feeds added, listed and removed; a topic
// handed over as JSON to another database and read back the same; a feed reader's OPML taken
// in; reports written to files; bad files refused with nothing changed.
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "test_servers.h"

namespace orvalis::test {
namespace {

using orvalis::testing::read_file;
using orvalis::testing::write_file;

class CliExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    a_ = box_.path("a.ov2");
    b_ = box_.path("b.ov2");
    ASSERT_EQ(run({"new", b_}).status, 0);
    ASSERT_EQ(run({"new", a_}).status, 0);
    ASSERT_EQ(run({"topic", "add", "Solar sails", "--term", "solar sail"}).status, 0);
    ASSERT_EQ(run({"doc", "add", "Solar sails", "https://example.org/sails", "--title", "Sails"}).status, 0);
    ASSERT_EQ(run({"doc", "note", "https://example.org/sails", "Read first."}).status, 0);
  }
  Cli_result run(std::vector<std::string> args) { return box_.run(args); }
  Cli_sandbox box_;
  std::string a_, b_;
};

// A feed is told by its content, whatever its type says; a page gives the feeds it announces,
// all of them added; an address that cannot be reached now is taken as given.
TEST_F(CliExchange, FeedsOfATopic) {
  orvalis::testing::Nginx_server site;
  if (!orvalis::testing::have_program("nginx")) GTEST_SKIP() << "nginx is not installed";
  ASSERT_TRUE(site.start());
  site.put("/feed.xml", "<rss version=\"2.0\"><channel><title>Sail news</title></channel></rss>");
  site.put("/atom", "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Comments</title></feed>");
  site.put("/blog.html",
           "<html><head><title>Blog</title><link rel=\"alternate\" type=\"application/rss+xml\" title=\"Posts\" "
           "href=\"feed.xml\"><link rel=\"alternate\" type=\"application/atom+xml\" href=\"/atom\"></head></html>");
  site.put("/plain.html", "<html><head><title>Plain</title></head><body>No feed here.</body></html>");
  const std::string feed = site.url("/feed.xml"), atom = site.url("/atom");
  const std::string refused = "http://127.0.0.1:" + std::to_string(orvalis::testing::free_port()) + "/rss";
  struct Step {
    std::vector<std::string> args;
    int status;
    std::string out;  // a part of the standard output, or of the error for a failure
  };
  const Step steps[] = {
      {{"feed", "add", "solar SAILS", "HTTP://127.0.0.1:" + std::to_string(site.port()) + "/feed.xml", "--title", "Sails"},
       0, "Added feed " + feed + " (Sails) to topic 1 'Solar sails'"},
      {{"feed", "add", "1", feed}, 0, "The topic has the feed already: " + feed + " (Sail news)"},
      {{"feed", "add", "1", site.url("/blog.html")}, 0,
       "announces 2 feeds; adding all:\nThe topic has the feed already: " + feed + " (Posts) to topic 1 'Solar sails'\n"
       "Added feed " + atom + " to topic 1"},
      {{"feed", "add", "1", site.url("/plain.html")}, 1, "is no feed, and the page announces none"},
      {{"feed", "add", "1", site.url("/missing")}, 1, "answered 404 Not Found; no feed was added."},
      {{"feed", "add", "1", refused}, 0, "Added feed " + refused},
      {{"feed", "add", "1", "javascript:alert(1)"}, 2, "starts with http:// or https://"},
      {{"feed", "add", "Nothing", feed}, 1, "No topic named 'Nothing'."},
      {{"feed", "list"}, 0, "1\t" + atom + "\n1\t" + feed + "\tSails\n"},
      {{"--json", "feed", "list", "1"}, 0, "\"title\":\"Sails\""},
      {{"feed", "remove", "1", site.url("/other")}, 1, "Topic 1 has no feed " + site.url("/other") + "."},
      {{"feed", "remove", "1", refused}, 0, "Removed feed"},
      {{"feed", "remove", "1", atom}, 0, "Removed feed"},
      {{"feed", "remove", "1", feed}, 0, "Removed feed"},
      {{"feed", "list"}, 0, ""},
  };
  for (const Step& s : steps) {
    Cli_result r = run(s.args);
    SCOPED_TRACE(s.args[3 % s.args.size()]);
    EXPECT_EQ(r.status, s.status) << r.err;
    EXPECT_NE((s.status == 0 ? r.out : r.err).find(s.out), std::string::npos) << r.out << r.err;
  }
  EXPECT_NE(run({"feed", "add", "1", refused}).err.find("Could not look at " + refused), std::string::npos);
}

TEST_F(CliExchange, TopicGoesToAnotherDatabaseAndComesBackTheSame) {
  // Not reachable here: the feed is added as given.
  ASSERT_EQ(run({"feed", "add", "1", "http://127.0.0.1:" + std::to_string(orvalis::testing::free_port()) + "/feed.xml"}).status, 0);
  const std::string json = box_.path("sails.json");
  Cli_result r = run({"export", "Solar sails", "--format", "json", "--output", json});
  ASSERT_EQ(r.status, 0) << r.err;
  r = run({"--db", b_, "import", json});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Imported " + json +
                       ": 1 topic added, 1 search term added, 1 document added, 1 document linked to a topic, "
                       "1 feed added\n");
  EXPECT_EQ(run({"--db", b_, "export"}).out, read_file(json));
  r = run({"--db", b_, "import", json});
  EXPECT_NE(r.out.find("1 topic merged into an existing one, 1 document already stored"), std::string::npos) << r.out;

  const std::string report = box_.path("sails.md");
  ASSERT_EQ(run({"--db", b_, "export", "1", "--format", "markdown", "--output", report}).status, 0);
  EXPECT_NE(read_file(report).find("## 1\\. Sails\n\n<https://example.org/sails>\n\nNote: Read first.\n"),
            std::string::npos)
      << read_file(report);
  EXPECT_NE(run({"--db", b_, "export", "--format", "csl-json"}).out.find("\"type\": \"webpage\""), std::string::npos);
}

TEST_F(CliExchange, FeedReaderSubscriptionsBecomeTopicsAndBadFilesChangeNothing) {
  const std::string reader = box_.path("reader.opml");
  write_file(reader,
             "<?xml version=\"1.0\"?><opml version=\"2.0\"><head><title>Reader</title></head><body>"
             "<outline text=\"Space\"><outline text=\"NASA\" xmlUrl=\"https://nasa.example/rss\"/></outline>"
             "</body></opml>");
  Cli_result r = run({"import", reader});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(run({"feed", "list", "Space"}).out, "2\thttps://nasa.example/rss\tNASA\n");

  const std::string before = run({"export"}).out;
  struct Bad {
    const char* name;
    std::string content;
    const char* error;
  };
  const Bad bad[] = {
      {"cut.json", "{\"topics\": [{\"name\": \"X\"", "is not valid JSON (line 1, column 25"},
      {"other.json", "{\"format\": \"playlist\", \"topics\": []}", "not a topics file"},
      {"bomb.opml", "<?xml version=\"1.0\"?><!DOCTYPE opml [<!ENTITY a \"aaaaaaaaaa\">]><opml/>",
       "entity declarations are refused"},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    write_file(box_.path(b.name), b.content);
    r = run({"import", box_.path(b.name)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(b.error), std::string::npos) << r.err;
  }
  EXPECT_EQ(run({"export"}).out, before);
  EXPECT_EQ(run({"export", "--format", "yaml"}).status, 2);
}

}  // namespace
}  // namespace orvalis::test

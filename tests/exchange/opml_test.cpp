// Reading feed readers' OPML: folders and feeds, deep nesting, the entity bombs and external
// entities refused, malformed files keeping what came before the fault; and topics going out
// as OPML and coming back.
#include "exchange/opml.h"

#include <gtest/gtest.h>

#include <sstream>

#include "database/feed_store.h"
#include "database_test_support.h"

namespace orvalis::exchange {
namespace {

using orvalis::testing::Database_test;
using orvalis::testing::rows;

// Folders and their feeds on one line: "Folder: address (title), ...; ...".
std::string shape(const Opml_document& d) {
  std::string out;
  for (const Opml_folder& f : d.folders) {
    out += f.name + ":";
    for (const Opml_feed& feed : f.feeds) out += " " + feed.address + " (" + feed.title + ")";
    out += "; ";
  }
  return out;
}

std::string opml(const std::string& body, const std::string& before = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + before +
         "<opml version=\"2.0\"><head><title>Reader</title></head><body>" + body + "</body></opml>";
}

struct Opml_case {
  const char* name;
  std::string text;
  const char* shape;
  const char* error;  // a part of the reason the reading stopped; "" when it did not
};

TEST(OpmlReader, FoldersAndFeeds) {
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "<outline text=\"level " + std::to_string(i) + "\">";
  deep += "<outline text=\"Bottom\" xmlUrl=\"https://deep.example/rss\"/>";
  for (int i = 0; i < 10000; ++i) deep += "</outline>";
  const std::string laughs =
      "<!DOCTYPE opml [<!ENTITY lol \"lol\"><!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
      "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">"
      "<!ENTITY lol4 \"&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;\">]>\n";
  const Opml_case cases[] = {
      {"folders with feeds, a feed outside any folder, an empty folder",
       opml("<outline text=\"Loose\" xmlUrl=\"http://loose.example/rss\"/>"
            "<outline title=\"Space\"><outline text=\"NASA\" type=\"rss\" xmlUrl=\"https://nasa.example/rss\"/>"
            "<outline text=\"Deep\"><outline text=\"ESA\" title=\"ESA news\" xmlUrl=\"https://esa.example/atom\"/>"
            "</outline><outline text=\"After\" xmlUrl=\"https://after.example/\"/></outline>"
            "<outline text=\"Empty\"/>"),
       "Reader: http://loose.example/rss (Loose); Space: https://nasa.example/rss (NASA) "
       "https://after.example/ (After); Deep: https://esa.example/atom (ESA news); ",
       ""},
      {"10,000 nested folders", opml(deep), "level 9999: https://deep.example/rss (Bottom); ", ""},
      {"entities of the format are read", opml("<outline text=\"A &amp; B\" xmlUrl=\"https://x.example/?a=1&amp;b=2\"/>"),
       "Reader: https://x.example/?a=1&b=2 (A & B); ", ""},
      {"billion laughs", opml("<outline text=\"&lol4;\" xmlUrl=\"https://x.example/\"/>", laughs), "",
       "entity declarations are refused"},
      {"an external entity is never read",
       opml("<outline text=\"&secret;\" xmlUrl=\"https://x.example/\"/>",
            "<!DOCTYPE opml [<!ENTITY secret SYSTEM \"file:///etc/passwd\">]>\n"),
       "", "entity declarations are refused"},
      {"an external document type is never read",
       opml("<outline text=\"A\" xmlUrl=\"https://x.example/\"/>",
            "<!DOCTYPE opml SYSTEM \"http://127.0.0.1:1/opml.dtd\">\n"),
       "Reader: https://x.example/ (A); ", ""},
      {"malformed after two feeds keeps them",
       opml("<outline text=\"F\"><outline text=\"1\" xmlUrl=\"https://1.example/\"/>"
            "<outline text=\"2\" xmlUrl=\"https://2.example/\"/><outline text=\"3\" xmlUrl=\"https://3.example/\">"
            "</outline_typo></outline>"),
       "F: https://1.example/ (1) https://2.example/ (2) https://3.example/ (3); ", "mismatched tag"},
      {"not XML at all", "{\"topics\": []}", "", "not well-formed"},
      {"empty", "", "", "no element found"},
  };
  for (const Opml_case& c : cases) {
    SCOPED_TRACE(c.name);
    Opml_document d = read_opml(c.text);
    EXPECT_EQ(shape(d), c.shape);
    if (*c.error)
      EXPECT_NE(d.error.find(c.error), std::string::npos) << d.error;
    else
      EXPECT_EQ(d.error, "");
  }
}

class OpmlExchange : public Database_test {};

TEST_F(OpmlExchange, TopicsGoOutWithTheirFeedsAndComeBackAsTheSameFeeds) {
  db.execute("INSERT INTO concept_master (concept_id, name) VALUES (1, 'Sails & \"light\"'), (2, 'Comets')");
  Feed f;
  f.concept_id = 1;
  f.address = Ref_string("https://example.org/feed?a=1&b=<2>");
  f.title = Ref_string("News <b>");
  ASSERT_TRUE(Feed_store(db).add_feed(f));
  std::ostringstream out;
  write_opml(db, {}, out);
  Opml_document d = read_opml(out.str());
  EXPECT_EQ(d.error, "");
  EXPECT_EQ(shape(d), "Sails & \"light\": https://example.org/feed?a=1&b=<2> (News <b>); ");

  // Into the same database: the topic is found by its name, the feed is there already; a
  // reader's folder of a new name becomes a topic.
  d.folders.push_back(Opml_folder{"COMETS", {Opml_feed{"https://comets.example/rss", "C"}}});
  d.folders.push_back(Opml_folder{"Moons", {Opml_feed{"https://moons.example/rss", "M"}}});
  Import_report r = import_opml(db, d);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.summary(), "1 topic added, 2 topics merged into existing ones, 2 feeds added, 1 feed already there");
  EXPECT_EQ(rows(db, "SELECT c.name, f.address FROM page_feeds f JOIN concept_master c USING (concept_id)"
                     " ORDER BY f.address"),
            "Comets|https://comets.example/rss;Sails & \"light\"|https://example.org/feed?a=1&b=<2>;"
            "Moons|https://moons.example/rss;");
}

}  // namespace
}  // namespace orvalis::exchange

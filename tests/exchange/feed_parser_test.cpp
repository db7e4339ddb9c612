// Reading feeds of the four kinds: entries with ids, absolute links, plain-text summaries and
// dates; links that are no web addresses dropped; the bombs refused; malformed feeds keeping
// the entries before the fault; and the date forms feeds use.
#include "exchange/feed_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace orvalis::exchange {
namespace {

// Entries one a line: "id | link | title | summary | seconds".
std::string shape(const Parsed_feed& f) {
  std::string out = f.title + " <" + f.link + ">\n";
  for (const Feed_entry& e : f.entries)
    out += e.id + " | " + e.link + " | " + e.title + " | " + e.summary + " | " +
           (e.date.is_valid() ? std::to_string(e.date.seconds) : "-") + "\n";
  return out;
}

struct Feed_case {
  const char* name;
  std::string body;
  Parsed_feed::Kind kind;
  const char* shape;
  const char* error;  // part of the reason, "" when none
  int dropped;
};

TEST(FeedParser, ReadsTheFourKinds) {
  const std::string address = "https://news.example/feeds/main.xml";
  const Feed_case cases[] = {
      {"RSS 2.0 with HTML in CDATA, relative links, guids",
       R"(<?xml version="1.0"?><rss version="2.0" xmlns:dc="http://purl.org/dc/elements/1.1/"><channel>
<title>News</title><link>https://news.example/</link>
<item><title>First &amp; best</title><link>/a/1</link><guid isPermaLink="false">tag:1</guid>
<description><![CDATA[<p>Light <b>pushes</b> sails.</p>]]></description><pubDate>Tue, 14 Nov 2023 22:13:20 GMT</pubDate></item>
<item><title>Second</title><guid>https://news.example/a/2</guid><dc:date>2023-11-14T22:13:20+01:00</dc:date></item>
<item><title>Script</title><link>javascript:alert(1)</link></item>
<item><title>Data</title><link>data:text/html,x</link><guid isPermaLink="false">tag:3</guid></item>
</channel></rss>)",
       Parsed_feed::Kind::rss2,
       "News <https://news.example/>\n"
       "tag:1 | https://news.example/a/1 | First & best | Light pushes sails. | 1700000000\n"
       "https://news.example/a/2 | https://news.example/a/2 | Second |  | 1699996400\n"
       "tag:3 |  | Data |  | -\n",
       "", 1},
      {"RSS 1.0",
       R"(<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns="http://purl.org/rss/1.0/"
  xmlns:dc="http://purl.org/dc/elements/1.1/"><channel rdf:about="https://r.example/"><title>Preprints</title>
<link>https://r.example/</link></channel>
<item rdf:about="https://r.example/p/7"><title>Paper</title><link>https://r.example/p/7</link>
<description>Abstract &lt;i&gt;here&lt;/i&gt;</description><dc:date>2023-11-14T22:13:20Z</dc:date></item></rdf:RDF>)",
       Parsed_feed::Kind::rss1,
       "Preprints <https://r.example/>\nhttps://r.example/p/7 | https://r.example/p/7 | Paper | Abstract here | 1700000000\n",
       "", 0},
      {"Atom with xhtml content and xml:base",
       R"(<feed xmlns="http://www.w3.org/2005/Atom" xml:base="https://blog.example/2023/"><title type="text">Blog</title>
<link rel="self" href="/feed.atom"/><link href="https://blog.example/"/>
<entry xml:base="posts/"><id>urn:uuid:1</id><title>Post</title><link rel="alternate" href="one.html"/>
<updated>2023-11-14T22:13:20.123Z</updated>
<content type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml"><p>Hello <em>world</em>.</p></div></content></entry>
<entry><title>No id, no link</title></entry></feed>)",
       Parsed_feed::Kind::atom,
       "Blog <https://blog.example/>\nurn:uuid:1 | https://blog.example/2023/posts/one.html | Post | Hello world. | 1700000000\n",
       "", 1},
      {"JSON Feed 1.1",
       R"J({"version": "https://jsonfeed.org/version/1.1", "title": "J", "home_page_url": "https://j.example/",
  "items": [{"id": "1", "url": "/x", "title": "X", "content_html": "<p>Hi</p>", "date_published": "2023-11-14T22:13:20Z"},
            {"id": 2, "url": "javascript:void(0)", "content_text": "plain"}, {"title": "nothing"}, 5]})J",
       Parsed_feed::Kind::json_feed,
       "J <https://j.example/>\n1 | https://news.example/x | X | Hi | 1700000000\n2 |  |  | plain | -\n", "", 2},
      {"billion laughs",
       R"(<?xml version="1.0"?><!DOCTYPE rss [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">]>
<rss><channel><title>&b;</title></channel></rss>)",
       Parsed_feed::Kind::unknown, " <>\n", "entity declarations are refused", 0},
      {"external entity",
       R"(<?xml version="1.0"?><!DOCTYPE rss [<!ENTITY x SYSTEM "file:///etc/passwd">]><rss><channel><title>&x;</title></channel></rss>)",
       Parsed_feed::Kind::unknown, " <>\n", "entity declarations are refused", 0},
      {"malformed after the first item",
       R"(<rss><channel><title>T</title><item><link>https://a.example/1</link></item><item><link>https://a.example/2</lnk></item></channel></rss>)",
       Parsed_feed::Kind::rss2, "T <>\nhttps://a.example/1 | https://a.example/1 |  |  | -\n", "mismatched tag", 0},
      {"not a feed", "<html><body>hi</body></html>", Parsed_feed::Kind::unknown, " <>\n", "no RSS, RDF or Atom", 0},
      {"JSON that is no feed", R"({"a": 1})", Parsed_feed::Kind::json_feed, " <>\n", "no JSON Feed", 0},
  };
  for (const Feed_case& c : cases) {
    SCOPED_TRACE(c.name);
    Parsed_feed f = parse_feed(c.body, address);
    EXPECT_EQ(f.kind, c.kind);
    EXPECT_EQ(shape(f), c.shape);
    if (*c.error)
      EXPECT_NE(f.error.find(c.error), std::string::npos) << f.error;
    else
      EXPECT_EQ(f.error, "");
    EXPECT_EQ(f.dropped, c.dropped);
  }
}

TEST(FeedParser, ManyEntriesAreAllRead) {
  std::string body = "<rss><channel><title>Big</title>";
  for (int i = 0; i < 100000; ++i) body += "<item><link>https://b.example/" + std::to_string(i) + "</link></item>";
  body += "</channel></rss>";
  Parsed_feed f = parse_feed(body, "https://b.example/feed");
  ASSERT_EQ(f.entries.size(), 100000u);
  EXPECT_EQ(f.entries.back().id, "https://b.example/99999");
}

TEST(FeedParser, DatesInTheFormsFeedsUse) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"Tue, 14 Nov 2023 22:13:20 GMT", 1700000000},
      {"14 Nov 2023 22:13:20 +0000", 1700000000},
      {"Tue, 14 Nov 2023 17:13:20 EST", 1700000000},
      {"Tue, 14 Nov 23 23:13:20 +0100", 1700000000},
      {"Tue, 14 Nov 2023 22:13 GMT", 1699999980},
      {"2023-11-14T22:13:20Z", 1700000000},
      {"2023-11-14T23:43:20.5+01:30", 1700000000},
      {"2023-11-14", 1699920000},
      {"", -1},
      {"yesterday", -1},
      {"Tue, 14 Foo 2023 22:13:20 GMT", -1},
      {"2023-13-14T22:13:20Z", -1},
  };
  for (const auto& [text, seconds] : cases) {
    SCOPED_TRACE(text);
    std::optional<Db_date> d = parse_feed_date(text);
    if (seconds < 0) {
      EXPECT_FALSE(d.has_value());
    } else {
      ASSERT_TRUE(d.has_value());
      EXPECT_EQ(d->seconds, seconds);
    }
  }
}

}  // namespace
}  // namespace orvalis::exchange

namespace orvalis::exchange {
namespace {

TEST(FeedLinks, FeedsAPageAnnounces) {
  const std::string html =
      "<html><head><BASE HREF=\"https://site.example/blog/\"><title>x</title>"
      "<link rel=\"stylesheet\" href=\"a.css\">"
      "<LINK REL=\"Alternate\" TYPE=\"application/rss+xml\" TITLE=\"Posts &amp; news\" HREF=\"feed.xml\">"
      "<link rel='alternate feed' type='application/atom+xml' href='/atom'/>"
      "<link rel=alternate type=application/feed+json href=https://site.example/feed.json>"
      "<link rel=\"alternate\" type=\"text/html\" href=\"/fr/\">"
      "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"javascript:alert(1)\">"
      "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"feed.xml\">"
      "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"unterminated";
  std::string shape;
  for (const Announced_feed& f : find_feed_links(html, "https://site.example/index.html"))
    shape += f.address + " (" + f.title + ")\n";
  EXPECT_EQ(shape,
            "https://site.example/blog/feed.xml (Posts & news)\n"
            "https://site.example/atom ()\n"
            "https://site.example/feed.json ()\n"
            "https://site.example/blog/unterminated ()\n");
}

}  // namespace
}  // namespace orvalis::exchange

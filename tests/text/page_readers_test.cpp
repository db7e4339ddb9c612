#include "text/page_readers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_test_support.h"

namespace orvalis {
namespace {

using testing::page_of;
using testing::test_page;

// ---- Title ----

TEST(Page_title, IsTheFirstTitleAsWrittenDecodedAndCollapsed) {
  const struct {
    const char* page;
    const char* title;
  } cases[] = {
      {"<html><head><TITLE>Foo: the  bar!</TITLE></head></html>", "Foo: the bar!"},
      {"<title>C++ &amp; Rust &mdash; a tour</title>", "C++ & Rust \u2014 a tour"},
      {"<title>\n\t It&rsquo;s &quot;50%&quot; off&#8230;\r\n</title>", "It\u2019s \"50%\" off\u2026"},
      {"<title>&amp;lt;b&amp;gt; is &notanentity;</title>", "&lt;b&gt; is &notanentity;"},
      {"<title>a <b>bold</b> title</Title >", "a <b>bold</b> title"},
      {"<title>First</title><title>Second</title>", "First"},
      {"<title> &#32; </title><title>Second</title>", "Second"},
      {"<p>no title here</p>", ""},
      {"<title>never closed", "never closed"},
  };
  for (const auto& c : cases) EXPECT_EQ(page_title(page_of(c.page)), c.title) << c.page;
}

TEST(Page_title, IsCutAt254BytesAndLaterWordsAreIgnored) {
  std::string page = "<title>";
  for (int i = 0; i < 300; ++i) page += "word" + std::to_string(i) + " ";
  page += "</title>";
  Ref_string title = page_title(page_of(page));
  EXPECT_EQ(title.length(), 254);
  EXPECT_TRUE(title.starts_with("word0 word1 word2"));
}

TEST(Page_title, CutNeverSplitsAMultiByteCharacter) {
  std::string page = "<title>" + std::string(253, 'a') + "é more</title>";
  EXPECT_EQ(page_title(page_of(page)).str(), std::string(253, 'a'));
}

// ---- Counts and tags ----

TEST(Page_counts, AnchorsNeedAnHrefAndImagesCountWherever) {
  int images = -1, anchors = -1;
  count_links_and_images(
      page_of("<a name=top></a><a href=\"\">e</a><A HREF=x><IMG src=a></A><img><frame src=f>"
              "<area href=m><input type=image src=i>"),
      images, anchors);
  EXPECT_EQ(images, 2);
  EXPECT_EQ(anchors, 2);
  // The markup written by scripts is not part of the page.
  count_links_and_images(test_page("scripted_page.html"), images, anchors);
  EXPECT_EQ(images, 1);
  EXPECT_EQ(anchors, 2);
}

TEST(Tag_collector, KeepsEveryTagInOrderWithTheOffsetOfItsLessThanSign) {
  const std::string page = "ab<p>cd <a href=x>e</a>";
  Html_tag_list tags = collect_tags(page_of(page));
  ASSERT_EQ(tags.count(), 3);
  EXPECT_EQ(tags[0]->text(), "<p>");
  EXPECT_EQ(tags[0]->offset, 2);
  EXPECT_EQ(tags[1]->attribute("href"), "x");
  EXPECT_EQ(tags[1]->offset, 8);
  EXPECT_EQ(tags[2]->name(), "/a");
  EXPECT_EQ(tags[2]->offset, static_cast<int>(page.size()) - 4);
}

// ---- Anchor reader ----

std::vector<std::string> link_lines(Anchor_reader& reader) {
  std::vector<std::string> out;
  for (const Found_link& l : reader.links()) out.push_back(l.url.str() + " | " + l.text.str());
  return out;
}

TEST(Anchor_reader, ReadsTheResultsOfASearchPage) {
  Anchor_reader reader(test_page("search_results.html"),
                       Url("http://search.findwell.example/search?q=solar+sails"));
  reader.run();
  EXPECT_EQ(link_lines(reader),
            (std::vector<std::string>{
                "http://search.findwell.example/ | ",
                "http://search.findwell.example/advanced | Advanced search",
                "http://search.findwell.example/prefs | Preferences",
                "http://search.findwell.example/help | Help",
                "http://ads.findwell.example/click?id=991&u=sails | Buy Sails Cheap",
                "http://www.spacelab.example/sails/intro.html | Solar Sails: an Introduction",
                "https://astro.example.org/articles/sail-missions | Sail Missions, 2010- 2024",
                "ftp://ftp.physics.example.edu/pub/papers/sails.ps | sails.ps",
                "gopher://gopher.example.net/1/space | Space gopher",
                "http://search.findwell.example/cache?u=http%3A%2F%2Fwww.spacelab.example%2F | "
                "Cached copy",
                "http://search.findwell.example/search?q=light+sail | light sail",
                "http://search.findwell.example/search?q=ion+drive | ion drive",
                "http://search.findwell.example/search?q=solar+sails&start=10 | Next page",
            }));
}

TEST(Anchor_reader, CallersIgnoreTestDropsLinks) {
  Anchor_reader reader(test_page("search_results.html"),
                       Url("http://search.findwell.example/search?q=solar+sails"),
                       [](const Url& u) {
                         return u.host() == "search.findwell.example" ||
                                u.host() == "ads.findwell.example";
                       });
  reader.run();
  EXPECT_EQ(reader.links().count(), 4);
  EXPECT_EQ(reader.links().first().url, "http://www.spacelab.example/sails/intro.html");
}

TEST(Anchor_reader, ResolvesFiltersAndJoinsTheAnchorsOfAPage) {
  const struct {
    const char* page;
    const char* base;
    std::vector<std::string> links;
  } cases[] = {
      // Fragments are cut and an address is taken once.
      {"<a href=\"#top\">Top</a><a href=\"p.html#a\">A</a><a href=\"p.html#b\">B</a>"
       "<a href=\"p.html\">C</a>",
       "http://h.example/dir/index.html", {"http://h.example/dir/p.html | A"}},
      // Other schemes and unclosed anchors give nothing.
      {"<a href=mailto:x@y.example>m</a><a href=news:comp.lang>n</a>"
       "<a href=\"file:///etc/passwd\">f</a><a href=\"http://ok.example/\">open",
       "http://h.example/", {}},
      // Unknown schemes are not resolved as paths.
      {"<a href=\"javascript:go()\">j</a><a href=\"tel:+1555\">t</a>"
       "<a href=\"HTTPS://x.example/\">s</a>",
       "http://h.example/", {"HTTPS://x.example/ | s"}},
      // Scheme-relative links take the page's scheme.
      {"<a href=\"//cdn.example/a.html\">a</a>", "https://h.example/dir/",
       {"https://cdn.example/a.html | a"}},
      // A second anchor replaces the address and keeps the text so far.
      {"<a href=one.html>first <a href=two.html>second</a>", "http://h.example/",
       {"http://h.example/two.html | first second"}},
  };
  for (const auto& c : cases) {
    Anchor_reader reader(page_of(c.page), Url(c.base));
    reader.run();
    EXPECT_EQ(link_lines(reader), c.links) << c.page;
  }
}

// ---- Base reference ----

std::string inserted(const std::string& page, const char* top = "<div>TOP</div>",
                     const char* bottom = "<div>END</div>") {
  Byte_buffer_handle out =
      insert_base_reference(page_of(page), "http://h.example/dir/page.html", top, bottom);
  return out->text().str();
}

TEST(Base_reference, GoesIntoTheHeadAndTheFragmentsAroundTheBody) {
  const std::string base = "<base href=\"http://h.example/dir/page.html\">";
  const struct {
    const char* page;
    std::string expected;
  } cases[] = {
      {"<html><HEAD><title>t</title></head><body class=x>text</body></html>",
       "<html><HEAD>" + base + "<title>t</title></head><body class=x><div>TOP</div>text"
       "<div>END</div></body></html>"},
      // A page with its own base keeps it and gets no second.
      {"<head><base href=\"http://other.example/\"></head><body>x</body>",
       "<head><base href=\"http://other.example/\"></head><body><div>TOP</div>x<div>END</div>"
       "</body>"},
      // Without a body: the top after the head, the bottom before the end of the page.
      {"<html><head></head>text</html>",
       "<html><head>" + base + "</head><div>TOP</div>text<div>END</div></html>"},
      // Without a head the base comes with the top fragment.
      {"<html>text</html>", "<html><div>TOP</div>" + base + "text<div>END</div></html>"},
      {"just text", base + "<div>TOP</div>just text<div>END</div>"},
  };
  for (const auto& c : cases) EXPECT_EQ(inserted(c.page), c.expected) << c.page;
  EXPECT_EQ(inserted("just text", "", ""), base + "just text");
}

TEST(Base_reference, AddressCannotAddMarkupToThePage) {
  Byte_buffer_handle out = insert_base_reference(
      page_of("<html><head></head>x</html>"),
      "http://h.example/\"><script>alert(1)</script>?a=1&b='2'", "", "");
  EXPECT_EQ(out->text().str(),
            "<html><head><base href=\"http://h.example/&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;"
            "?a=1&amp;b='2'\"></head>x</html>");
}

TEST(Base_reference, LeavesScriptsUntouched) {
  const std::string page = test_page("scripted_page.html")->text().str();
  const std::string out = inserted(page, "", "");
  EXPECT_NE(out.find("<script>\n  // A tracker"), std::string::npos);
  EXPECT_EQ(out.size(), page.size() + std::string("<base href=\"http://h.example/dir/page.html\">").size());
}

}  // namespace
}  // namespace orvalis

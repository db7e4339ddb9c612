#include "text/page_readers.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "text_test_support.h"

namespace orvalis {
namespace {

using testing::page_of;
using testing::test_page;

// ---- Title ----

TEST(Page_title, IsTheFirstTitleAsWrittenDecodedCollapsedAndCut) {
  std::string words;  // 300 words: the title is cut at 254 characters, the later words ignored
  for (int i = 0; i < 300; ++i) words += "word" + std::to_string(i) + " ";
  auto times = [](const char* letter, int n) {
    std::string out;
    while (n-- > 0) out += letter;
    return out;
  };
  const std::pair<std::string, std::string> cases[] = {
      {"<html><head><TITLE>Foo: the  bar!</TITLE></head></html>", "Foo: the bar!"},
      {"<title>C++ &amp; Rust &mdash; a tour</title>", "C++ & Rust \u2014 a tour"},
      {"<title>\n\t It&rsquo;s &quot;50%&quot; off&#8230;\r\n</title>", "It\u2019s \"50%\" off\u2026"},
      {"<title>&amp;lt;b&amp;gt; is &notanentity;</title>", "&lt;b&gt; is &notanentity;"},
      {"<title>a <b>bold</b> title</Title >", "a <b>bold</b> title"},
      {"<title>First</title><title>Second</title>", "First"},
      {"<title> &#32; </title><title>Second</title>", "Second"},
      {"<p>no title here</p>", ""},
      {"<title>never closed", "never closed"},
      {"<title>" + words + "</title>", words.substr(0, 254)},
      // The cut counts characters, never bytes, and never splits one.
      {"<title>" + std::string(253, 'a') + "\u00e9 more</title>", std::string(253, 'a') + "\u00e9"},
      {"<title>" + times("\u0436", 130) + "</title>", times("\u0436", 130)},
      {"<title>" + times("\u00e9", 300) + "</title>", times("\u00e9", 254)},
      {"<title>" + times("\U0001F41D", 255) + "</title>", times("\U0001F41D", 254)},
  };
  for (const auto& [page, title] : cases) EXPECT_EQ(page_title(page_of(page)).str(), title) << page;
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

TEST(Anchor_reader, ReadsTheResultsOfASearchPageAndDropsWhatTheCallerIgnores) {
  const Url base("http://search.findwell.example/search?q=solar+sails");
  Anchor_reader reader(test_page("search_results.html"), base);
  reader.run();
  const std::vector<std::string> all = link_lines(reader);
  ASSERT_EQ(all, (std::vector<std::string>{
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
  Anchor_reader filtered(test_page("search_results.html"), base, [](const Url& u) {
    return u.host() == "search.findwell.example" || u.host() == "ads.findwell.example";
  });
  filtered.run();
  EXPECT_EQ(link_lines(filtered), std::vector<std::string>(all.begin() + 5, all.begin() + 9));
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

// The page with a base reference and the fragments "[T]" and "[E]"; "[B]" marks the base.
std::string inserted(const std::string& page, const char* top = "[T]", const char* bottom = "[E]",
                     const char* address = "http://h.example/dir/page.html") {
  const std::string base = "<base href=\"" + std::string(address) + "\">";
  std::string out = insert_base_reference(page_of(page), address, top, bottom)->text().str();
  for (std::size_t at; (at = out.find(base)) != std::string::npos;) out.replace(at, base.size(), "[B]");
  return out;
}

TEST(Base_reference, GoesIntoTheHeadAndTheFragmentsAroundTheBody) {
  const std::pair<const char*, const char*> cases[] = {
      {"<html><HEAD><title>t</title></head><body class=x>text</body></html>",
       "<html><HEAD>[B]<title>t</title></head><body class=x>[T]text[E]</body></html>"},
      // A page with its own base keeps it and gets no second.
      {"<head><base href=\"http://other.example/\"></head><body>x</body>",
       "<head><base href=\"http://other.example/\"></head><body>[T]x[E]</body>"},
      // Without a body: the top after the head, the bottom before the end of the page.
      {"<html><head></head>text</html>", "<html><head>[B]</head>[T]text[E]</html>"},
      // Without a head the base comes with the top fragment.
      {"<html>text</html>", "<html>[T][B]text[E]</html>"},
      {"just text", "[B][T]just text[E]"},
  };
  for (const auto& [page, expected] : cases) EXPECT_EQ(inserted(page), expected) << page;
  EXPECT_EQ(inserted("just text", "", ""), "[B]just text");
}

TEST(Base_reference, AddressCannotAddMarkupToThePage) {
  EXPECT_EQ(inserted("<html><head></head>x</html>", "", "", "http://h.example/\"><script>alert(1)</script>?a=1&b='2'"),
            "<html><head><base href=\"http://h.example/&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;"
            "?a=1&amp;b='2'\"></head>x</html>");
}

TEST(Base_reference, LeavesScriptsUntouched) {
  const std::string page = testing::read_test_page("scripted_page.html");
  const std::string out = inserted(page, "", "");
  EXPECT_NE(out.find("<script>\n  // A tracker"), std::string::npos);
  EXPECT_EQ(out.size(), page.size() + 3);  // only the base was added
}

}  // namespace
}  // namespace orvalis

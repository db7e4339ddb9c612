#include "text/page_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/url.h"
#include "text/block_classifier.h"
#include "text/page_readers.h"
#include "text/summarizer.h"
#include "text_test_support.h"

namespace orvalis {
namespace {

using testing::page_of;
using testing::read_test_page;
using V = std::vector<std::string>;

Page_text classified(const std::string& html) {
  Page_text t = read_page_text(page_of(html));
  classify_blocks(t);
  return t;
}

// The text of the blocks the summary reads.
V kept_blocks(const std::string& html) {
  const Page_text t = classified(html);
  V out;
  for (const Text_block& b : t.blocks)
    if (b.kept) out.push_back(t.block_text(b));
  return out;
}

bool has_block(const V& blocks, const std::string& start) {
  for (const std::string& b : blocks)
    if (b.rfind(start, 0) == 0) return true;
  return false;
}

V strings(const Ref_list<Ref_string>& list) {
  V out;
  for (const Ref_string& s : list) out.push_back(s.str());
  return out;
}

// Each layout of today's sites, cut down from what its generator emits: blocks the summary
// must read, and blocks it must leave out as furniture.
TEST(Page_text, WhichBlocksEachLayoutKeeps) {
  const struct {
    const char* file;
    V kept;
    V furniture;
  } cases[] = {
      // An encyclopedia: chrome, table of contents, tabs, hidden short description, navbox,
      // categories and footer around a main element.
      {"layouts/wiki_article.html",
       {"Sourdough is a bread that rises", "A mature starter holds", "History"},
       {"Jump to content", "Main page", "Contents", "Toggle the table of contents", "Edit",
        "Bread made by the fermentation", "Baguette", "Categories:", "This page was last edited",
        "Privacy policy"}},
      // A blog post: site header, menu, share bar, tags, post navigation, comments, widgets,
      // footer and a cookie notice; the post's own header stays.
      {"layouts/blog_post.html",
       {"For ten years I flattened", "It’s worth learning", "Why I switched to a hand plane"},
       {"Skip to the content", "The Quiet Workshop", "Tools I use", "Share this:", "Twitter",
        "Hide glue versus yellow glue", "Great post.", "Leave a Reply", "Recent Posts",
        "© 2026", "We use cookies"}},
      // A news story in bare divisions: no main element, so the classifier finds the furniture.
      {"layouts/news_story.html",
       {"The city council voted on Sunday", "About 240 people work", "What happens to the workers?",
        "The council chose a faster timetable"},
       {"Monday, 7 December 2026", "Local", "Latest:", "Share on Facebook",
        "Get our weekly climate newsletter", "Bridge repairs", "About us", "© 2026 Coastal Media",
        "We and our partners use cookies", "By Ines Okafor"}},
      // A forum thread in a role="main" body: posts stay, profiles and bars go.
      {"layouts/forum_thread.html",
       {"My white loaves rise", "Two hours in a warm kitchen", "Thanks, that fixed it!"},
       {"Home Baking Forum", "Board index", "Post Reply", "Newcomer", "Joined:", "Users browsing",
        "Powered by"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const V kept = kept_blocks(read_test_page(c.file));
    for (const std::string& k : c.kept) EXPECT_TRUE(has_block(kept, k)) << k;
    for (const std::string& f : c.furniture) EXPECT_FALSE(has_block(kept, f)) << f;
  }
}

TEST(Page_text, MarkupRulesForRegionsAndFurniture) {
  const std::string prose =
      "The committee studied the river for three years and published a report that the city "
      "will use to plan its new flood defences along the northern bank. ";
  const struct {
    std::string html;
    V kept;
    V furniture;
  } cases[] = {
      // Furniture elements, landmark roles and hidden elements, wherever they stand.
      {"<nav>Home About</nav><p>" + prose + "</p><aside>Related reading list</aside>"
       "<div role=search>Search here</div><p hidden>Secret words</p>"
       "<p style='display: none'>Styled away</p><p aria-hidden=\"true\">Icon text</p>"
       "<form>Your email</form><button>Subscribe now</button>",
       {"The committee"},
       {"Home", "Related", "Search", "Secret", "Styled", "Icon", "Your email", "Subscribe"}},
      // A header and footer inside an article are the article's own; the page's are not.
      {"<header>Site name</header><article><header><h2>Article heading words</h2></header><p>" + prose +
       "</p><footer>This report was written by the members of the committee for the city.</footer>"
       "</article><footer>Page footer</footer>",
       {"Article heading words", "This report was written"}, {"Site name", "Page footer"}},
      // With a main element holding enough text, nothing outside it is read.
      {"<div><p>" + prose + "</p></div><main><p>" + prose + "</p></main>", {"The committee"}, {}},
      // An empty main falls back to the whole page.
      {"<main></main><div><p>" + prose + "</p></div>", {"The committee"}, {}},
      // Block-level elements separate words; inline ones join them.
      {"<main><p>" + prose + "</p><ul><li>Main page</li><li>Recent changes</li></ul><p>one<b>word</b></p></main>",
       {"oneword"}, {"Main pageRecent changes"}},
      // Class and id hints: navigation, sidebars, share bars; but not a content column.
      {"<div class='site-nav'>Alpha Beta</div><div id=sidebar>Gamma</div><div class='post-content'><p>" +
       prose + "</p></div><div class='share-buttons'>Share it</div>",
       {"The committee"}, {"Alpha", "Gamma", "Share"}},
      // An API signature line is code, as a listing is: no sentence, no key terms.
      {"<dl class='py function'><dt class='sig sig-object py' id='json.dump'><span class='sig-prename'>"
       "json.</span><span class='sig-name'>dump</span>(obj, fp, *, skipkeys=False, indent=None)"
       "</dt><dd><p>" + prose + "</p></dd></dl>",
       {"The committee"}, {"json", "(obj", ", skipkeys"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.html);
    const V kept = kept_blocks(c.html);
    for (const std::string& k : c.kept) EXPECT_TRUE(has_block(kept, k)) << k;
    for (const std::string& f : c.furniture) EXPECT_FALSE(has_block(kept, f)) << f;
  }
}

TEST(Page_text, TitleDropsTheSiteNameWhenTheRestIsTheFirstHeading) {
  const struct {
    const char* title;
    const char* h1;
    const char* stored;
  } cases[] = {
      {"Closures - Some Wiki", "Closures", "Closures"},
      {"Some Wiki | Closures", "closures", "Closures"},
      {"Closures \u2013 Some Wiki", "Closures", "Closures"},
      {"Closures \u2014 Some Wiki", "Closures", "Closures"},
      {"Closures \u00b7 Some Wiki", "  Closures ", "Closures"},
      {"Closures :: Some Wiki", "Closures", "Closures"},
      {"A - B - Site", "A - B", "A - B"},
      // The rest must be the heading: otherwise the title stays as written.
      {"Closures - Some Wiki", "Something else", "Closures - Some Wiki"},
      {"Closures-Some Wiki", "Closures", "Closures-Some Wiki"},
      {"Closures - Some Wiki", "", "Closures - Some Wiki"},
      // A header link after the heading's words, and case, do not count.
      {"json \u2014 JSON encoder \u2014 Python docs", "json \u2014 JSON encoder\u00b6", "json \u2014 JSON encoder"},
      {"What is ownership? - The Book", "What Is Ownership? \u00b6", "What is ownership?"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(title_without_site_name(Ref_string(c.title), c.h1).str(), c.stored) << c.title;
}

// The heading of the page's banner is no article heading; without an h1 of its own, the page's
// heading is the first one inside its main element or article.
TEST(Page_text, FirstHeadingIsTheArticlesOwn) {
  const std::pair<const char*, const char*> cases[] = {
      {"<div role=banner><h1>Forum</h1></div><h1>Bread &amp; salt</h1>", "Bread & salt"},
      {"<div class=menu-bar><h1>The Book</h1></div><main><h2><a class=header href=#o>What Is "
       "Ownership?</a></h2><p>Text</p><h2>Stack</h2></main>",
       "What Is Ownership?"},
      {"<h2>Sidebar heading</h2><article><h3>Story</h3></article>", "Story"},
      {"<h2>Sidebar heading</h2><p>Text</p>", ""},
  };
  for (const auto& [html, heading] : cases)
    EXPECT_EQ(read_page_text(page_of(html)).heading(), heading) << html;
}

// Words and punctuation as the lexicon and the key terms see them.
TEST(Page_text, WordsPunctuationAndReferences) {
  const struct {
    const char* html;
    V words;
  } cases[] = {
      {"it\u2019s we\u2019ll let\u2019s", {"it\u2019s", "we\u2019ll", "let\u2019s"}},
      {"arrived; vegetal;cakes", {"arrived", "vegetal", "cakes"}},
      {"cheapest\u2014and elegant\u2014tools", {"cheapest", "and", "elegant", "tools"}},
      {"wait\u2026 \u201cquoted\u201d \u00abangle\u00bb", {"wait", "quoted", "angle"}},
      {"no\u00a0break&nbsp;space", {"no", "break", "space"}},
      {"Newton&#39;s law &amp;mut s option&lt;t&gt;", {"Newton's", "law", "mut", "s", "option", "t"}},
      {"caf&eacute; na&iuml;ve &#x41;BC", {"café", "naïve", "ABC"}},
      // A decoded control character is white space.
      {"one&#1;two&#150;three", {"one", "two", "three"}},
  };
  for (const auto& c : cases) EXPECT_EQ(testing::words_of(c.html), c.words) << c.html;
}

// Each distinct word (as written, case kept) is one entry of the page's words, whatever its
// length or how little it differs from another; every word token points at its own text, and
// a block counts its function words.
TEST(Page_text, EachDistinctWordIsReadOnce) {
  const struct {
    std::string html;
    V words;
    int function_words;
  } cases[] = {
      {"the cat saw the Cat", {"the", "cat", "saw", "Cat"}, 2},
      {"a b ab ba a", {"a", "b", "ab", "ba"}, 2},
      {"abcdefgh abcdefgi abcdefghi xbcdefgh", {"abcdefgh", "abcdefgi", "abcdefghi", "xbcdefgh"}, 0},
      {"internationalization internationalisation internationalization",
       {"internationalization", "internationalisation"}, 0},
      {"caf&eacute; cafe café They THEY they’re", {"café", "cafe", "They", "THEY", "they’re"}, 3},
  };
  for (const auto& c : cases) {
    const Page_text t = read_page_text(page_of("<p>" + c.html + "</p>"));
    V words;
    for (const Page_word& w : t.words) words.emplace_back(t.text(w));
    EXPECT_EQ(words, c.words) << c.html;
    for (const Text_token& token : t.tokens) {
      if (token.kind == Text_token::word) {
        EXPECT_EQ(t.text(token), t.text(t.words[token.word_index]));
      }
    }
    ASSERT_EQ(t.blocks.size(), 1u);
    EXPECT_EQ(t.blocks[0].function_words, static_cast<std::uint32_t>(c.function_words)) << c.html;
  }
  // More words than the first index holds: it grows and keeps them apart.
  std::string many = "<p>";
  for (int i = 0; i < 3000; ++i) many += "w" + std::to_string(i * 7919) + " w" + std::to_string(i * 7919) + " ";
  const Page_text t = read_page_text(page_of(many));
  EXPECT_EQ(t.words.size(), 3000u);
  EXPECT_EQ(t.text(t.words[2999]), "w" + std::to_string(2999 * 7919));
}

// Blanks, tags and footnote marks between words: a block's text keeps the marks, a sentence
// leaves them out, and neither has a blank the page did not show.
TEST(Page_text, BlanksTagsAndFootnoteMarks) {
  const struct {
    const char* html;
    const char* block;
    const char* sentence;
  } cases[] = {
      {"Water  boils\n at <b>100</b> degrees<sup><a href=#n1>[1]</a></sup> at sea level, as the "
       "tables show.",
       "Water boils at 100 degrees[1] at sea level, as the tables show.",
       "Water boils at 100 degrees at sea level, as the tables show."},
      {"The kettle whistles <sup><a href=#n2> [2] </a></sup> when the water is ready.",
       "The kettle whistles [2] when the water is ready.", "The kettle whistles when the water is ready."},
      {"The water is ice at zero degrees <sup><a href=#n3>[3]</a></sup>.", "The water is ice at zero degrees [3].",
       "The water is ice at zero degrees."},
      {"A <a href=x>linked  phrase</a> and <em>some</em><em>words</em> stay together here. ",
       "A linked phrase and somewords stay together here.",
       "A linked phrase and somewords stay together here."},
  };
  Word_tagger tagger(ORVALIS_DATA_DIR);
  for (const auto& c : cases) {
    const std::string html = std::string("<main><p>") + c.html + "</p></main>";
    EXPECT_EQ(kept_blocks(html), V{c.block}) << c.html;
    EXPECT_EQ(strings(summarize_page(page_of(html), "", tagger).extract), V{c.sentence}) << c.html;
  }
}

// What a page copy keeps: the kept blocks a line each, headings without their header links.
TEST(Page_text, ReadableTextKeepsHeadingsWithoutTheirHeaderLinks) {
  const Page_text t = classified(
      "<main><h1>Basic Usage<a class=headerlink href=#u>\xC2\xB6</a></h1><p>Serialize the object "
      "as a stream of text to the file, as the table shows.</p><h2>Sections \xC2\xA7 </h2>"
      "<p>The price is 5 \xC2\xA7 today, paid at the door of the hall.</p></main>");
  EXPECT_EQ(readable_text(t),
            "Basic Usage\nSerialize the object as a stream of text to the file, as the table shows.\n"
            "Sections\nThe price is 5 \xC2\xA7 today, paid at the door of the hall.");
}

// The one pass reads the title and the counts as the title reader does.
TEST(Page_text, TitleAndCountsAgreeWithTheTitleReader) {
  for (const char* file : {"layouts/wiki_article.html", "layouts/blog_post.html",
                           "layouts/news_story.html", "layouts/forum_thread.html", "doc_page.html"}) {
    const Byte_buffer_handle page = testing::test_page(file);
    Ref_string title;
    int images = 0, anchors = 0;
    read_title_and_counts(page, title, images, anchors);
    const Page_text t = read_page_text(page);
    EXPECT_EQ(t.title, title) << file;
    EXPECT_EQ(t.images, images) << file;
    EXPECT_EQ(t.anchors, anchors) << file;
  }
}

// Anchor texts of result pages are decoded text, punctuation spaced as written.
TEST(Page_text, AnchorTextsAreDecoded) {
  const std::pair<const char*, const char*> cases[] = {
      {"<a href=/x>refused &amp; gone</a>", "refused & gone"},
      {"<a href=/x>Hello, <b>world</b>!</a>", "Hello, world!"},
      {"<a href=/x>Newton&#8217;s laws &mdash; a primer</a>", "Newton\u2019s laws \u2014 a primer"},
  };
  for (const auto& [html, text] : cases) {
    Anchor_reader reader(page_of(html), Url("http://h.example/"));
    reader.run();
    ASSERT_EQ(reader.links().count(), 1) << html;
    EXPECT_EQ(reader.links().first().text.str(), text) << html;
  }
}

class Reading_test : public ::testing::Test {
 protected:
  Word_tagger tagger_{ORVALIS_DATA_DIR};
};

// The lexicon's codes that the phrase collector reads: subordinating conjunctions are
// prepositions, "been" and "being" verbs, contractions the verb of their parts.
TEST_F(Reading_test, WordClassesOfFunctionWordsAndContractions) {
  const std::pair<const char*, int> cases[] = {
      {"because", 23}, {"although", 23}, {"unless", 23}, {"been", 4}, {"being", 4},
      {"it's", 4},     {"it\u2019s", 4}, {"we'll", 2},  {"they've", 17}, {"don't", 13},
      {"can't", 2},    {"isn\u2019t", 4}, {"you're", 4},
  };
  for (const auto& [word, code] : cases) EXPECT_EQ(tagger_.word_class(word, 20), code) << word;
}

// Contractions, function words and punctuation never make key terms; extracts and key terms
// are decoded text.
TEST_F(Reading_test, KeyTermsAreSubjects) {
  const std::string page =
      "<p>It\u2019s fine because the kettle is being cleaned. We\u2019ll see; let\u2019s wait for the "
      "kettle. The kettle&#39;s handle &amp; the kettle lid arrived; the kettle works. Don&#8217;t "
      "worry: the kettle has been repaired because the handle was loose. If the kettle breaks, "
      "the handle goes first, although the lid stays.</p>";
  const Page_summary s = summarize_page(page_of(page), Ref_string(), tagger_);
  EXPECT_THAT(strings(s.key_terms), ::testing::Contains("kettle"));
  for (const std::string& t : strings(s.key_terms)) {
    EXPECT_FALSE(is_function_word(t)) << t;
    EXPECT_EQ(t.find_first_of(";,&:\u2019"), std::string::npos) << t;
    EXPECT_NE(t.back(), '\'') << t;
  }
  for (const std::string& x : strings(s.extract)) EXPECT_EQ(x.find("&"), x.find("& ")) << x;
  EXPECT_THAT(strings(s.extract), ::testing::Contains("The kettle's handle & the kettle lid arrived; the kettle works."));
}

TEST_F(Reading_test, HeadAndHeadingsGiveNoSentences) {
  const Page_summary s = summarize_page(
      page_of("<head><title>The kettle boils water quickly.</title></head><body>"
              "<h1>The kettle boils water in a minute</h1><p>The kettle boils water fast. The "
              "kettle sings when the water boils.</p></body>"),
      Ref_string(), tagger_);
  EXPECT_THAT(strings(s.extract), ::testing::ElementsAre("The kettle boils water fast.",
                                                          "The kettle sings when the water boils."));
}

// Hostile pages end in bounded time with an extract or the no-description text.
TEST_F(Reading_test, BadInput) {
  const std::string sentence = "The widget works fine and the gadget works too. ";
  std::string nested, cells = "<table><tr>", all_nav;
  for (int i = 0; i < 10000; ++i) nested += "<nav class=menu>";
  nested += "<p>" + sentence + "</p>";
  for (int i = 0; i < 10000; ++i) nested += "</nav>";
  nested += "<p>" + sentence + "</p>";
  while (cells.size() < (1u << 20)) cells += "<td>cell " + std::to_string(cells.size()) + "</td>";
  for (int i = 0; i < 20; ++i) all_nav += "<li><a href=/x" + std::to_string(i) + ">" + sentence + "</a></li>";
  const struct {
    std::string html;
    bool extract;
  } cases[] = {
      {nested, true},
      {"<aside><p>" + sentence + "</p><p>" + sentence, true},  // unclosed aside: best blocks
      {"<body hidden><p>" + sentence + "</p></body>", false},
      {cells + "</tr></table>", false},
      {"<nav><ul>" + all_nav + "</ul></nav>", true},
      {"<main> </main><p>" + sentence + "</p>", true},
  };
  for (const auto& c : cases) {
    const Page_summary s = summarize_page(page_of(c.html), Ref_string(), tagger_);
    ASSERT_FALSE(s.extract.empty());
    EXPECT_EQ(s.extract.first() != no_description_text, c.extract) << c.html.substr(0, 80);
  }
}

}  // namespace
}  // namespace orvalis

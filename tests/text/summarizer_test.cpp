#include "text/summarizer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "text/page_analysis.h"
#include "test_support.h"
#include "text_test_support.h"

namespace orvalis {
namespace {

using testing::page_of;
using testing::read_test_page;
using testing::test_page;
using V = std::vector<std::string>;

V strings(const Ref_list<Ref_string>& list) {
  V out;
  for (const Ref_string& s : list) out.push_back(s.str());
  return out;
}

// The extract's sentences, then the key terms.
V everything(const Page_summary& s) {
  V out = strings(s.extract);
  for (const Ref_string& t : s.key_terms) out.push_back(t.str());
  return out;
}

using ::testing::Contains;

class Summarizer_test : public ::testing::Test {
 protected:
  Word_tagger tagger_{ORVALIS_DATA_DIR};
};

// Each page with the weight of the term "widget" in it, and the extract of six sentences.
TEST_F(Summarizer_test, SentenceSelection) {
  std::string twenty, overlong = "The widget works";
  V first_six;
  for (int i = 0; i < 20; ++i) twenty += "Widget number " + std::to_string(i) + " works fine. ";
  for (int i = 0; i < 6; ++i) first_six.push_back("Widget number " + std::to_string(i) + " works fine.");
  while (overlong.size() <= 2000) overlong += " and works";
  const struct {
    std::string page;
    int weight;
    V extract;
  } cases[] = {
      // A sentence needs a noun before a verb.
      {"The widget works well. Works the widget? Widget and gadget, widget and gadget.", 1,
       {"The widget works well."}},
      // The first four admitted sentences count double, and earlier sentences win ties:
      // sentences 5 and 6 score 1, the first four 2; the seventh (score 2) pushes out the
      // fifth, the eighth ties with the minimum and stays out.
      {"<p>The red widget works.</p><p>The blue widget works.</p><p>The green widget works.</p>"
       "<p>The black widget works.</p><p>The white widget works.</p><p>The brown widget works.</p>"
       "<p>The gold widget beats the widget.</p><p>The pink widget works.</p>",
       1,
       {"The red widget works.", "The blue widget works.", "The green widget works.",
        "The black widget works.", "The brown widget works.", "The gold widget beats the widget."}},
      {twenty, 3, first_six},
      // Sentences over 2000 bytes are not considered.
      {overlong + ". The gadget runs.", 5, {"The gadget runs."}},
  };
  for (const auto& c : cases) {
    Term_table terms;
    terms.set("widget", c.weight);
    EXPECT_EQ(strings(select_sentences(page_of(c.page), terms, 6, tagger_)), c.extract) << c.page.substr(0, 60);
  }
}

// ---- Key terms ----

TEST_F(Summarizer_test, KeyTermsAreRepeatedNounPhrasesMostFrequentFirst) {
  Term_table table;
  int ratio = -1;
  V terms = strings(extract_terms(test_page("doc_page.html"), 100, tagger_, table, ratio));
  ASSERT_GE(terms.size(), 5u);
  EXPECT_EQ(terms.front(), "cache");
  EXPECT_THAT(terms, Contains("cache location"));
  EXPECT_THAT(terms, Contains("cache format"));
  EXPECT_GT(ratio, prose_ratio);  // English prose
  // Most frequent first, and none below a quarter of the second count (the threshold).
  std::vector<Term_weight> pairs = table.pairs();
  std::ranges::sort(pairs, std::greater{}, &Term_weight::weight);
  for (size_t i = 1; i < terms.size(); ++i) {
    EXPECT_GE(table.weight(terms[i - 1]), table.weight(terms[i]));
    EXPECT_GE(table.weight(terms[i]), pairs[1].weight / 4) << terms[i];
  }
}

TEST_F(Summarizer_test, SymbolsAndBareReferencesAreNeverTerms) {
  // Headings with a pilcrow link and titles joined by an undecoded dash, as generated
  // documentation writes them.
  std::string html =
      "<title>FindWidgets &mdash; Widget Manual</title><body>";
  for (int i = 0; i < 4; ++i)
    html += "<h2>Widget library \xc2\xb6</h2><p>The widget library \xe2\x80\x94 a library "
            "of widgets &amp; gadgets \xe2\x86\x92 finds the widget library for the build.</p>";
  Term_table table;
  int ratio = -1;
  V terms = strings(extract_terms(page_of(html), 100, tagger_, table, ratio));
  ASSERT_FALSE(terms.empty());
  EXPECT_THAT(terms, Contains("widget library"));
  for (const std::string& t : terms)
    for (const char* symbol : {"\xc2\xb6", "\xe2\x80\x94", "&amp;", "&mdash;"})
      EXPECT_EQ(t.find(symbol), std::string::npos) << t;
}

// ---- Salient terms ----

TEST(Salient_terms, AreCapitalizedLinkedOrEmphasizedRunsOfLongerWords) {
  Term_table t = salient_terms(page_of(
      "<p>Visit the Grand Canyon today. Rivers flow. <a href=x>Colorado river trips</a> and "
      "<b>bold claims</b> here, see Alpha Bravo Charlie Delta Echo Foxtrot Golf now; "
      "and at last the End Game"));
  V terms;
  for (const auto& p : t.pairs()) terms.push_back(p.term.str());
  EXPECT_THAT(terms, ::testing::UnorderedElementsAre("alpha bravo charlie delta echo foxtrot", "bold claims",
                                                     "colorado river trips", "grand canyon", "visit"));
}

// ---- Whole pages ----

// Each page: its title and counts, how its extract begins, a sentence or key term the summary
// holds, and texts that must never reach the extract or the key terms.
TEST_F(Summarizer_test, WholePages) {
  const struct {
    const char* file;
    const char* title;
    int anchors, images;
    const char* first;  // the extract's first sentence begins so
    const char* held;
    std::vector<const char*> never;
  } cases[] = {
      // Navigation, headings and the copyright line are not sentences of the extract.
      {"doc_page.html", "Configuring the Build Cache", 7, 2,
       "The build cache stores the outputs of compiled targets so that a later build can reuse "
       "them instead of compiling the same sources again.",
       "cache", {"Manual", "&copy;"}},
      // Scripts and styles never reach the summary.
      {"scripted_page.html", "Café Review: La Petite Crème", 2, 1, "The café on the corner of Rue Verte",
       "The café on the corner of Rue Verte",
       {"tracker", "Wrong", "wrong", "Hidden", "hidden", "banner", "analytics", "Not the title"}},
      // Code listings give no sentences or terms, but count toward the size and the links (the
      // one anchor is inside the second listing).
      {"code_page.html", "C++ & Rust \u2014 a tour", 1, 1, "",
       "The borrow checker rejects a program that keeps a second borrow alive at the same time.",
       {"fn ", "println", "&mut", "push_str", "std", "cout", "main", "hello"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Byte_buffer_handle page = test_page(c.file);
    Page_summary s = summarize_page(page, "http://docs.example/page.html", tagger_);
    EXPECT_EQ(s.address, "http://docs.example/page.html");
    EXPECT_EQ(s.size, page->length());
    EXPECT_EQ(s.title, c.title);
    EXPECT_EQ(s.num_anchors, c.anchors);
    EXPECT_EQ(s.num_images, c.images);
    ASSERT_FALSE(s.extract.empty());
    EXPECT_EQ(s.extract.first().str().rfind(c.first, 0), 0u) << s.extract.first();
    for (const Ref_string& sentence : s.extract)  // sentences of the page, as written there
      EXPECT_NE(read_test_page(c.file).find(sentence.str().substr(0, 12)), std::string::npos) << sentence;
    const V all = everything(s);
    EXPECT_TRUE(std::any_of(all.begin(), all.end(), [&](const std::string& x) { return x.rfind(c.held, 0) == 0; }))
        << ::testing::PrintToString(all);
    for (const std::string& text : all)
      for (const char* hidden : c.never) EXPECT_EQ(text.find(hidden), std::string::npos) << text;
  }
  EXPECT_EQ(summarize_page(test_page("doc_page.html"), "", tagger_).extract.count(), 6);
}

TEST_F(Summarizer_test, PageWithoutProseIsSummarizedByItsSalientTerms) {
  // Few determiners for many words the lexicon lacks: not read as English prose.
  const char* page =
      "<title>Katalog</title><p>Zubehör für <b>Kraftfahrzeuge</b>: Scheinwerfer Lenkräder "
      "Bremsbeläge. Lieferung durch <a href=x>Müller Versand</a>. Danke.</p>";
  Page_summary s = summarize_page(page_of(page), "", tagger_);
  EXPECT_THAT(strings(s.key_terms), ::testing::IsSupersetOf({"kraftfahrzeuge", "müller versand"}));
  EXPECT_LE(s.key_terms.count(), max_salient_terms);
  // Every sighting of a word counts, a repeated one too: the ratio is determiners per hundred
  // words the lexicon lacks.
  const struct {
    int determiners, unknown, ratio;
  } counts[] = {{1, 12, 8}, {3, 12, 25}, {5, 1, 500}, {0, 4, 0}};
  for (const auto& c : counts) {
    std::string html = "<p>";
    for (int i = 0; i < std::max(c.determiners, c.unknown); ++i)
      html += std::string(i < c.determiners ? " the" : "") + (i < c.unknown ? " Kraftfahrzeuge" : " end") + ",";
    Term_table table;
    int ratio = -1;
    extract_terms(page_of(html), max_key_terms, tagger_, table, ratio);
    EXPECT_EQ(ratio, c.ratio) << html;
  }
}

TEST_F(Summarizer_test, WorksWithoutALexicon) {
  testing::Message_recorder quiet;
  Word_tagger guessing("/nonexistent-folder");
  Page_summary s = summarize_page(test_page("doc_page.html"), "", guessing);
  EXPECT_FALSE(s.key_terms.empty());
  EXPECT_FALSE(s.extract.empty());
}

TEST_F(Summarizer_test, ConcurrentSummariesOnTwoThreadsAgreeWithOne) {
  const std::string text = read_test_page("doc_page.html");
  const V expected = everything(summarize_page(page_of(text), "", tagger_));
  V results[2];
  std::thread threads[2];
  for (int i = 0; i < 2; ++i)
    threads[i] = std::thread([&, i] {
      Word_tagger tagger(ORVALIS_DATA_DIR);
      for (int round = 0; round < 20; ++round) results[i] = everything(summarize_page(page_of(text), "", tagger));
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(results[0], expected);
  EXPECT_EQ(results[1], expected);
}

// The tagger remembers words and classes from page to page, and the summary its classes by
// word; each summary is still what a fresh tagger gives, in either order of the pages. Among
// them a page of more distinct words than the tagger remembers at once, and one read by its
// salient terms (the lexicon's counts decide that).
TEST_F(Summarizer_test, ASummaryDoesNotDependOnThePagesBefore) {
  std::string many = "<title>Many</title><p>";
  for (int i = 0; i < 5000; ++i) {
    std::string word = "zq";
    for (int k = i; k > 0; k /= 26) word += static_cast<char>('a' + k % 26);
    many += "The " + word + " runs. ";
  }
  const std::vector<std::string> pages = {
      read_test_page("doc_page.html"), read_test_page("code_page.html"),
      read_test_page("layouts/wiki_article.html"), read_test_page("layouts/forum_thread.html"),
      many,
      "<p>Zubehör für <b>Kraftfahrzeuge</b>: Scheinwerfer Lenkräder Bremsbeläge. Lieferung durch "
      "<a href=x>Müller Versand</a>. Danke.</p>"};
  std::vector<V> fresh;
  for (const std::string& page : pages) {
    Word_tagger tagger(ORVALIS_DATA_DIR);
    fresh.push_back(everything(summarize_page(page_of(page), "", tagger)));
  }
  for (int round = 0; round < 2; ++round)
    for (size_t k = 0; k < pages.size(); ++k) {
      const size_t i = round == 0 ? k : pages.size() - 1 - k;
      EXPECT_EQ(everything(summarize_page(page_of(pages[i]), "", tagger_)), fresh[i]) << "page " << i;
    }
}

// ---- What a retrieval does to the stored summary ----

TEST_F(Summarizer_test, StatusDecidesWhatChanges) {
  using enum Summary_change;
  const Ref_list<Ref_string> zero, one{"old"}, two{"first", "second"};
  const char* page = "<title>T</title><p>The page has a sentence with a verb.</p>";
  const struct {
    bool completed, timed_out;
    int status;
    const char* body;
    const Ref_list<Ref_string>& stored;
    Summary_change change;
    V extract;
  } cases[] = {
      // A failed request fills an abstract of at most one item.
      {false, false, 0, "", one, abstract, {"[NO TEXT: Request did not complete successfully]"}},
      {false, true, 0, "", zero, abstract, {"[NO TEXT: Not enough time allocated for Network Connection]"}},
      {false, false, 0, "", two, none, {}},
      // Not modified, an empty page, a redirection: nothing changes.
      {true, false, 304, "", two, none, {}},
      {true, false, 200, "", two, none, {}},
      {true, false, 302, page, two, none, {}},
      {true, false, 200, page, two, all, {"The page has a sentence with a verb."}},
      // An error adds its status text to the stored abstract.
      {true, false, 404, "", two, abstract, {"first", "second", "[NO TEXT: Document could not be found]"}},
  };
  for (const auto& c : cases) {
    Retrieval r{c.completed, c.timed_out, c.status, "[NO TEXT: Document could not be found]", page_of(c.body)};
    Summary_result result = summarize_retrieval(r, "u", c.stored, tagger_);
    EXPECT_EQ(result.change, c.change) << c.status << " " << c.body;
    EXPECT_EQ(strings(result.summary.extract), c.extract) << c.status << " " << c.body;
    EXPECT_EQ(result.summary.retrieved, c.change == all);
    EXPECT_EQ(result.summary.title, c.change == all ? "T" : "");
  }
}

// ---- The analyze command's function ----

TEST_F(Summarizer_test, AnalyzesAtMostTheLimitOfAFileAndNamesAFileItCannotRead) {
  Page_analysis a = analyze_file(ORVALIS_SOURCE_DIR "/tests/text/pages/doc_page.html", 1000, tagger_);
  ASSERT_TRUE(a.ok);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.size, 1000);
  a = analyze_file("/nonexistent/page.html", 1 << 20, tagger_);
  EXPECT_FALSE(a.ok);
  EXPECT_TRUE(a.error.starts_with("Cannot read /nonexistent/page.html")) << a.error;
}

}  // namespace
}  // namespace orvalis

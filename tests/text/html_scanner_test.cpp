#include "text/html_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "text_test_support.h"

namespace orvalis {
namespace {

using testing::page_of;
using testing::Recording_scanner;
using testing::sentences_of;
using testing::words_of;
using V = std::vector<std::string>;

// ---- Tokens ----

TEST(Html_scanner_tokens, CutsSpacesTagsWordsAndPunctuationInPageOrder) {
  Recording_scanner s(page_of("Hi <b>there</b>,\n  you!"), 0);
  s.run();
  EXPECT_EQ(s.events, (V{"word:Hi", "space: ", "tag:<b>", "word:there", "tag:</b>", "punct:,",
                         "space:\n  ", "word:you", "punct:!"}));
}

TEST(Html_scanner_tokens, Words) {
  const std::pair<const char*, V> cases[] = {
      // Apostrophes, hyphens and entity references stay in the word.
      {"don't well-known caf&eacute; &amp; x;y", {"don't", "well-known", "caf&eacute;", "&amp;", "x;y"}},
      // Dots inside a word and initialisms too.
      {"see index.html now", {"see", "index.html", "now"}},
      {"e.g. the U.S. army", {"e.g.", "the", "U.S.", "army"}},
      {"A. Smith", {"A.", "Smith"}},
      // Short abbreviations with few vowels keep their dot; a second dot is read with six
      // characters: too long.
      {"Mrs. Jones", {"Mrs.", "Jones"}}, {"Acme Inc. sells", {"Acme", "Inc", "sells"}},
      {"Mr. Smith", {"Mr", "Smith"}}, {"Blvd.. x", {"Blvd.", "x"}}, {"rhythm. x", {"rhythm", "x"}},
      // Numbers keep dots and commas only between digits.
      {"3.14 and 1,000", {"3.14", "and", "1,000"}}, {"12abc", {"12", "abc"}},
  };
  for (const auto& [text, words] : cases) EXPECT_EQ(words_of(text), words) << text;
}

TEST(Html_scanner_tokens, NumbersKeepDotsAndCommasOnlyBetweenDigits) {
  Recording_scanner s(page_of("in 1997. Then"), 0);
  s.run();
  EXPECT_EQ(s.events, (V{"word:in", "space: ", "word:1997", "punct:.", "space: ", "word:Then"}));
}

TEST(Html_scanner_tokens, UnclosedTagRunsToTheEndOfThePage) {
  Recording_scanner s(page_of("text <a href='x"), 0);
  s.run();
  EXPECT_EQ(s.events, (V{"word:text", "space: ", "tag:<a href='x"}));
}

TEST(Html_scanner_tokens, FirstGreaterThanEndsATagEvenInsideQuotesAndComments) {
  Recording_scanner s(page_of("<a title=\"a>b\">x<!-- c > d -->"), 0);
  s.run();
  EXPECT_EQ(s.events, (V{"tag:<a title=\"a>", "word:b", "punct:\"", "punct:>", "word:x",
                         "tag:<!-- c >", "space: ", "word:d", "space: ", "punct:-", "punct:-",
                         "punct:>"}));
}

// ---- UTF-8 and control characters ----

TEST(Html_scanner_utf8, MultiByteCharactersAreLettersSoWordsStayWhole) {
  EXPECT_EQ(words_of("café crème Zürich naïve—done"),
            (V{"café", "crème", "Zürich", "naïve—done"}));
}

TEST(Html_scanner_utf8, ControlCharactersAndZeroBytesAreWhiteSpaceNotTheEnd) {
  std::string page = "one\x01two";
  page += '\0';
  page += "three\x7f" "four";
  EXPECT_EQ(words_of(page), (V{"one", "two", "three", "four"}));
}

// ---- Sentences ----

TEST(Html_scanner_sentences, EndAfterSentencePunctuationAndDropShortRemainders) {
  EXPECT_EQ(sentences_of("Hello, world. Bye"), (V{"Hello, world."}));
  EXPECT_EQ(sentences_of("Mr. Smith went home."), (V{"Smith went home."}));
  EXPECT_EQ(sentences_of("Yes, right | no way * maybe later? sure thing!"),
            (V{"Yes, right |", "no way *", "maybe later?", "sure thing!"}));
}

TEST(Html_scanner_sentences, AbsorbedDotsDoNotEndSentences) {
  EXPECT_EQ(sentences_of("See e.g. the U.S. army today."), (V{"See e.g. the U.S. army today."}));
}

TEST(Html_scanner_sentences, TextWithoutSentenceEndStillGivesOneSentence) {
  EXPECT_EQ(sentences_of("a list of words without an end"), (V{"a list of words without an end"}));
}

TEST(Html_scanner_sentences, WhiteSpaceFoldsToOneBlankAndTagsJoinWords) {
  EXPECT_EQ(sentences_of("  foo<b>bar</b>   baz\n\n qux <i> end</i> here."),
            (V{"foobar baz qux end here."}));
}

TEST(Html_scanner_sentences, HeadingsTitleAndLineBreaksEndSentencesButParagraphsDoNot) {
  EXPECT_EQ(sentences_of("<TITLE>Page title</TITLE><h1>Big heading</h1>first part<p>second "
                         "part<br>after break"),
            (V{"Page title", "Big heading", "first partsecond part", "after break"}));
  // Code listings give no sentences.
  EXPECT_EQ(sentences_of("Before the code<pre>x = 1; run(x). y();</PRE> after the code."),
            (V{"Before the code", "after the code."}));
}

TEST(Html_scanner_sentences, SentenceOfSevenBytesIsKeptAndOfSixIsNot) {
  EXPECT_EQ(sentences_of("ab cd. abc de."), (V{"abc de."}));
}

// ---- Rewriting ----

class Word_replacer : public Html_scanner {
 public:
  using Html_scanner::Html_scanner;
  int on_word(const char* t, int n, Ref_string& r) override {
    if (std::string(t, static_cast<size_t>(n)) != "cat") return 0;
    r = "dog";
    return 1;
  }
  int on_tag(const char* t, int n, Ref_string& r) override {
    if (std::string(t, static_cast<size_t>(n)) != "<hr>") return 0;
    r = "";  // a nonzero result with an empty replacement deletes the token
    return 1;
  }
};

TEST(Html_scanner_rewriting, ReplacesOnlyTokensWhoseHandlerAsksAndCopiesTheRest) {
  Word_replacer s(page_of("<p>The cat<hr>sat on the cat.</p>"), 0);
  Ref_string out = "prefix:";
  s.run(1, &out);
  EXPECT_EQ(out.str(), "prefix:<p>The dogsat on the dog.</p>");
}

// ---- Script and style ----

TEST(Html_scanner_raw_text, ScriptAndStyleContentsReachNoHandler) {
  Recording_scanner s(page_of("a<script>var x = '<b>bold</b>'; if (a<b) go();</script>b"
                              "<STYLE type=x>p { color: red }</Style >c"),
                      1);
  s.run();
  EXPECT_EQ(s.events, (V{"word:a", "tag:<script>", "tag:</script>", "word:b", "tag:<STYLE type=x>",
                         "tag:</Style >", "word:c"}));
}

TEST(Html_scanner_raw_text, OnlyTheMatchingEndTagClosesTheElement) {
  EXPECT_EQ(words_of("<script>x='</scripts>'; y='</style>';</script>after"), (V{"after"}));
  EXPECT_EQ(words_of("<scripts>visible</scripts>"), (V{"visible"}));
}

TEST(Html_scanner_raw_text, UnclosedScriptHidesTheRestOfThePage) {
  EXPECT_EQ(words_of("before<script>never seen"), (V{"before"}));
}

TEST(Html_scanner_raw_text, RewritingCopiesScriptContentsUnchanged) {
  const std::string page = "<p>cat</p><script>cat = '<hr>';</script><hr>cat";
  Word_replacer s(page_of(page), 0);
  Ref_string out;
  s.run(1, &out);
  EXPECT_EQ(out.str(), "<p>dog</p><script>cat = '<hr>';</script>dog");
}

}  // namespace
}  // namespace orvalis

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

// Every token the handlers see, in page order.
TEST(Html_scanner, Tokens) {
  const std::pair<const char*, V> cases[] = {
      {"Hi <b>there</b>,\n  you!",
       {"word:Hi", "space: ", "tag:<b>", "word:there", "tag:</b>", "punct:,", "space:\n  ",
        "word:you", "punct:!"}},
      // A number keeps a dot only between digits.
      {"in 1997. Then", {"word:in", "space: ", "word:1997", "punct:.", "space: ", "word:Then"}},
      // An unclosed tag runs to the end of the page.
      {"text <a href='x", {"word:text", "space: ", "tag:<a href='x"}},
      // The first ">" ends a tag, even inside quotes and comments.
      {"<a title=\"a>b\">x<!-- c > d -->",
       {"tag:<a title=\"a>", "word:b", "punct:\"", "punct:>", "word:x", "tag:<!-- c >", "space: ",
        "word:d", "space: ", "punct:-", "punct:-", "punct:>"}},
      // Script and style contents reach no handler.
      {"a<script>var x = '<b>bold</b>'; if (a<b) go();</script>b<STYLE type=x>p { color: red }</Style >c",
       {"word:a", "tag:<script>", "tag:</script>", "word:b", "tag:<STYLE type=x>", "tag:</Style >",
        "word:c"}},
  };
  for (const auto& [page, events] : cases) {
    Recording_scanner s(page_of(page), 1);
    s.run();
    EXPECT_EQ(s.events, events) << page;
  }
}

TEST(Html_scanner, Words) {
  std::string zero = "one\x01two";
  zero += '\0';
  zero += "three\x7f" "four";
  const std::pair<std::string, V> cases[] = {
      // Apostrophes and hyphens stay in the word; references are decoded first: a letter
      // continues the word, "&" and ";" are punctuation.
      {"don't well-known caf&eacute; &amp; x;y", {"don't", "well-known", "café", "x", "y"}},
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
      // Multi-byte characters are letters; control characters and zero bytes are white space.
      {"café crème Zürich naïve—done", {"café", "crème", "Zürich", "naïve", "done"}},
      {zero, {"one", "two", "three", "four"}},
      // Only the matching end tag closes a script; an unclosed one hides the rest.
      {"<script>x='</scripts>'; y='</style>';</script>after", {"after"}},
      {"<scripts>visible</scripts>", {"visible"}},
      {"before<script>never seen", {"before"}},
  };
  for (const auto& [text, words] : cases) EXPECT_EQ(words_of(text), words) << text;
}

TEST(Html_scanner, Sentences) {
  const std::pair<const char*, V> cases[] = {
      // Sentences end after sentence punctuation; short remainders are dropped.
      {"Hello, world. Bye", {"Hello, world."}},
      {"Mr. Smith went home.", {"Smith went home."}},
      {"Yes, right | no way * maybe later? sure thing!",
       {"Yes, right |", "no way *", "maybe later?", "sure thing!"}},
      // Dots absorbed into words end nothing.
      {"See e.g. the U.S. army today.", {"See e.g. the U.S. army today."}},
      {"a list of words without an end", {"a list of words without an end"}},
      // White space folds to one blank; tags join words.
      {"  foo<b>bar</b>   baz\n\n qux <i> end</i> here.", {"foobar baz qux end here."}},
      // Headings, the title, line breaks and block-level elements end sentences.
      {"<TITLE>Page title</TITLE><h1>Big heading</h1>first part<p>second part<br>after break",
       {"Page title", "Big heading", "first part", "second part", "after break"}},
      // Code listings give no sentences.
      {"Before the code<pre>x = 1; run(x). y();</PRE> after the code.",
       {"Before the code", "after the code."}},
      // Seven bytes make a sentence, six do not.
      {"ab cd. abc de.", {"abc de."}},
  };
  for (const auto& [text, sentences] : cases) EXPECT_EQ(sentences_of(text), sentences) << text;
}

// Replaces the word "cat" by "dog" and deletes "<hr>" tags.
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

// An endless token or sentence is handed on in pieces of max_token bytes: lengths always fit
// the handlers' int, however large the page (a one-word page of 2 GiB once overflowed them).
TEST(Html_scanner, TokensAndSentencesAreCutAtMaxToken) {
  const std::size_t m = Html_scanner::max_token;
  using Sizes = std::vector<std::size_t>;
  const struct {
    char fill;
    Sizes tokens, sentences;  // "kind:" and the token text; the sentences' lengths
  } cases[] = {{'a', {m + 5, 15}, {m, 10}}, {'1', {m + 5, 15}, {m, 10}}, {'<', {m + 4, 14}, {}}, {' ', {m + 6, 16}, {}}};
  for (const auto& c : cases) {
    testing::Recording_scanner s(testing::page_of(std::string(m + 10, c.fill)), 1);
    s.run();
    Sizes tokens, sentences;
    for (const std::string& e : s.events) tokens.push_back(e.size());
    for (const std::string& e : s.sentences) sentences.push_back(e.size());
    EXPECT_EQ(tokens, c.tokens) << c.fill;
    EXPECT_EQ(sentences, c.sentences) << c.fill;
  }
}

TEST(Html_scanner, RewritingReplacesOnlyTokensWhoseHandlerAsksAndCopiesScriptsUnchanged) {
  Word_replacer s(page_of("<p>The cat<hr>sat on the cat.</p><script>cat = '<hr>';</script><hr>cat"), 0);
  Ref_string out = "prefix:";
  s.run(1, &out);
  EXPECT_EQ(out.str(), "prefix:<p>The dogsat on the dog.</p><script>cat = '<hr>';</script>dog");
}

}  // namespace
}  // namespace orvalis

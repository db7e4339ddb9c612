#include "text/word_tagger.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "lexicon_builder.h"
#include "test_support.h"

namespace orvalis {
namespace {

using testing::build_lexicon;

constexpr int start = Word_tagger::start_of_text;

// The classes of a text's words, each word tagged after the class of the one before.
std::vector<int> tag_text(Word_tagger& tagger, const std::string& text) {
  std::istringstream words(text);
  std::vector<int> classes;
  int previous = start;
  for (std::string word; words >> word;) {
    previous = tagger.tag_word(std::string_view(word), previous)->word_class();
    classes.push_back(previous);
  }
  return classes;
}

class Word_tagger_test : public ::testing::Test {
 protected:
  Word_tagger_test()
      : bytes_(build_lexicon(
            {{"the", {10}},      {"some", {33}},     {"this", {40}},   {"which", {32}},
             {"run", {20, 38}},  {"open", {0, 38}},  {"like", {23, 38}}, {"round", {23, 20}},
             {"my", {16, 29}},   {"has", {17, 38}},  {"and", {8}},     {"bigger", {22}},
             {"very", {1}},      {"taken", {46, 30}}, {"paris", {20}},  {"dog", {20}}},
            11)),
        tagger_(bytes_.data(), bytes_.size()) {}

  int tag(const std::string& word, int previous) {
    return tagger_.tag_word(std::string_view(word), previous)->word_class();
  }

  std::vector<unsigned char> bytes_;
  Word_tagger tagger_;
};

// One case for each way a class is decided: by form, by the lexicon's codes, by the class
// before, and by capitals.
TEST_F(Word_tagger_test, ClassesByFormCodesContextAndCapitals) {
  const struct {
    const char* word;
    int previous;
    int expected;
  } cases[] = {
      // Form: numbers, abbreviations, initials, function words.
      {"3.5", 10, 37}, {"U.S.", 10, 37}, {"J.", 26, 26}, {"J.", 10, 37}, {"who", 10, 39},
      {"there", 20, 1}, {"there", 8, 41}, {"shouldn't", 29, 2}, {"first", 38, 1},
      // Lexicon codes mapped to one class.
      {"some", 38, 10}, {"my", 38, 48}, {"has", 29, 38}, {"taken", 4, 46}, {"bigger", 29, 0},
      // The class before settles ambiguous words.
      {"run", 10, 20}, {"run", 29, 38}, {"open", 10, 0}, {"walked", 45, 38}, {"walked", 10, 0},
      {"like", 29, 23}, {"round", 10, 20}, {"round", 38, 23},
      // Capitals inside a text make names, not at a sentence's start or for possessives.
      {"Paris", 23, 26}, {"Paris", start, 20}, {"Very", 20, 26}, {"Very", 14, 1},
      {"The", 20, 10}, {"McDonald's", 23, 16}, {"NASA", 23, 26},
  };
  for (const auto& c : cases) EXPECT_EQ(tag(c.word, c.previous), c.expected) << c.word << " after " << c.previous;
  // Decided by form: nothing was looked up.
  EXPECT_FALSE(tagger_.tag_word(std::string_view("which"), 10)->candidates.any());
  auto classes = tagger_.tag_word(std::string_view("run"), 10);  // chosen: 20, in the table
  EXPECT_TRUE(classes->candidates.test(20) && classes->candidates.test(38));
}

// Remembered answers, by word or from a word's facts, are tag_word's, and the lexicon's counts
// move as if each word had been tagged afresh: on first and later sightings, after the memory
// was cleared, for words too long to be remembered.
TEST_F(Word_tagger_test, RememberedClassesAndCountsAreTagWordsOwn) {
  const struct {
    const char* word;
    int previous;
  } cases[] = {{"the", 38},  {"run", 10},    {"run", 29},       {"Paris", 23}, {"Paris", start},
               {"some", 38}, {"walked", 45}, {"zyxwv", 10},     {"3.5", 10},   {"there", 8},
               {"it’s", 20}, {"the", 38}, {"Counterrevolutionaryisms", 10},
               {"antidisestablishmentarianisms", 10}, {"zyxwv", 10}};
  Word_tagger fresh(bytes_.data(), bytes_.size());
  for (int round = 0; round < 3; ++round) {
    if (round == 2) tagger_.forget_words();
    for (const auto& c : cases) {
      const int expected = fresh.tag_word(std::string_view(c.word), c.previous)->word_class();
      EXPECT_EQ(tagger_.word_class(c.word, c.previous), expected) << c.word;
      Word_facts facts;
      tagger_.read_facts(c.word, facts);
      EXPECT_EQ(tagger_.word_class(facts, c.previous), expected) << c.word;
    }
  }
  EXPECT_GT(fresh.lexicon().unknown_count(), 0);
  EXPECT_GT(fresh.lexicon().determiner_count(), 0);
  EXPECT_EQ(tagger_.lexicon().unknown_count(), 2 * fresh.lexicon().unknown_count());
  EXPECT_EQ(tagger_.lexicon().determiner_count(), 2 * fresh.lexicon().determiner_count());
}

TEST(Word_tagger, WithoutALexiconWordsAreGuessed) {
  testing::Message_recorder errors;
  const unsigned char not_a_lexicon[] = {2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
  Word_tagger tagger(not_a_lexicon, sizeof not_a_lexicon);
  ASSERT_EQ(errors.messages().count(), 1);
  EXPECT_EQ(errors.messages().first(), "Could not open lexicon.");
  EXPECT_FALSE(tagger.has_lexicon());
  EXPECT_EQ(tag_text(tagger, "a i walked quickly"), (std::vector<int>{10, 29, 38, 1}));
  EXPECT_EQ(tagger.lexicon().unknown_count(), 2);
}

TEST(Word_tagger, ShippedLexiconTagsASentence) {
  testing::Message_recorder errors;
  Word_tagger tagger(ORVALIS_DATA_DIR);
  ASSERT_TRUE(tagger.has_lexicon());
  EXPECT_EQ(tag_text(tagger, "The results of the study were published in a scientific journal"),
            (std::vector<int>{10, 20, 23, 10, 20, 4, 38, 23, 10, 0, 20}));
  EXPECT_EQ(tag_text(tagger, "She reads a book"), (std::vector<int>{29, 38, 10, 20}));
  EXPECT_EQ(tagger.lexicon().determiner_count(), 4);
  EXPECT_EQ(tagger.lexicon().unknown_count(), 0);
  EXPECT_EQ(errors.messages().count(), 0);
}

}  // namespace
}  // namespace orvalis

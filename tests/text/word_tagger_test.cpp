#include "text/word_tagger.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "foundation/error_handler.h"
#include "lexicon_builder.h"

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
            {{"the", {10}},       {"some", {33}},      {"this", {40}},    {"all", {31}},
             {"which", {32}},     {"run", {20, 38}},   {"open", {0, 38}}, {"like", {23, 38}},
             {"round", {23, 20}}, {"over", {23, 1}},   {"my", {16, 29}},  {"he", {29}},
             {"himself", {34}},   {"was", {4}},        {"been", {45}},    {"has", {17, 38}},
             {"do", {13}},        {"does", {13}},      {"can", {2}},      {"and", {8}},
             {"because", {42}},   {"bigger", {22}},    {"very", {1}},     {"national", {25}},
             {"made", {38, 46}},  {"taken", {46, 30}}, {"running", {30}}, {"paris", {20}},
             {"dog", {20}},       {"one", {9}}},
            11)),
        tagger_(bytes_.data(), bytes_.size()) {}

  int tag(const std::string& word, int previous) {
    return tagger_.tag_word(std::string_view(word), previous)->word_class();
  }

  std::vector<unsigned char> bytes_;
  Word_tagger tagger_;
};

TEST_F(Word_tagger_test, FormDecidesNumbersAbbreviationsAndFunctionWords) {
  EXPECT_EQ(tag("3.5", 10), 37);
  EXPECT_EQ(tag("1997", start), 37);
  EXPECT_EQ(tag("U.S.", 10), 37);
  EXPECT_EQ(tag("J.", 26), 26);  // an initial after a name
  EXPECT_EQ(tag("J.", 10), 37);
  EXPECT_EQ(tag("J.r", 26), 37);
  EXPECT_EQ(tag("who", 10), 39);
  EXPECT_EQ(tag("However", start), 39);
  EXPECT_EQ(tag("whenever", 10), 23);
  EXPECT_EQ(tag("there", 20), 1);
  EXPECT_EQ(tag("there", 8), 41);
  EXPECT_EQ(tag("there", 42), 41);
  EXPECT_EQ(tag("die", 10), 38);
  EXPECT_EQ(tag("shouldn't", 29), 2);
  EXPECT_EQ(tag("that", 20), 36);
  EXPECT_EQ(tag("first", 10), 0);
  EXPECT_EQ(tag("first", 38), 1);
  // Decided by form: nothing was looked up.
  EXPECT_FALSE(tagger_.tag_word(std::string_view("which"), 10)->candidates.any());
  EXPECT_EQ(tagger_.lexicon().unknown_count(), 0);
}

TEST_F(Word_tagger_test, LexiconCodesMapToOneClass) {
  EXPECT_EQ(tag("the", start), 10);
  for (const char* determiner : {"some", "this", "all"}) EXPECT_EQ(tag(determiner, 38), 10);
  EXPECT_EQ(tag("himself", 38), 29);
  EXPECT_EQ(tag("my", 38), 48);  // possessive: 16 then 29
  EXPECT_EQ(tag("was", 29), 4);
  EXPECT_EQ(tag("has", 29), 38);  // 17, then the verb reading
  EXPECT_EQ(tag("do", 29), 13);
  EXPECT_EQ(tag("national", 10), 25);
  EXPECT_EQ(tag("running", 29), 30);
  EXPECT_EQ(tag("taken", 4), 46);  // a participle alone keeps its first code
  EXPECT_EQ(tag("bigger", 29), 0);

  auto classes = tagger_.tag_word(std::string_view("run"), 10);
  EXPECT_TRUE(classes->candidates.test(20));
  EXPECT_TRUE(classes->candidates.test(38));
  EXPECT_EQ(classes->word_class(), 20);
  EXPECT_EQ(classes->chosen.first(), 20);
}

TEST_F(Word_tagger_test, PreviousClassSettlesAmbiguousWords) {
  // Noun or verb: a noun after a determiner, preposition or possessive, else a verb.
  EXPECT_EQ(tag("run", 10), 20);
  EXPECT_EQ(tag("run", 23), 20);
  EXPECT_EQ(tag("run", 16), 20);
  EXPECT_EQ(tag("run", 29), 38);
  // Adjective or verb: an adjective after a determiner, a verb after a pronoun.
  EXPECT_EQ(tag("open", 10), 0);
  EXPECT_EQ(tag("open", 29), 38);
  // Adjective, verb and participle: a verb after "was" or "been".
  EXPECT_EQ(tag("walked", 4), 38);
  EXPECT_EQ(tag("walked", 45), 38);
  EXPECT_EQ(tag("walked", 10), 0);
  // Preposition or verb: a preposition.
  EXPECT_EQ(tag("like", 29), 23);
  // Preposition or noun: a noun after a determiner, else a preposition.
  EXPECT_EQ(tag("round", 10), 20);
  EXPECT_EQ(tag("round", 38), 23);
  EXPECT_EQ(tag("over", 38), 23);
}

TEST_F(Word_tagger_test, CapitalisedWordsInsideATextAreNames) {
  EXPECT_EQ(tag("Paris", 23), 26);
  EXPECT_EQ(tag("Paris", start), 20);    // sentence start: just a capital
  EXPECT_EQ(tag("Run", 29), 26);         // verb reading becomes a name
  EXPECT_EQ(tag("Very", 20), 26);        // adverb reading becomes a name...
  EXPECT_EQ(tag("Very", 14), 1);         // ...but not after a sentence's end
  EXPECT_EQ(tag("The", 20), 10);         // a determiner stays one
  EXPECT_EQ(tag("Joe's", 23), 16);       // possessive, not a name
  EXPECT_EQ(tag("McDonald's", 23), 16);  // possessive with an inner capital: 16 from "'s"
  EXPECT_EQ(tag("NASA", 23), 26);
}

TEST_F(Word_tagger_test, CountsDeterminersAndUnknownWords) {
  EXPECT_EQ(tag_text(tagger_, "the dog saw some cats and this dog"),
            (std::vector<int>{10, 20, 20, 10, 20, 8, 10, 20}));
  EXPECT_EQ(tagger_.lexicon().determiner_count(), 3);
  EXPECT_EQ(tagger_.lexicon().unknown_count(), 2);  // saw, cats
}

TEST(Word_tagger, WithoutALexiconWordsAreGuessed) {
  Collecting_error_handler errors;
  const unsigned char not_a_lexicon[] = {2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
  Word_tagger tagger(not_a_lexicon, sizeof not_a_lexicon);
  ASSERT_EQ(errors.messages().count(), 1);
  EXPECT_EQ(errors.messages().first(), "Could not open lexicon.");
  EXPECT_FALSE(tagger.has_lexicon());
  EXPECT_EQ(tag_text(tagger, "a i walked quickly"), (std::vector<int>{10, 29, 38, 1}));
  EXPECT_EQ(tagger.lexicon().unknown_count(), 2);
}

TEST(Word_tagger, ShippedLexiconTagsASentence) {
  Collecting_error_handler errors;
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

// The sentence diff: cutting texts into sentences, the edits found (always a correct account of
// both texts, and the shortest one while the edits are within the bound), and the unified form.
#include "text/sentence_diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace orvalis {
namespace {

std::string joined(const std::vector<std::string>& v) {
  std::string out;
  for (const std::string& s : v) out += s + "|";
  return out;
}

// "-a +b  c" style: each edit as its mark and text.
std::string edits_text(const std::vector<Sentence_edit>& edits) {
  std::string out;
  for (const Sentence_edit& e : edits) out += static_cast<char>(e.kind) + e.text + " ";
  return out;
}

// The two lists an edit script stands for.
void sides(const std::vector<Sentence_edit>& edits, std::vector<std::string>& older,
           std::vector<std::string>& newer) {
  for (const Sentence_edit& e : edits) {
    if (e.kind != Sentence_edit::added) older.push_back(e.text);
    if (e.kind != Sentence_edit::removed) newer.push_back(e.text);
  }
}

std::vector<std::string> letters(const std::string& s) {
  std::vector<std::string> out;
  for (char c : s) out.emplace_back(1, c);
  return out;
}

TEST(SentenceDiff, CutsTextIntoSentences) {
  const struct {
    const char* text;
    const char* sentences;
  } cases[] = {
      {"", ""},
      {"One. Two! Three? Four", "One.|Two!|Three?|Four|"},
      {"Heading\nA line. Another", "Heading|A line.|Another|"},
      {"  folded \t white   space.  ", "folded white space.|"},
      {"Version 1.5 is out. e.g.this stays", "Version 1.5 is out.|e.g.this stays|"},
      {"\n\n\nblank lines\n\n", "blank lines|"},
  };
  for (const auto& c : cases) EXPECT_EQ(joined(text_sentences(c.text)), c.sentences) << c.text;
}

TEST(SentenceDiff, FindsTheShortestEdits) {
  const struct {
    const char* older;
    const char* newer;
    const char* edits;
  } cases[] = {
      {"abc", "abc", " a  b  c "},
      {"", "ab", "+a +b "},
      {"ab", "", "-a -b "},
      {"abc", "axc", " a -b +x  c "},
      // Myers' own example has several shortest scripts of 5 edits: any one will do.
      {"abcabba", "cbabac", "-a -b  c +b  a  b -b  a +c "},
      {"xab", "ab", "-x  a  b "},
      {"ab", "abx", " a  b +x "},
  };
  for (const auto& c : cases) {
    const auto edits = diff_sentences(letters(c.older), letters(c.newer));
    const std::string got = edits_text(edits), want = c.edits;
    auto changes = [](const std::string& s) { return std::count(s.begin(), s.end(), '+') + std::count(s.begin(), s.end(), '-'); };
    std::vector<std::string> older, newer;
    sides(edits, older, newer);
    EXPECT_EQ(older, letters(c.older)) << c.older << " -> " << c.newer;
    EXPECT_EQ(newer, letters(c.newer)) << c.older << " -> " << c.newer;
    EXPECT_EQ(changes(got), changes(want)) << c.older << " -> " << c.newer << ": " << got;
    if (changes(want) < 5) {
      EXPECT_EQ(got, want) << c.older << " -> " << c.newer;
    }
  }
}

TEST(SentenceDiff, AlwaysAccountsForBothTexts) {
  // Pseudo-random lists over a small alphabet, with and without a bound that cuts the search.
  std::uint32_t x = 12345;
  auto next = [&] { return x = x * 1103515245u + 12345u, (x >> 16) % 6; };
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> a, b;
    const int n = static_cast<int>(next() * 7), m = static_cast<int>(next() * 7);
    for (int i = 0; i < n; ++i) a.push_back(std::string(1, static_cast<char>('a' + next())));
    for (int i = 0; i < m; ++i) b.push_back(std::string(1, static_cast<char>('a' + next())));
    for (int bound : {4000, 2, 1}) {
      std::vector<std::string> older, newer;
      const auto edits = diff_sentences(a, b, bound);
      sides(edits, older, newer);
      ASSERT_EQ(older, a) << round << " bound " << bound;
      ASSERT_EQ(newer, b) << round << " bound " << bound;
    }
  }
}

TEST(SentenceDiff, LongTextsWithFewChanges) {
  std::vector<std::string> a, b;
  for (int i = 0; i < 200000; ++i) a.push_back("Sentence " + std::to_string(i) + ".");
  b = a;
  b[1000] = "Changed.";
  b.erase(b.begin() + 150000);
  b.push_back("Added at the end.");
  std::vector<Sentence_edit> changes;
  for (Sentence_edit& e : diff_sentences(a, b))
    if (e.kind != Sentence_edit::same) changes.push_back(e);
  EXPECT_EQ(edits_text(changes), "-Sentence 1000. +Changed. -Sentence 150000. +Added at the end. ");
  EXPECT_EQ(changes[0].older, 1001);
  EXPECT_EQ(changes[1].newer, 1001);
}

TEST(SentenceDiff, UnifiedForm) {
  const struct {
    const char* older;
    const char* newer;
    int context;
    const char* diff;
  } cases[] = {
      {"A. B. C.", "A. B. C.", 1, ""},
      {"A. B. C. D. E.", "A. B. X. D. E.", 1, "--- old\n+++ new\n@@ -2,3 +2,3 @@\n B.\n-C.\n+X.\n D.\n"},
      {"A. B.", "A. B. C.", 0, "--- old\n+++ new\n@@ -2,0 +3,1 @@\n+C.\n"},
      // Changes two unchanged sentences apart share a hunk at context 1; three apart do not.
      {"A. B. C. D. E. F.", "X. B. C. Y. E. F.", 1,
       "--- old\n+++ new\n@@ -1,5 +1,5 @@\n-A.\n+X.\n B.\n C.\n-D.\n+Y.\n E.\n"},
      {"A. B. C. D. E. F. G.", "X. B. C. D. Y. F. G.", 1,
       "--- old\n+++ new\n@@ -1,2 +1,2 @@\n-A.\n+X.\n B.\n@@ -4,3 +4,3 @@\n D.\n-E.\n+Y.\n F.\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(unified_sentence_diff(c.older, c.newer, "old", "new", c.context), c.diff) << c.older << " -> " << c.newer;
}

}  // namespace
}  // namespace orvalis

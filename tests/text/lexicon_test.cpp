#include "text/lexicon.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "lexicon_builder.h"
#include "test_support.h"

namespace orvalis {
namespace {

using testing::build_lexicon;
using testing::Exact_bytes;
using testing::Lexicon_entry;

std::vector<int> codes_of(const Lexicon& lexicon, const std::string& word) {
  Class_list out;
  std::vector<int> codes;
  if (lexicon.lookup(word.data(), static_cast<int>(word.size()), out))
    codes.assign(out.codes, out.codes + out.count);
  else
    EXPECT_EQ(out.count, 0) << word;
  return codes;
}

std::vector<int> as_vector(const Class_list& list) {
  return std::vector<int>(list.codes, list.codes + list.count);
}

// Collects reported messages, with warnings switched on.
class Lexicon_test : public ::testing::Test {
 protected:
  Lexicon_test() { set_warnings_enabled(true); }
  ~Lexicon_test() override { set_warnings_enabled(false); }

  std::string temp_file(const std::string& name, const std::vector<unsigned char>& bytes) {
    testing::write_file(dir_.file(name), std::string(bytes.begin(), bytes.end()));
    return dir_.file(name);
  }

  testing::Temp_dir dir_{"orvalis-lexicon-"};
  testing::Message_recorder errors_;
};

// ---------------------------------------------------------------------------
// Reading the file

TEST_F(Lexicon_test, AFileOfTheBufferSizeIsReadAndOneByteMoreIsRefused) {
  auto bytes = build_lexicon({{"fox", {20}}}, 3);
  bytes.resize(lexicon_buffer_size, 0);
  std::vector<unsigned char> buffer(lexicon_buffer_size);
  std::size_t size = 0;
  ASSERT_EQ(read_lexicon_file(temp_file("exact.dat", bytes).c_str(), buffer.data(), buffer.size(), size), 1);
  EXPECT_EQ(size, lexicon_buffer_size);
  Lexicon lexicon;
  ASSERT_EQ(lexicon.load_lexicon_bytes(buffer.data(), size), 1);
  EXPECT_EQ(codes_of(lexicon, "fox"), std::vector<int>{20});
  EXPECT_TRUE(errors_.texts().empty());

  bytes.push_back(0);
  std::string large = temp_file("large.dat", bytes);
  EXPECT_EQ(read_lexicon_file(large.c_str(), buffer.data(), buffer.size(), size), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(errors_.texts(),
            std::vector<std::string>{"Lexicon too large for static buffer of 400000 bytes."});
  // At warning level: nothing shows while warnings are off.
  set_warnings_enabled(false);
  EXPECT_EQ(read_lexicon_file(large.c_str(), buffer.data(), buffer.size(), size), 0);
  EXPECT_EQ(errors_.texts().size(), 1u);
}

TEST_F(Lexicon_test, UnreadableFileReportsTheSystemText) {
  std::vector<unsigned char> buffer(64);
  std::size_t size = 0;
  EXPECT_EQ(read_lexicon_file(dir_.file("none/LEXICON.DAT").c_str(), buffer.data(), buffer.size(), size), 0);
  EXPECT_EQ(read_lexicon_file(dir_.str().c_str(), buffer.data(), buffer.size(), size), 0);
  EXPECT_EQ(errors_.texts(),
            (std::vector<std::string>{
                std::string("Error while opening lexicon:\n") + std::strerror(ENOENT),
                std::string("Error while opening lexicon:\n") + std::strerror(EISDIR)}));
}

TEST_F(Lexicon_test, ShippedLexiconIsReadOncePerProcess) {
  Lexicon lexicon;
  ASSERT_EQ(lexicon.load_lexicon(ORVALIS_DATA_DIR), 1);
  EXPECT_EQ(codes_of(lexicon, "jumps"), (std::vector<int>{20, 38}));

  // The buffer is filled: a later load uses it whatever folder it names.
  Lexicon again;
  EXPECT_EQ(again.load_lexicon("/nonexistent-folder"), 1);
  EXPECT_EQ(codes_of(again, "jumps"), (std::vector<int>{20, 38}));
  EXPECT_TRUE(errors_.texts().empty());
}

// ---------------------------------------------------------------------------
// Header

TEST_F(Lexicon_test, BadHeadersAreRefused) {
  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
    const char* message;
  };
  auto no_buckets = build_lexicon({}, 1);
  no_buckets[4] = 0;
  auto table_too_long = build_lexicon({{"fox", {20}}}, 3);
  table_too_long[5] = 1;  // 259 buckets
  std::vector<Case> cases = {
      {"wrong format", build_lexicon({{"fox", {20}}}, 3, 2), "Lexicon format number is 2, expected 1."},
      {"zero buckets", no_buckets,
       "Lexicon bucket table of 0 buckets does not fit in its 11 bytes."},
      {"table past end", table_too_long,
       "Lexicon bucket table of 259 buckets does not fit in its 22 bytes."},
      {"short header", {1, 0, 0, 0, 1}, "Lexicon is 5 bytes long, shorter than its 8-byte header."},
      {"empty", {}, "Lexicon is 0 bytes long, shorter than its 8-byte header."},
  };
  const auto good = build_lexicon({{"fox", {20}}}, 3);
  for (const Case& c : cases) {
    Collecting_error_handler errors;
    Exact_bytes bytes(c.bytes);
    Lexicon lexicon;
    ASSERT_EQ(lexicon.load_lexicon_bytes(good.data(), good.size()), 1);  // a failed reload drops it
    EXPECT_EQ(lexicon.load_lexicon_bytes(bytes.data(), bytes.size()), 0) << c.what;
    EXPECT_FALSE(lexicon.loaded()) << c.what;
    ASSERT_EQ(errors.messages().count(), 1) << c.what;
    EXPECT_EQ(errors.messages().first().str(), c.message);
    EXPECT_TRUE(codes_of(lexicon, "fox").empty()) << c.what;
  }
}

// ---------------------------------------------------------------------------
// Look-up

TEST_F(Lexicon_test, LookupWalksTheChainAndIsCaseSensitive) {
  std::vector<Lexicon_entry> words = {{"box", {20}}, {"Box", {26}}, {"open", {0, 38}},
                                      {"the", {10}}, {"I", {29}},   {"", {11}}};
  auto bytes = build_lexicon(words, 1);  // one chain holding every word
  Exact_bytes exact(bytes);
  Lexicon lexicon;
  ASSERT_EQ(lexicon.load_lexicon_bytes(exact.data(), exact.size()), 1);
  for (const auto& w : words)
    EXPECT_EQ(codes_of(lexicon, w.word), std::vector<int>(w.codes.begin(), w.codes.end()))
        << w.word;
  EXPECT_TRUE(codes_of(lexicon, "BOX").empty());
  EXPECT_TRUE(codes_of(lexicon, "bo").empty());
  EXPECT_TRUE(codes_of(lexicon, "boxes").empty());
  // Only the first `length` bytes count.
  Class_list out;
  EXPECT_EQ(lexicon.lookup("boxes", 3, out), 1);
  EXPECT_EQ(as_vector(out), std::vector<int>{20});
}

TEST_F(Lexicon_test, AtMostEightCodesAreTaken) {
  const auto bytes = build_lexicon({{"many", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}}, 1);
  Lexicon lexicon;
  ASSERT_EQ(lexicon.load_lexicon_bytes(bytes.data(), bytes.size()), 1);
  // Seven plain bytes, then the eighth byte's low six bits.
  EXPECT_EQ(codes_of(lexicon, "many"), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(Lexicon_test, SingleCharactersUseTheTableFirst) {
  Lexicon empty;
  EXPECT_EQ(codes_of(empty, "i"), std::vector<int>{29});
  // No entry: upper-case letters, digits, bytes above 127 go to the hash table.
  for (const char* unlisted : {"I", "7", "\xe9"}) EXPECT_TRUE(codes_of(empty, unlisted).empty()) << unlisted;

  auto bytes = build_lexicon({{"i", {5}}, {"7", {9}}}, 2);  // "I" in the data: LookupWalksTheChain
  Lexicon lexicon;
  ASSERT_EQ(lexicon.load_lexicon_bytes(bytes.data(), bytes.size()), 1);
  EXPECT_EQ(codes_of(lexicon, "7"), std::vector<int>{9});
  EXPECT_EQ(codes_of(lexicon, "i"), std::vector<int>{29});  // the table wins over the data
}

// ---------------------------------------------------------------------------
// Damaged data: words are not found, nothing is read outside the data.

TEST_F(Lexicon_test, EveryTruncationIsReadSafely) {
  std::vector<Lexicon_entry> words = {
      {"alpha", {20}}, {"beta", {0, 38, 46}}, {"gamma", {1}}, {"delta", {20, 30}}};
  auto full = build_lexicon(words, 2);
  const std::size_t table_end = 8 + 3 * 2;
  for (std::size_t size = table_end; size < full.size(); ++size) {
    Exact_bytes cut(std::vector<unsigned char>(full.begin(), full.begin() + size));
    Lexicon lexicon;
    ASSERT_EQ(lexicon.load_lexicon_bytes(cut.data(), cut.size()), 1);
    for (const auto& w : words) {
      auto codes = codes_of(lexicon, w.word);  // not found, or found whole
      EXPECT_TRUE(codes.empty() || codes == std::vector<int>(w.codes.begin(), w.codes.end())) << w.word;
    }
    EXPECT_TRUE(codes_of(lexicon, "omega").empty());
  }
}

// Ends the last entry's chain with a link to `target` (0: the very end of the data).
std::vector<unsigned char> link_last(std::vector<unsigned char> bytes, std::uint32_t target) {
  bytes.back() |= 0x40;
  bytes.resize(bytes.size() + 3);
  testing::put_u24(bytes, bytes.size() - 3, target ? target : static_cast<std::uint32_t>(bytes.size()));
  return bytes;
}

TEST_F(Lexicon_test, DamagedChainsEndWithoutReadingOutsideTheData) {
  auto far = build_lexicon({{"fox", {20}}}, 1);
  testing::put_u24(far, 8, 0xfffff0);  // the bucket points far past the end
  const auto empty = build_lexicon({}, 5), to_end = link_last(build_lexicon({{"fox", {20}}}, 1), 0),
             loop = link_last(build_lexicon({{"cat", {20}}, {"cow", {20}}}, 1), 8 + 3);
  const struct {
    const char* what;
    const std::vector<unsigned char>& bytes;
    const char* word;
    std::vector<int> codes;
  } cases[] = {
      // Offset 0 marks an empty bucket. Read as an entry, offset 0 would hold the word "\x01"
      // (the format number's first byte, then a NUL): the look-up must not get that far.
      {"empty bucket", empty, "\x01", {}},
      {"bucket past the end", far, "fox", {}},
      {"link to the end", to_end, "fox", {20}},
      {"two entries linked to each other", loop, "cow", {20}},
  };  // and in each, a word it lacks is looked for to the chain's end
  for (const auto& c : cases) {
    Exact_bytes bytes(c.bytes);
    Lexicon lexicon;
    ASSERT_EQ(lexicon.load_lexicon_bytes(bytes.data(), bytes.size()), 1) << c.what;
    EXPECT_EQ(codes_of(lexicon, c.word), c.codes) << c.what << ": " << c.word;
    EXPECT_TRUE(codes_of(lexicon, "dog").empty()) << c.what;
  }
}

// ---------------------------------------------------------------------------
// Guessing

struct Guess {
  const char* word;
  std::vector<int> codes;
  const char* copy = nullptr;  // the copy as the rules leave it; null: unchanged
};

class Guess_test : public Lexicon_test {
 protected:
  Guess_test() {
    bytes_ = build_lexicon({{"fly", {20, 38}}, {"cat", {20}}, {"teach", {38}}, {"soft", {0}},
                            {"low", {1, 0}}, {"wok", {38}}, {"gold", {20}}, {"etc", {1}}}, 7);
    EXPECT_EQ(lexicon_.load_lexicon_bytes(bytes_.data(), bytes_.size()), 1);
  }

  void check(const std::vector<Guess>& cases, const Lexicon& lexicon) {
    for (const Guess& g : cases) {
      std::string copy = g.word;
      int length = static_cast<int>(copy.size());
      Class_list out;
      lexicon.guess_classes(copy.data(), length, out);
      EXPECT_EQ(as_vector(out), g.codes) << g.word;
      EXPECT_EQ(copy.substr(0, static_cast<std::size_t>(length)), g.copy ? g.copy : g.word)
          << g.word;
    }
  }

  std::vector<unsigned char> bytes_;
  Lexicon lexicon_;
};

// One case for each kind of rule: form, endings, the letters before a final e, and stems.
// clang-format off
TEST_F(Guess_test, FormEndingsAndStems) {
  check({{"...!", {14}}, {"'tis;", {6}}, {"(quote)", {11}}, {"1997", {9}}, {"19th", {20}},
         {"basic", {0}}, {"he'd", {2, 17}}, {"walked", {38, 0, 46}}, {"running", {30}},
         {"national", {25, 30}}, {"nation", {20, 30}}, {"quickly", {1}}, {"truly", {20}},
         {"John's", {16}}, {"parents'", {16}}, {"zzz", {20}},
         {"algae", {20}, "alga"}, {"table", {0}}, {"debate", {38}}, {"massive", {0}},
         {"ROSE", {20}}, {"3e", {20}},
         {"flies", {20, 38}, "fly"}, {"boxes", {20}, "box"}, {"places", {20}, "place"},
         {"radios", {20}}, {"address", {20}, "addres"}, {"teacher", {20}, "teach"},
         {"bigger", {20, 0}, "bigg"}, {"woken", {38, 0, 46}, "wok"}, {"etc.", {1}, "etc"}},
        lexicon_);
  // Without "fly", "flies" leaves the copy as "fly" and is a noun or a verb.
  Lexicon empty;
  check({{"flies", {20, 38}, "fly"}, {"etc.", {20}, "etc"}}, empty);
}
// clang-format on

TEST_F(Guess_test, ClassifyCountsOnlyWordsTheLexiconLacks) {
  Class_list out;
  EXPECT_EQ(lexicon_.classify("cat", 3, out), 1);
  EXPECT_EQ(lexicon_.classify("a", 1, out), 1);
  EXPECT_EQ(lexicon_.unknown_count(), 0);
  const char word[] = "boxes";
  EXPECT_EQ(lexicon_.classify(word, 5, out), 0);
  EXPECT_EQ(as_vector(out), std::vector<int>{20});
  EXPECT_STREQ(word, "boxes");
  std::string long_word(300, 'q');
  long_word += "ing";
  EXPECT_EQ(lexicon_.classify(long_word.data(), static_cast<int>(long_word.size()), out), 0);
  EXPECT_EQ(as_vector(out), std::vector<int>{30});
  EXPECT_EQ(lexicon_.unknown_count(), 2);
}

}  // namespace
}  // namespace orvalis

// Word_tagger gives each word of a running text one word class, from the lexicon's codes for
// the word (or the codes guessed from its ending) and the class of the word before it. The
// summarizer makes one tagger per page analysis and feeds it the page's words in order; it
// reads the chosen class and, for its ratio, the lexicon's counts of class-10 words and of
// words the lexicon lacked.
//
// A tagger and the Lexicon it owns belong to the thread that made it (the background worker
// for summaries); the lexicon's data is shared read-only by all taggers of the process.
// When the lexicon cannot be loaded the constructor reports "Could not open lexicon." and the
// tagger goes on without one: every word then takes the classes its ending suggests.
//
// Typographic apostrophes (U+2018, U+2019, U+02BC) read as "'": "it’s" is "it's" to the
// lexicon.
//
// Class codes the tagger itself produces: 37 for a word with a dot or a digit, 26 for names,
// 39 for wh-words, 48 for possessive pronouns, and the codes of the lexicon. Pass 47 as the
// previous class for the first word of a text.
//
// REQUIRES: previous_class in 0..255.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "foundation/bitvector.h"
#include "foundation/counted_object.h"
#include "foundation/ref_string.h"
#include "text/lexicon.h"

namespace orvalis {

// The classes of one tagged word.
class Word_classes : public Counted_object {
 public:
  // The codes the lexicon (or the guessing rules) gave the word; empty when the word's form
  // alone decided its class (a number, a wh-word, "there", ...).
  Bitvector candidates;
  // The one class chosen in context.
  Bitvector chosen;

  int word_class() const { return chosen.first(); }
};

// What a word's form and the lexicon say about it, whatever word comes before it: the part of
// tagging that a page's repeated words need only once (Word_tagger::read_facts).
struct Word_facts {
  enum Form : std::uint8_t { listed, dotted, whenever, wh_word, there, die, ould, that, first };
  Form form = listed;
  bool two_bytes = false;        // dotted: two bytes long
  bool capitalized = false;      // begins with an upper-case letter
  bool first_person = false;     // capitalized, with "'m"
  bool possessive = false;       // capitalized, the rest lower-case, with "'"
  bool found = false;            // listed: the lexicon held the word
  bool is_do = false;            // listed: "do"
  bool participle_form = false;  // listed: "made" or with "ught"
  bool ing = false;              // listed: with "ing"
  Class_list codes;              // listed: the lexicon's or the guessed codes
};

class Word_tagger {
 public:
  // Start-of-text class, for the first word of a text.
  static constexpr int start_of_text = 47;

  // Loads LEXICON.DAT from `lexicon_folder` (the "lexicon_path" setting).
  explicit Word_tagger(const char* lexicon_folder);
  explicit Word_tagger(const Ref_string& lexicon_folder) : Word_tagger(lexicon_folder.c_str()) {}
  // Uses `size` bytes at `data` as the lexicon. REQUIRES: they outlive the tagger.
  Word_tagger(const unsigned char* data, std::size_t size);

  // The classes of `word` (as written in the text) after a word of class `previous_class`.
  Counted_handle<Word_classes> tag_word(std::string_view word, int previous_class);
  Counted_handle<Word_classes> tag_word(const Ref_string& word, int previous_class) {
    return tag_word(word.view(), previous_class);
  }

  // The one class tag_word would choose, without making a Word_classes. Answers are
  // remembered by word (up to memo_word bytes) and previous class, with the lexicon's counts
  // kept as if the word had been tagged again.
  int word_class(std::string_view word, int previous_class);
  // The facts of `word` (as written); no counts move. They depend on the word alone, so they
  // are remembered from page to page (words of up to memo_word bytes, at most facts_slots / 2
  // of them; when that is full the memory starts afresh).
  void read_facts(std::string_view word, Word_facts& facts);
  // The class word_class(word, previous_class) gives, from the word's facts; the lexicon's
  // counts move as they do there.
  int word_class(const Word_facts& facts, int previous_class);
  // Forgets remembered answers (the summarizer starts each page with none).
  void forget_words();

  bool has_lexicon() const { return lexicon_.loaded(); }
  // Words tagged 10 so far, and words the lexicon lacked: the summarizer's ratio.
  int determiner_count() const { return lexicon_.determiner_count(); }
  int unknown_count() const { return lexicon_.unknown_count(); }
  Lexicon& lexicon() { return lexicon_; }
  const Lexicon& lexicon() const { return lexicon_; }

 private:
  int choose_class(std::string_view word, int previous_class, Word_classes& result);
  int resolve(const Word_facts& facts, int previous_class, Word_classes* result);
  void read_facts_now(std::string_view word, Word_facts& facts);

  Lexicon lexicon_;

  static constexpr int memo_word = 24;
  static constexpr std::size_t memo_slots = 8192;
  struct Memo_entry {
    std::uint32_t generation = 0;  // empty unless it is the memo's current generation
    std::uint8_t length = 0;
    std::uint8_t previous = 0;
    std::uint8_t chosen = 0;
    std::uint8_t found = 0;       // the lexicon held the word (else it counted as unknown)
    std::uint8_t determiner = 0;  // the word counted as a determiner
    char word[memo_word];
  };
  std::unique_ptr<Memo_entry[]> memo_;

  static constexpr std::size_t facts_slots = 8192;
  struct Facts_entry {
    std::uint8_t length = 0;  // 0: empty
    char word[memo_word];
    Word_facts facts;
  };
  std::unique_ptr<Facts_entry[]> facts_memo_;
  std::size_t facts_used_ = 0;
  std::size_t memo_used_ = 0;
  std::uint32_t generation_ = 1;
};

}  // namespace orvalis

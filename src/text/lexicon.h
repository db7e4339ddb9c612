// Lexicon gives the word classes of words: the class codes that LEXICON.DAT lists for a
// word, or, for a word it lacks, codes guessed from the word's ending. The summarizer's tagger
// (Word_tagger) owns one Lexicon and asks it for every word of a page.
//
// LEXICON.DAT is a hashed word list (little-endian): the format number 1 (4 bytes), the bucket
// count N (4 bytes), N 24-bit offsets of the first entry of each bucket's chain (0 = empty),
// then the entries: the word, a NUL, one to eight class bytes. Every class byte but the last is
// the code itself (below 128); the last has bit 7 set, the code in its low 6 bits, and bit 6
// set when the chain goes on, in which case the 24-bit offset of the next entry follows.
// Bucket of a word: h = 0; h = c ^ (h * 8) for each byte c (unsigned 32-bit); h % N.
//
// The file is read once per process into a static buffer of lexicon_buffer_size bytes, under
// a lock, and only read after that, so Lexicon objects on any thread may share it. A Lexicon
// object itself (its counts) belongs to one thread.
//
// Every offset read from the data is checked against the loaded size: a damaged or truncated
// file makes words "not found", never a read outside the data.
//
// REQUIRES: the bytes given to load_lexicon_bytes stay unchanged and alive while any Lexicon
//           loaded from them is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/ref_string.h"

namespace orvalis {

// Size of the static buffer; a longer LEXICON.DAT is refused.
inline constexpr std::size_t lexicon_buffer_size = 400000;

// Up to eight class codes of one word, in the order the lexicon or the rules give them.
struct Class_list {
  static constexpr int max_codes = 8;
  int count = 0;
  std::uint8_t codes[max_codes] = {};

  void add(int code) {
    if (count < max_codes) codes[count++] = static_cast<std::uint8_t>(code);
  }
  bool contains(int code) const {
    for (int i = 0; i < count; ++i)
      if (codes[i] == code) return true;
    return false;
  }
};

// Reads the file at `path` whole into `buffer` (room for `capacity` bytes) and sets `size`.
// Reports "Error while opening lexicon:\n" + the system's text when it cannot be opened or
// read (error level), and "Lexicon too large for static buffer of 400000 bytes." when it is
// longer than `capacity` (warning level). Returns 1 on success, 0 on failure.
int read_lexicon_file(const char* path, unsigned char* buffer, std::size_t capacity,
                      std::size_t& size);

class Lexicon {
 public:
  // A lexicon without words: only the single-character table answers lookups.
  Lexicon() = default;

  // Loads `folder` + "/LEXICON.DAT". The first successful load of the process fills the static
  // buffer; later loads, from any folder, use that buffer without reading a file again.
  // Returns 1 on success, 0 on failure (reported as read_lexicon_file says; a format number
  // other than 1 or a bucket table that does not fit fails too, with a warning).
  int load_lexicon(const char* folder);
  int load_lexicon(const Ref_string& folder) { return load_lexicon(folder.c_str()); }

  // Uses `size` bytes at `data` as the lexicon's contents (no copy). Checks the header: format
  // number 1, at least one bucket, the bucket table inside the data. Returns 1 or 0; after a
  // failure the lexicon has no words. Can be called any number of times.
  int load_lexicon_bytes(const unsigned char* data, std::size_t size);

  bool loaded() const { return buckets_ != 0; }
  std::uint32_t bucket_count() const { return buckets_; }

  // Exact, case-sensitive look-up of the first `length` bytes of `word`. Returns 1 with the
  // word's codes in `out`, or 0 with out.count 0.
  int lookup(const char* word, int length, Class_list& out) const;

  // Codes of a word that lookup did not find, from its form and ending. Works on `word`, a
  // modifiable copy of `length` bytes, which it may shorten (`length` goes down) or change
  // (a stem's "i" becomes "y"): "boxes" leaves "box".
  void guess_classes(char* word, int& length, Class_list& out) const;

  // lookup, and when that fails: counts the word as unknown and guesses on a copy. Returns 1
  // when the lexicon held the word. Answers are remembered (words of up to memo_word bytes, at
  // most memo_slots / 2 of them), since a page repeats its words: a remembered word costs one
  // hash and one compare instead of a walk along its hash chain and a guess.
  int classify(const char* word, int length, Class_list& out);
  // classify without counting the word as unknown (the tagger's per-page word facts count it
  // each time the word is tagged).
  int codes_of(const char* word, int length, Class_list& out);
  // Forgets the remembered answers (the summarizer starts each page with none).
  void forget_words();

  // Words that classify did not find in the lexicon.
  int unknown_count() const { return unknown_; }
  // Words the tagger gave class 10 (determiners); with unknown_count, the summarizer's ratio.
  int determiner_count() const { return determiners_; }
  void count_determiner() { ++determiners_; }
  void count_unknown() { ++unknown_; }

 private:
  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::uint32_t buckets_ = 0;
  int unknown_ = 0;
  int determiners_ = 0;

  int classify_now(const char* word, int length, Class_list& out);

  static constexpr int memo_word = 24;
  static constexpr std::size_t memo_slots = 4096;
  struct Memo_entry {
    std::uint32_t generation = 0;  // empty unless it is the memo's current generation
    std::uint8_t length = 0;
    std::uint8_t found = 0;
    char word[memo_word];
    Class_list codes;
  };
  std::unique_ptr<Memo_entry[]> memo_;
  std::size_t memo_used_ = 0;
  std::uint32_t generation_ = 1;
};

}  // namespace orvalis

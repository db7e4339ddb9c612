// Byte classes of the HTML scanner and the tag parser, and the cutting of texts at a length.
// Text is UTF-8: every byte of 0x80 and above counts as a letter, so words such as "café" stay
// whole; control characters (the zero byte and DEL included) count as white space, so a stray
// control byte in a page never ends a scan. Everything else follows the C locale.
// Pure functions; any thread.
#pragma once

#include <cstdint>

namespace orvalis::html_chars {

enum : std::uint8_t { space = 1, letter = 2, digit = 4, punct = 8, word = 16 };

struct Class_table {
  std::uint8_t bits[256] = {};
  constexpr Class_table() {
    for (int c = 0; c < 256; ++c) {
      std::uint8_t b = 0;
      if (c < 0x20 || c == 0x7F || c == ' ') b |= space;
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80) b |= letter;
      if (c >= '0' && c <= '9') b |= digit;
      if ((c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
          (c >= 0x7B && c <= 0x7E))
        b |= punct;
      // Characters that continue a word: letters, digits, and ' - & ; (entity references stay
      // inside words).
      if ((b & (letter | digit)) || c == '\'' || c == '-' || c == '&' || c == ';') b |= word;
      bits[c] = b;
    }
  }
};

inline constexpr Class_table kClasses{};

inline bool is_space(unsigned char c) { return kClasses.bits[c] & space; }
inline bool is_letter(unsigned char c) { return kClasses.bits[c] & letter; }
inline bool is_digit(unsigned char c) { return kClasses.bits[c] & digit; }
inline bool is_alnum(unsigned char c) { return kClasses.bits[c] & (letter | digit); }
inline bool is_punct(unsigned char c) { return kClasses.bits[c] & punct; }
inline bool is_word_char(unsigned char c) { return kClasses.bits[c] & word; }
inline bool is_upper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
// Lower-case for the purpose of "the rest of the word is lower-case": ASCII a-z and every byte
// of a multi-byte UTF-8 character.
inline bool is_lower_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || c >= 0x80; }
inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// How many of the n bytes at `text` to keep when at most `limit` may be kept: n when it fits,
// else `limit` moved back (by at most three bytes) so that the cut does not split a UTF-8
// character. Never 0 when limit > 0, so a caller that cuts repeatedly always moves on.
inline int utf8_cut(const char* text, int n, int limit) {
  if (n <= limit) return n;
  int k = limit;
  for (int back = 0; back < 3 && k > 1; ++back) {
    if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) break;
    --k;
  }
  if ((static_cast<unsigned char>(text[k]) & 0xC0) == 0x80) k = limit;
  return k;
}

}  // namespace orvalis::html_chars

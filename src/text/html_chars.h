// Byte classes of the HTML scanner and the tag parser, and the cutting of texts at a length.
// Text is UTF-8: every byte of 0x80 and above counts as a letter, so words such as "café" stay
// whole; control characters (the zero byte and DEL included) count as white space, so a stray
// control byte in a page never ends a scan. Everything else follows the C locale, except that
// "&" and ";" are punctuation: the scanner decodes character references before it makes words.
// The lead bytes of the few UTF-8 characters that are punctuation or white space (no-break
// space, Latin-1 quotes and signs, typographic quotes, dashes and spaces) are marked `special`
// and left out of the word class, so that the word loop stops there and unicode_class decides.
// Pure functions; any thread.
#pragma once

#include <cstdint>

namespace orvalis::html_chars {

enum : std::uint8_t { space = 1, letter = 2, digit = 4, punct = 8, word = 16, special = 32 };

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
      // Lead bytes of U+0080-U+00BF, U+02BC and U+2000-U+2BFF: looked at character by character.
      if (c == 0xC2 || c == 0xCA || c == 0xE2) b |= special;
      // Characters that continue a word: letters, digits, ' and -.
      if (((b & (letter | digit)) && !(b & special)) || c == '\'' || c == '-') b |= word;
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
inline bool is_special(unsigned char c) { return kClasses.bits[c] & special; }

// What a UTF-8 character that begins with a special byte is, and how many bytes it has.
enum class Char_kind : std::uint8_t { letter, space, punct, apostrophe };
struct Char_reading {
  Char_kind kind;
  int length;   // bytes of the character (1 when the sequence is cut or malformed)
  char ascii;   // punctuation: the ASCII character it reads as
};

// `p` points at a special byte; `avail` bytes are readable there.
//  - U+0080-U+009F (C1 controls), U+00A0 (no-break space), U+2000-U+200B, U+2028, U+2029,
//    U+202F, U+205F: white space;
//  - U+2018, U+2019, U+02BC: apostrophes (inside a word they read as "'");
//  - U+00A1, U+00A7, U+00AB, U+00B6, U+00B7, U+00BB, U+00BF and the rest of U+2010-U+206F:
//    punctuation; dashes read as "-", quotes as '"', everything else as ",";
//  - anything else (letters such as U+00B5 or U+02BB, signs outside these blocks): letters.
inline Char_reading unicode_class(const char* p, std::int64_t avail) {
  const auto b = [p](int i) { return static_cast<unsigned char>(p[i]); };
  const unsigned char c = b(0);
  if (c == 0xC2 && avail >= 2 && (b(1) & 0xC0) == 0x80) {
    const unsigned char d = b(1);
    if (d <= 0xA0) return {Char_kind::space, 2, ' '};
    if (d == 0xAB || d == 0xBB) return {Char_kind::punct, 2, '"'};
    if (d == 0xA1 || d == 0xA7 || d == 0xB6 || d == 0xB7 || d == 0xBF)
      return {Char_kind::punct, 2, ','};
    return {Char_kind::letter, 2, 0};
  }
  if (c == 0xCA && avail >= 2 && (b(1) & 0xC0) == 0x80)
    return {b(1) == 0xBC ? Char_kind::apostrophe : Char_kind::letter, 2, '\''};
  if (c == 0xE2 && avail >= 3 && (b(1) & 0xC0) == 0x80 && (b(2) & 0xC0) == 0x80) {
    const unsigned cp = 0x2000u | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu);
    if (cp <= 0x200B || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F)
      return {Char_kind::space, 3, ' '};
    if (cp == 0x2018 || cp == 0x2019) return {Char_kind::apostrophe, 3, '\''};
    if (cp >= 0x2010 && cp <= 0x2015) return {Char_kind::punct, 3, '-'};
    if (cp >= 0x201A && cp <= 0x201F) return {Char_kind::punct, 3, '"'};
    if (cp == 0x2039 || cp == 0x203A) return {Char_kind::punct, 3, '"'};
    if (cp >= 0x2010 && cp <= 0x206F && cp != 0x200C && cp != 0x200D && cp != 0x2060)
      return {Char_kind::punct, 3, ','};
    if (cp == 0x2212) return {Char_kind::punct, 3, '-'};
    return {Char_kind::letter, 3, 0};
  }
  return {Char_kind::letter, 1, 0};
}
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

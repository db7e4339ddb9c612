// Lengths of stored text in characters. Names, titles and addresses are UTF-8, and every limit on
// them (a field's 255 characters, a title's 254) counts characters, never bytes, the same in the
// engine, the CLI and the window: a Cyrillic or accented name takes two bytes a letter and must
// fit as many letters as an ASCII one. A cut to a limit lands on a character boundary.
// A character is a UTF-8 code point: every byte that does not continue a sequence (0x80-0xBF)
// starts one, so a stray continuation byte counts with the character before it.
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <string_view>

namespace orvalis {

// The most characters a single-line stored field takes (names, terms, categories, titles and
// addresses of documents).
inline constexpr std::size_t max_field_characters = 255;

inline bool continues_character(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The number of characters of `text`.
inline std::size_t character_count(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += !continues_character(c);
  return n;
}

// The bytes of the longest start of `text` that holds at most `limit` characters; all of
// `text` when it holds no more.
inline std::size_t character_prefix(std::string_view text, std::size_t limit) {
  std::size_t started = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (continues_character(text[i])) continue;
    if (started == limit) return i;
    ++started;
  }
  return text.size();
}

// Length of the well-formed UTF-8 sequence at s[i] (1 to 4), or 0 when the bytes there are not
// one: a stray continuation byte, a truncated sequence, an overlong form, a surrogate or a code
// point above U+10FFFF.
inline std::size_t utf8_sequence_length(std::string_view s, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  std::size_t n;
  unsigned lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return n;
}

}  // namespace orvalis

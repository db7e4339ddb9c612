// Words as the demo web's search engine sees them: runs of ASCII letters and digits and of
// UTF-8 letters (bytes 0x80-0xFF), where the UTF-8 general punctuation (U+2000-U+206F: dashes,
// curly quotes, the ellipsis) and the no-break space separate words as ASCII punctuation does.
// A term is a word lower-cased with a light plural stemming ("bees" and "bee" are one term).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvalis::demo {

// Calls f(begin, end) with the byte offsets of each word of `text`, in order.
template <class F>
void for_each_word(std::string_view text, F&& f) {
  size_t i = 0;
  size_t start = std::string_view::npos;
  auto byte = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < text.size()) {
    unsigned char c = byte(i);
    size_t separator = 0;  // length of a separator starting here
    if (c < 0x80) {
      bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if (!letter) separator = 1;
    } else if (c == 0xE2 && i + 2 < text.size() && (byte(i + 1) == 0x80 || byte(i + 1) == 0x81)) {
      separator = 3;
    } else if (c == 0xC2 && i + 1 < text.size() && byte(i + 1) == 0xA0) {
      separator = 2;
    }
    if (separator) {
      if (start != std::string_view::npos) f(start, i);
      start = std::string_view::npos;
      i += separator;
    } else {
      if (start == std::string_view::npos) start = i;
      ++i;
    }
  }
  if (start != std::string_view::npos) f(start, text.size());
}

// The term of a word: lower-cased, a plural ending taken off ("bees" -> "bee",
// "colonies" -> "colony", "glasses" -> "glass"; "grass" and "gas" stay).
inline std::string term_of(std::string_view word) {
  std::string t(word);
  for (char& c : t)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  auto ends = [&t](std::string_view s) {
    return t.size() >= s.size() && std::string_view(t).substr(t.size() - s.size()) == s;
  };
  if (t.size() > 4 && ends("ies")) {
    t.resize(t.size() - 3);
    t += 'y';
  } else if (t.size() > 4 && ends("sses")) {
    t.resize(t.size() - 2);
  } else if (t.size() > 3 && ends("s") && !ends("ss") && !ends("us") && !ends("is")) {
    t.pop_back();
  }
  return t;
}

}  // namespace orvalis::demo

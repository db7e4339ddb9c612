#include "text/html_scanner.h"

#include <cstring>

#include "foundation/entities.h"
#include "text/html_chars.h"
#include "text/html_tag.h"

namespace orvalis {

using namespace html_chars;

namespace {

// 1 for a pre start tag, -1 for its end tag, 0 for any other tag (the name ends as
// Html_tag::name_of ends it). Most tags are told apart by their first letter.
inline int pre_tag(const char* token, int n) {
  const int i = n > 1 && token[1] == '/' ? 2 : 1;
  if (n < i + 3 || (token[i] | 0x20) != 'p') return 0;
  if ((token[i + 1] | 0x20) != 'r' || (token[i + 2] | 0x20) != 'e') return 0;
  const int after = i + 3;
  if (after < n && !is_space(static_cast<unsigned char>(token[after])) && token[after] != '>' &&
      token[after] != '"' && token[after] != '\'')
    return 0;
  return i == 1 ? 1 : -1;
}

}  // namespace

Html_scanner::Html_scanner(Byte_buffer_handle page, int collect_sentences)
    : page_(std::move(page)), collect_(collect_sentences != 0) {
  if (page_) {
    const char* c = page_->contents();
    if (c) {
      text_ = c;
      length_ = page_->length();
      huge_ = length_ > max_token;
    }
  }
}

Html_scanner::~Html_scanner() = default;

int Html_scanner::on_space(const char*, int, Ref_string&) { return 0; }
int Html_scanner::on_tag(const char*, int, Ref_string&) { return 0; }
int Html_scanner::on_reserved(const char*, int, Ref_string&) { return 0; }
int Html_scanner::on_word(const char*, int, Ref_string&) { return 0; }
int Html_scanner::on_punct(char, Ref_string&) { return 0; }
void Html_scanner::on_sentence(Ref_string) {}

// The dot just read (at pos_ - 1) belongs to the word w (L bytes, the dot included) when the
// word goes on after it, or the word is a single character, an initialism (U.S., e.g.) or a
// short abbreviation with few vowels (Mrs., but not Inc. or Mr.).
bool Html_scanner::dot_belongs_to_word(const char* w, std::int64_t L) const {
  if (pos_ < length_ && is_word_char(static_cast<unsigned char>(text_[pos_]))) return true;
  if (L < 3) return true;
  if (L > 6) return false;
  bool alternates = true;
  for (std::int64_t i = 0; i < L - 1; i += 2)
    if (!is_alnum(static_cast<unsigned char>(w[i])) || w[i + 1] != '.') {
      alternates = false;
      break;
    }
  if (alternates) return true;
  int vowels = 0;
  for (std::int64_t i = 0; i < L - 1; ++i)
    if (std::strchr("AEIOUYaeiouy", w[i]) && w[i] != 0) ++vowels;
  if (L >= 6) return false;
  return (L - 1) / 3 > vowels;
}

int Html_scanner::read_reference() {
  const char* p = text_ + pos_ + 1;
  const std::int64_t avail = length_ - pos_ - 1;
  // The common references, written whole with their ";", without the table.
  const auto is = [p, avail](std::string_view name) {
    return avail > static_cast<std::int64_t>(name.size()) &&
           std::memcmp(p, name.data(), name.size()) == 0 && p[name.size()] == ';';
  };
  if (avail > 0 && p[0] == '#') {
    const bool hex = avail > 1 && (p[1] == 'x' || p[1] == 'X');
    std::int64_t i = hex ? 2 : 1;
    unsigned long cp = 0;
    const std::int64_t digits = i;
    for (; i < avail && i < 12; ++i) {
      const char c = p[i];
      int d = c >= '0' && c <= '9' ? c - '0' : -1;
      if (hex && d < 0 && (c | 0x20) >= 'a' && (c | 0x20) <= 'f') d = (c | 0x20) - 'a' + 10;
      if (d < 0) break;
      cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
    }
    // Short numbers outside the windows-1252 range: decoded here; the rest by the table.
    if (i > digits && i < 12 && (i >= avail || !is_alnum(static_cast<unsigned char>(p[i]))) &&
        (cp < 0x80 || cp > 0x9F)) {
      ref_.clear();
      append_utf8(ref_, cp);
      if (i < avail && p[i] == ';') ++i;
      return static_cast<int>(i + 1);
    }
  } else if (avail > 0) {
    const char* decoded = nullptr;
    int n = 0;
    switch (p[0]) {
      case 'a': if (is("amp")) decoded = "&", n = 5; break;
      case 'l': if (is("lt")) decoded = "<", n = 4; break;
      case 'g': if (is("gt")) decoded = ">", n = 4; break;
      case 'q': if (is("quot")) decoded = "\"", n = 6; break;
      case 'n': if (is("nbsp")) decoded = "\xC2\xA0", n = 6; break;
      default: break;
    }
    if (decoded) {
      ref_.assign(decoded);
      return n;
    }
  }
  // The reference's candidate bytes: "&", a name or "#" and a number, and a ";".
  char in[48];
  int n = 0;
  in[n++] = '&';
  std::int64_t i = pos_ + 1;
  while (i < length_ && n < 40) {
    const unsigned char ch = static_cast<unsigned char>(text_[i]);
    if (!((ch < 0x80 && is_alnum(ch)) || (ch == '#' && n == 1))) break;
    in[n++] = static_cast<char>(ch);
    ++i;
  }
  if (n == 1) return 0;
  if (i < length_ && text_[i] == ';') in[n++] = ';';
  in[n] = 0;
  char out[48];
  std::memcpy(out, in, static_cast<size_t>(n) + 1);
  decode_entities(out);
  const int m = static_cast<int>(std::strlen(out));
  if (m == n && std::memcmp(out, in, static_cast<size_t>(n)) == 0) return 0;
  // The decoded character comes first; the rest of the candidate bytes follow it unchanged.
  const unsigned char lead = static_cast<unsigned char>(out[0]);
  int k = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  if (k > m) k = m;
  ref_.assign(out, static_cast<size_t>(k));
  return n - (m - k);
}

// A word that holds references, read again from its start into word_.
Html_scanner::Token Html_scanner::word_with_references() {
  word_.clear();
  pos_ = start_;
  const std::int64_t end = token_end();
  while (pos_ < end) {
    const unsigned char x = static_cast<unsigned char>(text_[pos_]);
    if (x == '&') {
      const int n = read_reference();
      if (n == 0) break;
      const unsigned char d = static_cast<unsigned char>(ref_[0]);
      bool continues;
      if (is_special(d)) {
        const Char_kind kind = unicode_class(ref_.data(), static_cast<std::int64_t>(ref_.size())).kind;
        continues = kind == Char_kind::letter || (kind == Char_kind::apostrophe && !word_.empty());
      } else {
        continues = is_alnum(d) || (!word_.empty() && (d == '\'' || d == '-'));
      }
      if (!continues) break;
      word_ += ref_;
      pos_ += n;
      continue;
    }
    if (is_word_char(x)) {
      word_ += static_cast<char>(x);
      ++pos_;
      continue;
    }
    if (is_special(x)) {
      const Char_reading r = unicode_class(text_ + pos_, length_ - pos_);
      const bool letter_after = pos_ + r.length < length_ &&
                                is_alnum(static_cast<unsigned char>(text_[pos_ + r.length]));
      if (r.kind == Char_kind::letter || (r.kind == Char_kind::apostrophe && letter_after)) {
        word_.append(text_ + pos_, static_cast<size_t>(r.length));
        pos_ += r.length;
        continue;
      }
      break;
    }
    if (x == '.') {
      word_ += '.';
      ++pos_;
      if (dot_belongs_to_word(word_.data(), static_cast<std::int64_t>(word_.size()))) continue;
      word_.pop_back();
      --pos_;
    }
    break;
  }
  if (word_.empty()) {  // cannot happen: the caller saw a letter first
    pos_ = start_ + 1;
    punct_ = '&';
    return Token::punct;
  }
  set_decoded(word_.data(), static_cast<std::int64_t>(word_.size()));
  return Token::word;
}

// The scan loop reads its tokens through this inline copy: a call per token costs as much as
// reading a short word.
inline __attribute__((always_inline)) Html_scanner::Token Html_scanner::read_token() {
  start_ = pos_;
  sentence_end_ = false;
  decoded_ = false;
  if (pos_ >= length_) {
    return Token::end;
  }
  // No token is longer than max_token bytes, so its length always fits the handlers' int.
  const std::int64_t end = token_end();
  const unsigned char c = static_cast<unsigned char>(text_[pos_++]);
  if (is_space(c)) {
    while (pos_ < end && is_space(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    return Token::space;
  }
  if (c == '<') {
    const void* close = std::memchr(text_ + pos_, '>', static_cast<size_t>(end - pos_));
    pos_ = close ? static_cast<const char*>(close) - text_ + 1 : end;
    return Token::tag;
  }
  if (c == '&') {
    --pos_;
    const int n = read_reference();
    ++pos_;
    if (n > 0) {
      const unsigned char d = static_cast<unsigned char>(ref_[0]);
      Char_reading r{Char_kind::letter, 1, 0};
      if (is_special(d)) r = unicode_class(ref_.data(), static_cast<std::int64_t>(ref_.size()));
      if (is_space(d) || r.kind == Char_kind::space) {
        pos_ = start_ + n;
        set_decoded(" ", 1);
        return Token::space;
      }
      if (is_punct(d) || r.kind == Char_kind::punct ||
          (r.kind == Char_kind::apostrophe)) {
        pos_ = start_ + n;
        punct_ = is_special(d) ? r.ascii : static_cast<char>(d);
        sentence_end_ = d == '.' || d == '!' || d == '?' || d == '|' || d == '*';
        set_decoded(ref_.data(), static_cast<std::int64_t>(ref_.size()));
        return Token::punct;
      }
      return word_with_references();
    }
    punct_ = '&';
    return Token::punct;
  }
  if (is_special(c)) {
    const Char_reading r = unicode_class(text_ + start_, length_ - start_);
    if (r.kind != Char_kind::letter) {
      pos_ = start_ + r.length;
      if (r.kind == Char_kind::space) return Token::space;
      punct_ = r.ascii;
      return Token::punct;
    }
  }
  if (is_punct(c)) {
    sentence_end_ = c == '.' || c == '!' || c == '?' || c == '|' || c == '*';
    punct_ = static_cast<char>(c);
    return Token::punct;
  }
  if (is_digit(c)) {
    for (;;) {
      while (pos_ < end && is_digit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      if (pos_ + 1 < end && (text_[pos_] == '.' || text_[pos_] == ',') &&
          is_digit(static_cast<unsigned char>(text_[pos_ + 1]))) {
        ++pos_;
        continue;
      }
      return Token::word;
    }
  }
  // A word: letters, digits, ' and -, with the slow cases (references, special characters, a
  // dot) looked at where the fast loop stops.
  for (;;) {
    while (pos_ < end && is_word_char(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (pos_ < end) {
      const unsigned char x = static_cast<unsigned char>(text_[pos_]);
      if (x == '.') {
        ++pos_;
        if (dot_belongs_to_word(text_ + start_, pos_ - start_)) continue;
        --pos_;
      } else if (is_special(x)) {
        const Char_reading r = unicode_class(text_ + pos_, length_ - pos_);
        const bool letter_after = pos_ + r.length < length_ &&
                                  is_alnum(static_cast<unsigned char>(text_[pos_ + r.length]));
        if (r.kind == Char_kind::letter || (r.kind == Char_kind::apostrophe && letter_after)) {
          pos_ += r.length;
          continue;
        }
      } else if (x == '&') {
        const std::int64_t at = pos_;
        const int n = read_reference();
        if (n > 0) {
          const unsigned char d = static_cast<unsigned char>(ref_[0]);
          bool continues = is_alnum(d) && !is_special(d);
          if (!continues && is_special(d)) {
            const Char_kind kind =
                unicode_class(ref_.data(), static_cast<std::int64_t>(ref_.size())).kind;
            continues = kind == Char_kind::letter || kind == Char_kind::apostrophe;
          }
          if (!continues) continues = d == '\'' || d == '-';
          if (continues) return word_with_references();
        }
        pos_ = at;
      }
    }
    return Token::word;
  }
}

Html_scanner::Token Html_scanner::next_token() { return read_token(); }

std::int64_t Html_scanner::end_of_raw_text(const char* name, int name_length) const {
  std::int64_t i = pos_;
  while (i < length_) {
    const void* lt = std::memchr(text_ + i, '<', static_cast<size_t>(length_ - i));
    if (!lt) return length_;
    i = static_cast<const char*>(lt) - text_;
    std::int64_t after = i + 2 + name_length;
    if (after <= length_ && text_[i + 1] == '/') {
      bool same = true;
      for (int k = 0; k < name_length; ++k)
        if (lower(text_[i + 2 + k]) != name[k]) {
          same = false;
          break;
        }
      if (same && (after == length_ || is_space(static_cast<unsigned char>(text_[after])) ||
                   text_[after] == '>' || text_[after] == '/'))
        return i;
    }
    ++i;
  }
  return length_;
}

void Html_scanner::append_to_sentence(const char* text, int n, bool as_space) {
  if (in_pre_) return;  // code listings are not collected
  if (!as_space || (!sentence_.empty() && !last_was_space_))
    sentence_.append(text, static_cast<size_t>(n));
  last_was_space_ = as_space;
  // Text without a sentence end is handed on in pieces of at most max_token bytes.
  if (sentence_.size() >= static_cast<size_t>(max_token)) flush_sentence();
}

void Html_scanner::flush_sentence() {
  if (sentence_.size() > static_cast<size_t>(min_sentence)) on_sentence(Ref_string(sentence_));
  sentence_.clear();
}

void Html_scanner::run(int rewrite, Ref_string* out) {
  const bool rewriting = rewrite != 0 && out != nullptr;
  // The rewritten page grows in a std::string and goes to *out in one append at the end.
  std::string rewritten;
  Ref_string r;
  std::int64_t copied = 0;
  for (;;) {
    Token kind = read_token();
    if (kind == Token::end) break;
    const char* token = text_ + start_;
    const int n = static_cast<int>(pos_ - start_);
    if (!r.empty()) r = Ref_string();
    int replace = 0;
    std::int64_t raw_end = -1;
    switch (kind) {
      case Token::word:
        replace = on_word(token_text(), token_length(), r);
        if (collect_) append_to_sentence(token_text(), token_length(), false);
        break;
      case Token::punct:
        replace = on_punct(punct_, r);
        if (collect_) append_to_sentence(token_text(), token_length(), false);
        break;
      case Token::space:
        replace = on_space(token_text(), token_length(), r);
        if (collect_) append_to_sentence(" ", 1, true);
        break;
      case Token::tag: {
        // The name is needed for sentence breaks, and to find script, style and pre elements.
        char name[Html_tag::max_name];
        int name_length = 0;
        if (collect_ || (n > 1 && (token[1] == 's' || token[1] == 'S')))
          name_length = Html_tag::name_of(token, n, name);
        if (collect_ && Html_tag::name_breaks_sentence({name, static_cast<size_t>(name_length)})) {
          flush_sentence();
          sentence_end_ = false;
        }
        if (const int pre = pre_tag(token, n)) in_pre_ = pre > 0;
        replace = on_tag(token, n, r);
        if ((name_length == 6 && std::memcmp(name, "script", 6) == 0) ||
            (name_length == 5 && std::memcmp(name, "style", 5) == 0))
          raw_end = end_of_raw_text(name, name_length);
        break;
      }
      case Token::end:
        break;
    }
    if (collect_ && sentence_end_) flush_sentence();
    if (rewriting && replace) {
      rewritten.append(text_ + copied, static_cast<size_t>(start_ - copied));
      rewritten.append(r.c_str(), static_cast<size_t>(r.length()));
      copied = pos_;
    }
    if (raw_end >= 0) pos_ = raw_end;
  }
  if (collect_) flush_sentence();
  if (rewriting) {
    rewritten.append(text_ + copied, static_cast<size_t>(length_ - copied));
    out->append(rewritten.data(), static_cast<int>(rewritten.size()));
  }
}

}  // namespace orvalis

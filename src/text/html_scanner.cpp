#include "text/html_scanner.h"

#include <cstring>

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

// The dot just read (at pos_ - 1) belongs to the word when the word goes on after it, or the
// word is a single character, an initialism (U.S., e.g.) or a short abbreviation with few
// vowels (Mrs., but not Inc. or Mr.).
bool Html_scanner::dot_belongs_to_word() const {
  if (pos_ < length_ && is_word_char(static_cast<unsigned char>(text_[pos_]))) return true;
  const std::int64_t L = pos_ - start_;
  if (L < 3) return true;
  if (L > 6) return false;
  const char* w = text_ + start_;
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

Html_scanner::Token Html_scanner::next_token() {
  start_ = pos_;
  sentence_end_ = false;
  if (pos_ >= length_) return Token::end;
  // No token is longer than max_token bytes, so its length always fits the handlers' int.
  const std::int64_t end = length_ - pos_ > max_token ? pos_ + max_token : length_;
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
  if (is_punct(c) && c != '&' && c != ';') {
    sentence_end_ = c == '.' || c == '!' || c == '?' || c == '|' || c == '*';
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
  // Every byte left is a letter, '&' or ';': a word.
  for (;;) {
    while (pos_ < end && is_word_char(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (pos_ < end && text_[pos_] == '.') {
      ++pos_;
      if (dot_belongs_to_word()) continue;
      --pos_;
    }
    return Token::word;
  }
}

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
    Token kind = next_token();
    if (kind == Token::end) break;
    const char* token = text_ + start_;
    const int n = static_cast<int>(pos_ - start_);
    if (!r.empty()) r = Ref_string();
    int replace = 0;
    std::int64_t raw_end = -1;
    switch (kind) {
      case Token::word:
        replace = on_word(token, n, r);
        if (collect_) append_to_sentence(token, n, false);
        break;
      case Token::punct:
        replace = on_punct(*token, r);
        if (collect_) append_to_sentence(token, 1, false);
        break;
      case Token::space:
        replace = on_space(token, n, r);
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

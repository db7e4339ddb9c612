// Html_scanner is the one pass over a page that every page reader is built on. It cuts the
// page text into tokens (white space, tag, word, punctuation) and calls the matching handler
// operation for each, in page order; subclasses override the operations they need. There is
// no tree: a tag is just a token.
//
// The same pass can also
//  - collect sentences: the running text (words, punctuation, one blank for any white space;
//    tags add nothing) is cut after "." "!" "?" "|" "*", at the tags that break sentences
//    (headings, title, head, pre, br, hr, form) and at the end of the page, and each piece of
//    more than 6 bytes goes to on_sentence. The text of pre elements (code listings) is not
//    collected;
//  - rewrite the page: a handler that returns nonzero has its token replaced, in the output,
//    by the replacement string it wrote.
//
// Character references in text ("&amp;", "&#8217;", "&eacute;") are decoded before words are
// made, as a browser reads them: a reference to a letter continues its word, one to a space or
// to punctuation is that token. Handlers then get the decoded text (token_text() says where it
// is; for a token without references it is the page's own bytes).
// Words keep letters, digits, ' and -, a typographic apostrophe between letters ("it’s"), and a
// dot when it looks like part of the word (index.html, e.g., U.S., Mrs.). Numbers keep "." and
// "," between digits (3.14, 1,000). Text is UTF-8: bytes 0x80-0xFF are letters, except the
// characters that are punctuation (dashes, typographic and angle quotes, the ellipsis, the
// U+2000-U+206F block: one punctuation token each, read as an ASCII character by on_punct) or
// white space (no-break and typographic spaces, C1 controls); control characters count as white
// space. The contents of script and style elements (from
// the start tag to the matching end tag) are passed over without calling any handler; the
// tags themselves are reported, and a rewriting pass copies the contents unchanged. The text of
// pre elements reaches the handlers, which can tell it by in_pre().
//
// A scanner lives on the stack of one reader for one pass over one page; it holds a reference
// to the page buffer meanwhile. One thread.
// REQUIRES: the page buffer is not changed while a scanner over it exists.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/byte_buffer.h"
#include "foundation/ref_string.h"

namespace orvalis {

class Html_scanner {
 public:
  enum class Token { end, space, tag, punct, word };

  Html_scanner(Byte_buffer_handle page, int collect_sentences);
  virtual ~Html_scanner();
  Html_scanner(const Html_scanner&) = delete;
  Html_scanner& operator=(const Html_scanner&) = delete;

  // Handler operations. `token` points into the page text (not zero-terminated). A nonzero
  // result asks that the token be replaced by `replacement` in a rewriting pass.
  virtual int on_space(const char* token, int length, Ref_string& replacement);
  virtual int on_tag(const char* token, int length, Ref_string& replacement);
  // Reserved: the scan never calls it.
  virtual int on_reserved(const char* token, int length, Ref_string& replacement);
  virtual int on_word(const char* token, int length, Ref_string& replacement);
  // `ch` is the ASCII reading of the punctuation token (token_text() holds its bytes).
  virtual int on_punct(char ch, Ref_string& replacement);
  virtual void on_sentence(Ref_string sentence);

  // Scans the whole page once. With `rewrite` nonzero the rewritten page is appended to *out.
  void run(int rewrite = 0, Ref_string* out = nullptr);

  // The token just read: its start index in the page and the index after it.
  std::int64_t token_start() const { return start_; }
  std::int64_t position() const { return pos_; }
  // The text of the token just read, references decoded.
  const char* token_text() const { return decoded_ ? token_ : text_ + start_; }
  int token_length() const { return decoded_ ? token_length_ : static_cast<int>(pos_ - start_); }
  const char* page_text() const { return text_; }
  std::int64_t page_length() const { return length_; }

  // True from a pre start tag until its end tag: readers that look for prose pass over code
  // listings.
  bool in_pre() const { return in_pre_; }

  // For tests and the fuzzer: reads the next token without calling any handler.
  Token next_token();

  // Texts of this many bytes or fewer are not handed on as sentences.
  static constexpr int min_sentence = 6;
  // A token (and a sentence) longer than this is cut there: a page of one endless word is read
  // as words of this size. Far above what a fetch reads of a page.
  static constexpr std::int64_t max_token = std::int64_t{1} << 26;

 protected:
  // After the start tag of an element whose text holds no markup (script, style, title): the
  // index of the "<" of its end tag (name_length bytes of the lower-case name), or the end.
  std::int64_t end_of_raw_text(const char* name, int name_length) const;

 private:
  bool dot_belongs_to_word(const char* w, std::int64_t L) const;
  // A character reference at pos_ (which holds "&"), decoded into ref_: its length in the page,
  // or 0 when none begins there.
  int read_reference();
  Token word_with_references();
  Token read_token();
  // Where the token that starts at start_ must end at the latest.
  std::int64_t token_end() const {
    return huge_ && length_ - start_ > max_token ? start_ + max_token : length_;
  }
  // The token read is decoded text at `text` rather than the page's bytes from start_ to pos_.
  void set_decoded(const char* text, std::int64_t n) {
    token_ = text;
    token_length_ = static_cast<int>(n);
    decoded_ = true;
  }
  void append_to_sentence(const char* text, int n, bool as_space);
  void flush_sentence();

  Byte_buffer_handle page_;
  const char* text_ = "";
  std::int64_t length_ = 0;
  std::int64_t pos_ = 0;
  std::int64_t start_ = 0;
  bool sentence_end_ = false;
  bool collect_ = false;
  bool last_was_space_ = false;
  bool in_pre_ = false;
  bool huge_ = false;     // the page is longer than max_token
  bool decoded_ = false;  // token_ holds the token just read
  const char* token_ = "";
  int token_length_ = 0;
  char punct_ = 0;      // ASCII reading of the last punctuation token
  std::string ref_;     // the last decoded reference
  std::string word_;    // a word that holds decoded references
  // Built in a std::string (amortized growth: a huge sentence costs linear time).
  std::string sentence_;
};

}  // namespace orvalis

// Page_text is what a page says, read in one scanner pass: its words and punctuation in page
// order (character references decoded), cut into text blocks wherever a block-level element
// starts or ends, and what the markup tells about each block: a heading, inside the page's
// main element or one of its article elements, or page furniture and why (a furniture element
// such as nav or aside, a landmark role, a hidden element, a class or id that names furniture).
// Each block also counts its words, the words inside links and the function words, which the
// block classifier (block_classifier.h) weighs to find furniture that the markup does not name.
//
// Left out of the blocks: the head, and the text of pre elements (code listings). The same pass
// reads the title and counts links and images as the title reader does (page_readers.h). Nothing here is decided about which blocks the summary reads; that
// is the classifier's verdict, written into the blocks' `kept` and `reason`.
//
// Bounds: the element stack that follows furniture and regions holds at most max_depth
// entries (deeper elements that would open one are read as their parent), so a hostile page
// costs time linear in its length and memory linear in its text.
// A plain value made and read by one analysis; one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/byte_buffer.h"
#include "foundation/ref_string.h"

namespace orvalis {

// A word or a punctuation token. Blanks are no tokens: the token after a blank says so, and a
// blank between two tokens of a block is one " " in Page_text::chars between their texts.
struct Text_token {
  enum Kind : std::uint8_t { word, punct };
  enum Flag : std::uint8_t {
    after_tag = 1,     // a tag came between this token and the one before
    in_anchor = 2,     // inside an "a" element
    in_emphasis = 4,   // inside i, b, em or strong
    sentence_end = 8,  // punctuation that ends a sentence: . ! ? | *
    footnote = 16,     // a link inside sup: a footnote mark such as "[1]", no part of a sentence
    blank = 128,       // in blank_before: a blank came between this token and the one before
  };
  std::uint32_t offset = 0;  // bytes in Page_text::chars
  std::uint32_t length = 0;
  Kind kind = word;
  std::uint8_t flags = 0;
  char ascii = 0;  // punctuation: the ASCII character it reads as
  // `blank` and the flags the blank before this token had (after_tag: a tag came before the
  // blank), or 0 when none came.
  std::uint8_t blank_before = 0;
  std::uint32_t word_index = 0;  // a word: its index in Page_text::words
};

// One distinct word of a page (as written, case kept): readers that look at every word keep
// what they learn about it by this index, once for all its occurrences.
struct Page_word {
  std::uint32_t offset = 0;  // its first occurrence, in Page_text::chars
  std::uint32_t length = 0;
  bool function_word = false;  // is_function_word
};

// Why a block is not read by the summary (none: it is).
enum class Block_reason : std::uint8_t {
  none,
  element,       // inside a furniture element (nav, aside, form, the page's header, ...)
  role,          // inside an element with a furniture landmark role
  hidden,        // inside a hidden element
  hint,          // inside an element whose class or id names furniture
  outside_main,  // outside the main element (or the single article) that holds the text
  links,         // mostly link text
  legal,         // a copyright or cookie line
  boilerplate,   // short, few function words, among furniture
};

struct Text_block {
  std::uint32_t first = 0;  // tokens [first, end)
  std::uint32_t end = 0;
  std::uint32_t words = 0;
  std::uint32_t link_words = 0;
  std::uint32_t function_words = 0;
  std::uint32_t chars = 0;
  bool heading = false;
  bool in_main = false;     // inside the main element or role="main"
  std::int32_t article = -1;  // index of the article element that holds it
  // What the markup says (set while reading): furniture and the element, role or hint word.
  Block_reason markup = Block_reason::none;
  std::string detail;
  // The classifier's verdict.
  bool kept = true;
  Block_reason reason = Block_reason::none;
};

struct Page_text {
  static constexpr int max_depth = 64;

  std::string chars;
  std::vector<Text_token> tokens;
  std::vector<Page_word> words;
  std::vector<Text_block> blocks;
  std::string first_h1;  // the text of the first h1 that has any, words joined by blanks
  // The first heading of any level inside the main element or an article, read the same way.
  std::string main_heading;
  // As page_title and count_links_and_images read them (page_readers.h).
  Ref_string title;
  int images = 0;
  int anchors = 0;
  int main_elements = 0;
  int article_elements = 0;

  // The page's own heading: its first h1 outside furniture, else the first heading of its main
  // element or article (documentation books give sections an h2 and the book's name the h1).
  const std::string& heading() const { return first_h1.empty() ? main_heading : first_h1; }

  std::string_view text(const Text_token& t) const { return {chars.data() + t.offset, t.length}; }
  std::string_view text(const Page_word& w) const { return {chars.data() + w.offset, w.length}; }
  // The block's text as a sentence would hold it (white space folded to single blanks).
  std::string block_text(const Text_block& b) const;
  // block_text(b) appended to `out`.
  void append_block_text(const Text_block& b, std::string& out) const;
};

// Reads the page. The blocks come back with their markup verdicts only; classify_blocks
// (block_classifier.h) gives them the rest.
Page_text read_page_text(const Byte_buffer_handle& page);

// The text the summary reads once the classifier has judged the blocks: the kept blocks (headings
// among them), each on a line of its own, white space folded. This is what a page copy keeps.
std::string readable_text(const Page_text& text);

// Words of English that carry grammar rather than content (articles, pronouns, prepositions,
// conjunctions, auxiliaries, contractions): how prose is told from lists of names and links.
// `word` is compared without regard to ASCII case.
bool is_function_word(std::string_view word);

// The short name of a reason, as analyze --blocks prints it.
const char* block_reason_name(Block_reason reason);

}  // namespace orvalis

// The page readers: small Html_scanner subclasses that each make one pass over a page and keep
// only what their caller needs. The system keeps no parsed page; these are what it knows.
//
//  - page_title: the text of the first title element that has any, as written (punctuation
//    kept) with its character references decoded and its white space collapsed, at most 254
//    characters (a longer one is cut at a character boundary). Markup inside the element is text, as browsers
//    read it.
//  - count_links_and_images: "a" tags with an href (any value) and "img" tags.
//  - collect_tags: every tag of the page, in page order, with the index of its "<".
//  - Anchor_reader: the links of a search engine's result page that may become documents,
//    with their anchor text. Keeps http, https, gopher and ftp links, each address once per
//    page, and only links whose anchor is closed; the caller's ignore test drops the rest.
//    Links to a place on the same page ("#name") and links of schemes that no fetcher knows
//    (javascript:, tel:) are never taken; "&amp;" in an href is read as "&", and an href
//    of the form "//host/path" takes the scheme of the page. The anchor text is decoded text:
//    its words joined by blanks, punctuation joined to the word before it unless white space
//    stands between them.
//  - insert_base_reference: a copy of a page whose relative links resolve against the page's
//    own address when the copy is opened from disk, with the caller's fragments at the top of
//    the body and at its end. The address is escaped for the attribute: it cannot add markup.
//
// All of them are pure functions of the page (or per-pass objects); one thread per pass.
#pragma once

#include <functional>
#include <string>
#include <unordered_set>

#include "foundation/byte_buffer.h"
#include "foundation/ref_list.h"
#include "foundation/ref_string.h"
#include "foundation/url.h"
#include "text/html_scanner.h"
#include "text/html_tag.h"

namespace orvalis {

// Titles are cut at this many bytes.
inline constexpr int max_title_length = 254;

Ref_string page_title(const Byte_buffer_handle& page);
void count_links_and_images(const Byte_buffer_handle& page, int& images, int& anchors);
Html_tag_list collect_tags(const Byte_buffer_handle& page);
// page_title and count_links_and_images in one pass.
void read_title_and_counts(const Byte_buffer_handle& page, Ref_string& title, int& images,
                           int& anchors);

// The text of a title element (the `n` bytes after its start tag) as a browser shows it:
// references decoded, white space and control characters folded to single blanks and trimmed,
// cut at max_title_length characters (at a character boundary).
Ref_string title_text(const char* raw, std::int64_t n);

// A heading's text without the header link documentation generators put after its words (a
// pilcrow or a section sign, and with `hash` also "#"), nor the blanks around it:
// "Basic Usage ¶" gives "Basic Usage".
std::string_view without_header_link(std::string_view heading, bool hash = false);

// The title without a site name joined to it by " - ", " | ", " – ", " — ", " · " or " :: "
// when the rest is the page's own heading (Page_text::heading; compared without regard to ASCII
// case and white space, a header link such as a trailing pilcrow left out): "Closures - Some
// Wiki" with the h1 "Closures" gives "Closures", as does "Some Wiki | Closures".
// Any other title comes back as it is.
Ref_string title_without_site_name(const Ref_string& title, std::string_view first_h1);

// A link found on a result page: the absolute address (without fragment) and its anchor text.
struct Found_link {
  Ref_string url;
  Ref_string text;
};

class Anchor_reader : public Html_scanner {
 public:
  // Answers true for a link the caller does not want (the search resource's ignore rule).
  using Ignore_test = std::function<bool(const Url& link)>;

  Anchor_reader(Byte_buffer_handle page, const Url& page_url, Ignore_test ignore = {});

  // The links handed on so far, in page order.
  const Ref_list<Found_link>& links() const { return links_; }

  int on_tag(const char* token, int length, Ref_string& replacement) override;
  int on_word(const char* token, int length, Ref_string& replacement) override;
  int on_punct(char ch, Ref_string& replacement) override;
  int on_space(const char* token, int length, Ref_string& replacement) override;

 protected:
  // Called when an anchor closes; the default appends to links().
  virtual void on_link(const Url& url, const Ref_string& text);

 private:
  Url base_;
  Ignore_test ignore_;
  Url current_;
  std::string anchor_text_;
  bool in_anchor_ = false;
  bool space_before_ = false;
  std::unordered_set<std::string> taken_;
  Ref_list<Found_link> links_;
};

// The page with a base element naming `base_url` (unless it has its own; the address escaped
// for an attribute value), `top` after the body tag (or "/head", or "html") and `bottom` before
// "/body" (or "/html"); fragments that found no place go first (top) or last (bottom). Either
// fragment may be empty.
Byte_buffer_handle insert_base_reference(const Byte_buffer_handle& page, const Ref_string& base_url,
                                         const Ref_string& top, const Ref_string& bottom);

}  // namespace orvalis

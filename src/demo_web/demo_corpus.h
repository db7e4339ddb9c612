// The demo web's corpus: the articles under data/demo/, embedded into the library at build time
// (embed_corpus.cmake), read once into Article records. An article is an HTML page whose links
// to other articles are written as placeholders, href="{{slug}}", that the server replaces
// with the other article's absolute address when it serves the page (the addresses depend on
// the ports chosen at start). Each page names its theme in <meta name="theme" content="...">.
//
// corpus() is built on first use and never changes afterwards, so any thread may read it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvalis::demo {

// One embedded page: its file name without ".html", and its text.
struct Embedded_page {
  const char* slug;
  const char* html;
};
extern const Embedded_page embedded_pages[];
extern const int embedded_page_count;

struct Article {
  std::string slug;
  std::string title;  // the title element's text, references decoded, white space collapsed
  std::string theme;
  std::string html;   // as written, placeholders unresolved
  // The body's text with the tags dropped and references decoded (UTF-8); blocks (paragraphs,
  // headings, list items, listings) end with a line break.
  std::string text;
  std::vector<std::string> links;  // the slugs the placeholders name, in page order
};

// The embedded articles in slug order.
const std::vector<Article>& corpus();

// Reads one page into an article.
Article read_article(std::string slug, std::string_view html);

// `html` with every "{{slug}}" replaced by address(slug).
std::string resolve_placeholders(std::string_view html,
                                 const std::function<std::string(std::string_view slug)>& address);

// Words of a text: runs of letters and digits (bytes 0x80-0xFF count as letters, except the
// UTF-8 punctuation of U+2000-U+206F and the no-break space, which separate words).
int count_words(std::string_view text);

}  // namespace orvalis::demo

#include "text/block_classifier.h"

#include <string>
#include <vector>

#include "text/html_chars.h"

namespace orvalis {

namespace {

// Blocks shorter than this in words carry a copyright or cookie line, when they name one.
constexpr std::uint32_t max_legal_words = 40;

bool names_legal_matter(const Page_text& text, const Text_block& b) {
  for (std::uint32_t i = b.first; i < b.end; ++i) {
    const Text_token& t = text.tokens[i];
    const std::string_view w = text.text(t);
    if (w == "\xC2\xA9") return true;  // the copyright sign
    if (t.kind != Text_token::word || w.size() < 6 || w.size() > 9) continue;
    std::string lower(w);
    for (char& c : lower) c = html_chars::lower(c);
    if (lower == "copyright" || lower == "cookies" || lower == "cookie") return true;
  }
  return false;
}

bool function_share_at_least(const Text_block& b, int percent) {
  return b.function_words * 100 >= static_cast<std::uint32_t>(percent) * b.words;
}

// Prose by its form: long enough, with the function words of sentences.
bool is_prose(const Text_block& b) {
  if (b.heading) return false;
  return (b.words >= 12 && function_share_at_least(b, 20)) ||
         (b.words >= 40 && function_share_at_least(b, 10));
}

enum class Side : std::uint8_t { none, prose, furniture, open };

}  // namespace

void classify_blocks(Page_text& text) {
  std::vector<Text_block>& blocks = text.blocks;
  for (Text_block& b : blocks) {
    b.kept = b.markup == Block_reason::none;
    b.reason = b.markup;
  }

  // The region that holds the text: main, or the single article.
  std::uint64_t main_words = 0;
  std::vector<std::uint64_t> article_words(static_cast<size_t>(text.article_elements), 0);
  for (const Text_block& b : blocks) {
    if (!b.kept) continue;
    if (b.in_main) main_words += b.words;
    if (b.article >= 0 && b.article < text.article_elements)
      article_words[static_cast<size_t>(b.article)] += b.words;
  }
  int region = 0;  // 1: main, 2: the article
  if (main_words >= static_cast<std::uint64_t>(min_region_words)) region = 1;
  else if (text.article_elements == 1 && article_words[0] >= static_cast<std::uint64_t>(min_region_words))
    region = 2;
  if (region != 0) {
    for (Text_block& b : blocks) {
      if (!b.kept) continue;
      if (region == 1 ? b.in_main : b.article == 0) continue;
      b.kept = false;
      b.reason = Block_reason::outside_main;
    }
  }

  // Link lists and legal lines, wherever they stand.
  for (Text_block& b : blocks) {
    if (!b.kept || b.words == 0) continue;
    // A heading with a link beside its words ("History [edit]") is still a heading.
    if (b.heading ? b.link_words * 2 > b.words : b.link_words * 2 >= b.words) {
      b.kept = false;
      b.reason = Block_reason::links;
    } else if (b.words < max_legal_words && names_legal_matter(text, b)) {
      b.kept = false;
      b.reason = Block_reason::legal;
    }
  }

  // Short blocks go with their neighbours.
  {
    const size_t n = blocks.size();
    std::vector<Side> side(n, Side::open);
    for (size_t i = 0; i < n; ++i) {
      if (!blocks[i].kept) side[i] = Side::furniture;
      else if (is_prose(blocks[i])) side[i] = Side::prose;
    }
    std::vector<Side> before(n, Side::none), after(n, Side::none);
    for (size_t i = 0, last = 0; i < n; ++i) {
      before[i] = last == 0 ? Side::none : side[last - 1];
      if (side[i] != Side::open) last = i + 1;
    }
    for (size_t i = n, next = 0; i-- > 0;) {
      after[i] = next == 0 ? Side::none : side[next - 1];
      if (side[i] != Side::open) next = i + 1;
    }
    for (size_t i = 0; i < n; ++i) {
      if (side[i] != Side::open) continue;
      Text_block& b = blocks[i];
      const bool prose_before = before[i] == Side::prose, prose_after = after[i] == Side::prose;
      bool keep;
      // Inside the main element or the article a heading is the article's own; elsewhere it
      // goes with the block after it.
      if (b.heading) keep = region != 0 || prose_after;
      else if (b.words >= 3 && function_share_at_least(b, 25)) keep = prose_before || prose_after;
      else keep = (prose_before || before[i] == Side::none) && (prose_after || after[i] == Side::none) &&
                  (prose_before || prose_after);
      if (!keep) {
        b.kept = false;
        b.reason = Block_reason::boilerplate;
      }
    }
  }

  // A page without prose still has its best blocks.
  bool any = false;
  for (const Text_block& b : blocks)
    if (b.kept && b.words > 0) any = true;
  if (!any)
    for (Text_block& b : blocks)
      if (b.reason != Block_reason::hidden) b.kept = true;
}

}  // namespace orvalis

#include "demo_web/search_index.h"

#include <algorithm>
#include <cmath>

#include "demo_web/text_words.h"
#include "foundation/entities.h"

namespace orvalis::demo {

namespace {

constexpr int kSnippet_words = 30;
constexpr int kSnippet_lead = 8;  // words shown before the first term found
constexpr size_t kParagraph_words = 12;  // shorter blocks are headings, list items, captions

bool is_common_word(const std::string& term) {
  static const std::unordered_set<std::string> common = {
      "a",  "an", "and", "the", "of", "in", "on", "to", "for", "with", "or",
      "is", "it", "at",  "by",  "as", "be", "are", "from", "that", "this"};
  return common.count(term) > 0;
}

void add_once(std::vector<std::string>& list, std::string term) {
  if (std::find(list.begin(), list.end(), term) == list.end()) list.push_back(std::move(term));
}

}  // namespace

std::string html_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_escaped_html(out, text);
  return out;
}

Search_index::Search_index(const std::vector<Article>& articles) : articles_(articles) {
  entries_.resize(articles.size());
  for (size_t i = 0; i < articles.size(); ++i) {
    Entry& e = entries_[i];
    const std::string& text = articles[i].text;
    for_each_word(text, [&](size_t b, size_t end) {
      ++e.counts[term_of(std::string_view(text).substr(b, end - b))];
    });
    const std::string& title = articles[i].title;
    for_each_word(title, [&](size_t b, size_t end) {
      e.title_terms.insert(term_of(std::string_view(title).substr(b, end - b)));
    });
    std::unordered_set<std::string> terms = e.title_terms;
    for (const auto& [term, n] : e.counts) terms.insert(term);
    for (const std::string& t : terms) ++documents_with_[t];
  }
}

Parsed_query Search_index::parse_query(std::string_view query) {
  Parsed_query q;
  std::vector<std::string> common;
  size_t i = 0;
  while (i < query.size()) {
    while (i < query.size() && (query[i] == ' ' || query[i] == '\t')) ++i;
    size_t end = i;
    while (end < query.size() && query[end] != ' ' && query[end] != '\t') ++end;
    std::string_view piece = query.substr(i, end - i);
    i = end;
    if (piece.empty() || piece == "AND" || piece == "&&") continue;  // joins words: all are wanted
    bool exclude = false;
    while (!piece.empty() && (piece[0] == '+' || piece[0] == '-')) {
      exclude = piece[0] == '-';
      piece.remove_prefix(1);
    }
    for_each_word(piece, [&](size_t b, size_t e) {
      std::string term = term_of(piece.substr(b, e - b));
      if (exclude) add_once(q.excluded, std::move(term));
      else if (is_common_word(term)) add_once(common, std::move(term));
      else add_once(q.wanted, std::move(term));
    });
  }
  if (q.wanted.empty()) q.wanted = std::move(common);
  return q;
}

double Search_index::score(int article, const Parsed_query& query) const {
  const Entry& e = entries_[static_cast<size_t>(article)];
  double total = 0;
  for (const std::string& term : query.wanted) {
    auto count = e.counts.find(term);
    bool in_title = e.title_terms.count(term) > 0;
    if (count == e.counts.end() && !in_title) return -1;
    auto df = documents_with_.find(term);
    double rarity = std::log(1.0 + static_cast<double>(articles_.size()) /
                                       static_cast<double>(df == documents_with_.end() ? 1 : df->second));
    if (count != e.counts.end()) total += (1.0 + std::log(static_cast<double>(count->second))) * rarity;
    if (in_title) total += 3.0 * rarity;
  }
  for (const std::string& term : query.excluded)
    if (e.counts.count(term) || e.title_terms.count(term)) return -1;
  return total;
}

std::vector<int> Search_index::search(const Parsed_query& query) const {
  std::vector<std::pair<double, int>> scored;
  if (query.wanted.empty()) return {};
  for (int i = 0; i < size(); ++i) {
    double s = score(i, query);
    if (s >= 0) scored.emplace_back(s, i);
  }
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<int> order;
  order.reserve(scored.size());
  for (const auto& s : scored) order.push_back(s.second);
  return order;
}

std::string Search_index::snippet(int article, const Parsed_query& query) const {
  const std::string& text = articles_[static_cast<size_t>(article)].text;
  std::string_view view(text);
  struct Word {
    size_t begin, end;
    bool wanted;
  };
  // The words of the first paragraph that holds a wanted term; headings and list items count
  // only when no paragraph does. Without any, the opening paragraph.
  std::vector<Word> words;
  int first = -1;
  for (int pass = 0; pass < 2 && first < 0; ++pass) {
    size_t line_start = 0;
    while (line_start < text.size()) {
      size_t line_end = text.find('\n', line_start);
      if (line_end == std::string::npos) line_end = text.size();
      std::vector<Word> line;
      int hit = -1;
      for_each_word(view.substr(line_start, line_end - line_start), [&](size_t b, size_t e) {
        std::string term = term_of(view.substr(line_start + b, e - b));
        bool wanted = std::find(query.wanted.begin(), query.wanted.end(), term) != query.wanted.end();
        if (wanted && hit < 0) hit = static_cast<int>(line.size());
        line.push_back({line_start + b, line_start + e, wanted});
      });
      line_start = line_end + 1;
      const bool paragraph = line.size() >= kParagraph_words;
      if (pass == 0 && !paragraph) continue;
      if (words.empty()) words = line;  // the fallback: the opening paragraph
      if (hit >= 0) {
        words = std::move(line);
        first = hit;
        break;
      }
    }
  }
  if (words.empty()) return {};
  int from = first < 0 ? 0 : std::max(0, first - kSnippet_lead);
  int to = std::min(static_cast<int>(words.size()), from + kSnippet_words);
  std::string out;
  if (from > 0) out += "&hellip; ";
  for (int w = from; w < to; ++w) {
    const Word& word = words[static_cast<size_t>(w)];
    if (w > from) out += html_escape(view.substr(words[static_cast<size_t>(w) - 1].end,
                                                 word.begin - words[static_cast<size_t>(w) - 1].end));
    std::string_view shown = view.substr(word.begin, word.end - word.begin);
    out += word.wanted ? "<b>" + html_escape(shown) + "</b>" : html_escape(shown);
  }
  if (to < static_cast<int>(words.size())) out += " &hellip;";
  else if (text[words.back().end] != '\n') out += html_escape(view.substr(words.back().end, 1));
  return out;
}

}  // namespace orvalis::demo

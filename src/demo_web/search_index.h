// Search_index: the demo engine's index over the corpus. A query is read the ways engines get
// queries transformed: plain words ("green tea"), words joined with " AND " ("green AND tea")
// and "+word" forms ("+green +tea") all mean "every one of these words"; "-word" leaves out the
// articles that hold the word; case does not matter, and common short words (the, of, and...)
// are passed over unless the query has nothing else. An article matches when its title or body
// holds every wanted term; matches are ranked by term frequency weighted by rarity, with a
// bonus for terms in the title, ties in corpus order.
//
// Built once from the articles; const afterwards, so any thread may search it.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "demo_web/demo_corpus.h"

namespace orvalis::demo {

struct Parsed_query {
  std::vector<std::string> wanted;    // terms, each once, in query order
  std::vector<std::string> excluded;  // terms after "-"
};

class Search_index {
 public:
  explicit Search_index(const std::vector<Article>& articles);

  static Parsed_query parse_query(std::string_view query);

  // The indexes of the matching articles, best first. Empty when the query wants nothing.
  std::vector<int> search(const Parsed_query& query) const;

  // A piece of the article's text around the first wanted term (about 30 words), HTML-escaped,
  // with the wanted terms in <b>; the article's opening words when no term is in the body.
  std::string snippet(int article, const Parsed_query& query) const;

  const Article& article(int i) const { return articles_[static_cast<size_t>(i)]; }
  int size() const { return static_cast<int>(articles_.size()); }

 private:
  struct Entry {
    std::unordered_map<std::string, int> counts;  // term -> occurrences in the body
    std::unordered_set<std::string> title_terms;
  };
  double score(int article, const Parsed_query& query) const;

  const std::vector<Article>& articles_;
  std::vector<Entry> entries_;
  std::unordered_map<std::string, int> documents_with_;  // term -> articles holding it
};

std::string html_escape(std::string_view text);

}  // namespace orvalis::demo

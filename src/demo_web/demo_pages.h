// Demo_pages: what the demo web answers, as a pure function of the request and of the
// addresses the server was given (Site). It holds the corpus's articles with their links
// already made absolute, and the search index. Built by the server at start, before its
// thread runs; const afterwards.
#pragma once

#include <string>
#include <vector>

#include "demo_web/http_exchange.h"
#include "demo_web/search_index.h"
#include "demo_web/site_layout.h"

namespace orvalis::demo {

// The origins the web serves from, such as "http://127.0.0.2:40001" (no trailing "/").
struct Site {
  std::string engine;
  std::vector<std::string> hosts;  // article hosts; article i is on hosts[i % hosts.size()]
};

class Demo_pages {
 public:
  static constexpr int kResults_per_page = 10;
  static constexpr int kBanners = 3;

  explicit Demo_pages(Site site);

  // The search engine's answer.
  Http_answer engine(const Http_request& request) const;
  // The answer of article host `host` (an index into Site::hosts).
  Http_answer article_host(int host, const Http_request& request) const;

  const Site& site() const { return site_; }
  std::string article_address(int article) const;
  // Substrings of the engine's own link addresses on its result pages.
  static std::string ignore_list();

  // The advertisement banner `n` (1..kBanners): a 120x60 GIF.
  static std::string banner_gif(int n);

 private:
  Http_answer results(const std::string& query, int start) const;
  Http_answer cached_copy(const std::string& address) const;

  Site site_;
  Search_index index_;
  std::vector<std::string> rendered_;  // each article with absolute links
};

}  // namespace orvalis::demo

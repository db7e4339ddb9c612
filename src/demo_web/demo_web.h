// Demo_web is a small web of our own for the demo and the end-to-end tests: a search engine on
// 127.0.0.2 and the articles of the embedded corpus spread over the loopback addresses
// 127.0.0.3, 127.0.0.4, ..., each on a free port. With the articles on several hosts the
// agent's per-host spacing lets them be fetched in parallel, as on the web.
//
// The engine (all its addresses begin with engine_address()):
//   /                 the query form: GET to /search with the field "q"
//   /search           result pages, for GET (query string) and POST (form body); "start" pages on
//   /help, /preferences, /cache?url=..., /sponsor?id=...   the engine's own pages
//   /ads/banner-N.gif the advertisement image shown beside the results, inside an anchor
// An article host:
//   /                 an index of the articles it serves
//   /articles/SLUG.html   an article, its links to other articles made absolute
//
// The server is a plain HTTP/1.0 and 1.1 server: it reads one request, answers with a
// Content-Length and closes. A malformed request gets 400, an unknown path 404, a request that
// grows past 64 KB without ending is dropped unanswered, and a connection idle for 30 seconds
// is closed.
//
// Owner: whoever starts it. It runs in a thread of its own with its own event loop
// (platform::Event_loop, not the engine's current loop), so a caller may drive the engine's
// loop on its own thread meanwhile. start, stop and the destructor are for the owner's thread;
// the accessors are const once start has returned true, and any thread may read them.
// REQUIRES: start is not called while the web is running (stop first).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace orvalis::demo {

class Demo_web {
 public:
  Demo_web();
  ~Demo_web();  // stops
  Demo_web(const Demo_web&) = delete;
  Demo_web& operator=(const Demo_web&) = delete;

  // Opens the engine's listening socket on 127.0.0.2 and one on each of `article_hosts`
  // addresses from 127.0.0.3 (each on a free port) and starts serving. On failure nothing is
  // left open and `error` says what could not be done.
  bool start(std::string& error, int article_hosts = 8);
  // Stops serving, joins the thread and closes every socket. Harmless when not running.
  void stop();
  bool running() const;

  // The search form's target, "http://127.0.0.2:PORT/search".
  std::string engine_location() const;
  // The page with the query form, "http://127.0.0.2:PORT/".
  std::string engine_form_page() const;
  // "http://127.0.0.2:PORT/": every address of the engine's own begins with it.
  std::string engine_address() const;
  static constexpr const char* search_field = "q";
  // The comma-separated substrings whose addresses are the engine's own links on its result
  // pages (help, preferences, next page, cached copy, sponsor); no article address holds any.
  std::string ignore_list() const;

  // The absolute addresses of every article, in the corpus's order (by slug).
  std::vector<std::string> article_addresses() const;
  // The address of the article named `slug` (its file name without ".html"); empty if none.
  std::string article_address(const std::string& slug) const;
  // "http://127.0.0.N:PORT/" of each article host, in address order.
  std::vector<std::string> article_hosts() const;

  // Requests answered since start (any status), for reports and tests.
  long requests_answered() const;

 private:
  struct Server;
  std::unique_ptr<Server> server_;
};

}  // namespace orvalis::demo

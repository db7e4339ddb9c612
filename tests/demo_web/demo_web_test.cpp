#include "demo_web/demo_web.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "../net/net_fixture.h"
#include "test_support.h"
#include "demo_web/demo_corpus.h"
#include "text/page_readers.h"

namespace orvalis::demo {
namespace {

struct Raw_answer {
  int status = 0;  // 0: the connection closed without an answer
  std::string head;
  std::string body;
};

// Sends `request` as it is to the origin of `address` ("http://127.0.0.N:PORT/...") and reads
// until the server closes.
Raw_answer send_request(const std::string& address, const std::string& request) {
  size_t host_at = address.find("://") + 3;
  size_t colon = address.find(':', host_at);
  std::string ip = address.substr(host_at, colon - host_at);
  int port = std::stoi(address.substr(colon + 1));
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  timeval limit{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, ip.c_str(), &sa.sin_addr);
  Raw_answer answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return answer;
  }
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string got;
  char buffer[8192];
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) got.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  size_t end = got.find("\r\n\r\n");
  if (got.rfind("HTTP/1.", 0) != 0 || end == std::string::npos) return answer;
  answer.status = std::stoi(got.substr(9, 3));
  answer.head = got.substr(0, end);
  answer.body = got.substr(end + 4);
  return answer;
}

Raw_answer get(const std::string& address) {
  size_t path_at = address.find('/', address.find("://") + 3);
  return send_request(address, "GET " + address.substr(path_at) + " HTTP/1.0\r\n\r\n");
}

// The links of a page as the agent reads a result page, with `ignore` as its ignore list.
std::vector<std::string> links_of(const std::string& page, const std::string& address,
                                  const std::string& ignore) {
  auto buffer = make_counted<Byte_buffer>();
  buffer->append(page.data(), static_cast<std::int64_t>(page.size()));
  std::vector<std::string> entries;
  for (size_t at = 0; !ignore.empty() && at <= ignore.size();) {
    size_t comma = std::min(ignore.find(',', at), ignore.size());
    entries.push_back(ignore.substr(at, comma - at));
    at = comma + 1;
  }
  Anchor_reader reader(buffer, Url(Ref_string(address)), [&entries](const Url& link) {
    for (const std::string& e : entries)
      if (link.text().str().find(e) != std::string::npos) return true;
    return false;
  });
  reader.run();
  std::vector<std::string> out;
  for (const Found_link& l : reader.links()) out.push_back(l.url.str());
  return out;
}

// The network layer is set up per test (no host spacing), the web once for the suite.
class Demo_web_test : public orvalis::testing::Net_test {
 protected:
  static void SetUpTestSuite() {
    web_ = new Demo_web;
    std::string error;
    ASSERT_TRUE(web_->start(error)) << error;
  }
  static void TearDownTestSuite() {
    delete web_;
    web_ = nullptr;
  }
  static std::string search(const std::string& encoded_query) {
    return web_->engine_location() + "?q=" + encoded_query;
  }
  static Demo_web* web_;
};
Demo_web* Demo_web_test::web_ = nullptr;

TEST_F(Demo_web_test, AnswersEachKindOfRequest) {
  const std::string engine = web_->engine_address();
  const std::string article = web_->article_addresses()[0];
  const std::string other_host = web_->article_hosts()[1];
  const std::string post_body = "q=honey+bee&submit=Search";
  struct Case {
    const char* what;
    std::string address;
    std::string request;
    int status;
    const char* in_answer;
  } cases[] = {
      {"the form page", engine, "GET / HTTP/1.0\r\n\r\n", 200, "<form action=\"/search\" method=\"get\">"},
      {"a search by GET", engine, "GET /search?q=tea HTTP/1.0\r\n\r\n", 200, "Results 1&ndash;10 of"},
      {"a search by POST", engine,
       "POST /search HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(post_body.size()) + "\r\n\r\n" + post_body,
       200, "<b>honey bee</b>"},
      {"HEAD has no body", engine, "HEAD / HTTP/1.0\r\n\r\n", 200, "Content-Length: "},
      {"the banner", engine, "GET /ads/banner-2.gif HTTP/1.0\r\n\r\n", 200, "GIF89a"},
      {"an article", article, "GET " + article.substr(article.find("/articles/")) + " HTTP/1.0\r\n\r\n",
       200, "<h1>"},
      {"an article on the wrong host", other_host,
       "GET " + article.substr(article.find("/articles/")) + " HTTP/1.0\r\n\r\n", 404, "404"},
      {"an unknown path", engine, "GET /nowhere HTTP/1.0\r\n\r\n", 404, "Not Found"},
      {"not a request", engine, "HELLO THERE\r\n\r\n", 400, "Bad Request"},
      {"another version", engine, "GET / HTTP/2.0\r\n\r\n", 505, ""},
      {"POST without a length", engine, "POST /search HTTP/1.0\r\n\r\nq=tea", 411, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Raw_answer a = send_request(c.address, c.request);
    EXPECT_EQ(a.status, c.status);
    EXPECT_NE((a.head + a.body).find(c.in_answer), std::string::npos) << a.head << a.body.substr(0, 300);
    if (c.request.rfind("HEAD", 0) == 0) {
      EXPECT_TRUE(a.body.empty());
    }
  }
}

TEST_F(Demo_web_test, OverlongRequestIsDroppedUnanswered) {
  std::string request = "GET /search?q=" + std::string(70 * 1024, 'a');
  Raw_answer a = send_request(web_->engine_address(), request);
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(get(web_->engine_address()).status, 200);  // the server goes on
}

TEST_F(Demo_web_test, EveryFormOfAQueryFindsTheSameArticles) {
  const std::string ignore = web_->ignore_list();
  std::vector<std::string> expected = links_of(get(search("solar+sail")).body, search("solar+sail"), ignore);
  ASSERT_GE(expected.size(), 3u);
  for (const char* form : {"solar+AND+sail", "%2Bsolar+%2Bsail", "SOLAR+Sails"})
    EXPECT_EQ(links_of(get(search(form)).body, search(form), ignore), expected) << form;
  EXPECT_NE(get(search("xylophone+quantum")).body.find("No articles match"), std::string::npos);
}

// The served articles: long enough, every link to another article that is served, most of
// them reached from another host, and none linked from nowhere.
TEST_F(Demo_web_test, ArticlesLinkToEachOtherAcrossHosts) {
  const std::vector<std::string> addresses = web_->article_addresses();
  const std::set<std::string> known(addresses.begin(), addresses.end());
  std::set<std::string> hosts, linked, from_elsewhere;
  for (const std::string& address : addresses) {
    Raw_answer a = get(address);
    ASSERT_EQ(a.status, 200) << address;
    EXPECT_EQ(a.body.find("{{"), std::string::npos) << address;
    EXPECT_GE(count_words(a.body), 300) << address;
    hosts.insert(address.substr(0, address.find('/', 7)));
    const std::string origin = address.substr(0, address.find('/', 7));
    for (const std::string& link : links_of(a.body, address, "")) {
      // Besides articles, a page links to its own site's home and about pages (menu, footer).
      if (link == origin + "/" || link == origin + "/about.html") continue;
      EXPECT_TRUE(known.count(link)) << address << " links to " << link;
      EXPECT_NE(link, address);
      linked.insert(link);
      if (link.substr(0, link.find('/', 7)) != address.substr(0, address.find('/', 7))) from_elsewhere.insert(link);
    }
  }
  EXPECT_GE(addresses.size(), 40u);
  EXPECT_EQ(hosts.size(), 8u);
  EXPECT_EQ(linked.size(), addresses.size()) << "an article is linked from nowhere";
  EXPECT_GT(from_elsewhere.size(), addresses.size() / 2);
}

// Articles come in the layouts of today's sites: landmark elements on even hosts, bare divs
// with a content-management system's class names on odd ones, with the same furniture around
// the article's own text, which is kept as written.
TEST_F(Demo_web_test, ArticlesComeInTheLayoutsOfTodaysSites) {
  const std::vector<std::string> addresses = web_->article_addresses();
  const std::vector<std::string> hosts = web_->article_hosts();
  struct Case {
    size_t article;  // on host article % 8
    const char* title_end;
    std::vector<const char*> pieces;
  } cases[] = {
      {0, " | Curious Almanac</title>",
       {"<header class=\"site-header\">", "<nav aria-label=\"Main menu\">", "<main id=\"content\">\n<article>\n<h1>",
        "</article>\n</main>\n<aside class=\"sidebar\">\n<h2>Related reading</h2>", "<footer class=\"site-footer\">",
        "&copy; 2026 Curious Almanac. All rights reserved.", "agree to our use of cookies"}},
      {1, " - The Weekend Reader</title>",
       {"<div id=\"masthead\" class=\"site-header\">", "<ul id=\"primary-menu\" class=\"menu\">",
        "<div class=\"entry-content\">\n<h1>", "<h3 class=\"widget-title\">Related posts</h3>",
        "<div id=\"colophon\" class=\"site-footer\">", "This website uses cookies"}},
      {4, " | Hearth &amp; Orbit</title>", {"<a href=\"/\">Hearth &amp; Orbit</a>", "<main id=\"content\">"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(addresses[c.article]);
    Raw_answer a = get(addresses[c.article]);
    ASSERT_EQ(a.status, 200);
    EXPECT_NE(a.body.find(c.title_end), std::string::npos) << a.body.substr(0, 400);
    for (const char* piece : c.pieces) EXPECT_NE(a.body.find(piece), std::string::npos) << piece;
    EXPECT_EQ(a.body.find("<main") == std::string::npos, c.article % 2 == 1);
    // The article's paragraphs as written.
    const Article& article = corpus()[c.article];
    size_t p = article.html.find("<p>");
    EXPECT_NE(a.body.find(article.html.substr(p, article.html.find("</p>", p) - p)), std::string::npos);
  }
  // The sidebar lists the articles the text links to, with their titles.
  Raw_answer first = get(addresses[0]);
  for (const std::string& slug : corpus()[0].links)
    EXPECT_NE(first.body.find("<li><a href=\"" + web_->article_address(slug) + "\">"), std::string::npos) << slug;
  // The menu's about page is served by every site.
  Raw_answer about = get(hosts[1] + "about.html");
  EXPECT_EQ(about.status, 200);
  EXPECT_NE(about.body.find("<h1>About The Weekend Reader</h1>"), std::string::npos) << about.body;
}

TEST(Demo_web_lifecycle, StopClosesEverySocketAndThread) {
  orvalis::testing::Fd_leak_check descriptors;
  std::string engine;
  {
    Demo_web web;
    std::string error;
    ASSERT_TRUE(web.start(error, 3)) << error;
    engine = web.engine_address();
    EXPECT_EQ(web.article_hosts().size(), 3u);
    EXPECT_EQ(get(web.engine_form_page()).status, 200);
    EXPECT_EQ(get(web.article_addresses()[2]).status, 200);
    EXPECT_GE(web.requests_answered(), 2);
    EXPECT_FALSE(web.start(error)) << "a second start while running";
    web.stop();
    EXPECT_FALSE(web.running());
    EXPECT_EQ(descriptors.leaked(), 0);
    EXPECT_EQ(get(engine).status, 0);  // nobody listens any more
    ASSERT_TRUE(web.start(error, 1)) << error;  // and it starts again
  }  // the destructor stops it
  EXPECT_EQ(descriptors.leaked(), 0);
  std::string error;
  Demo_web web;
  EXPECT_FALSE(web.start(error, 0));
  EXPECT_NE(error.find("article hosts"), std::string::npos);
}

}  // namespace
}  // namespace orvalis::demo

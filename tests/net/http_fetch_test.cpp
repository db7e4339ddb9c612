// Fetches from a real web server (nginx) started here on a loopback port: pages, statuses,
// redirects and the fetch command's engine side (the proxy's are https_fetch_test.cpp's).
#include <gtest/gtest.h>

#include "net/fetch.h"
#include "net/http_response.h"
#include "net_fixture.h"

namespace orvalis {
// Lets the expectations compare engine strings with std::string results.
inline bool operator==(const Ref_string& a, const std::string& b) { return a.view() == b; }
}  // namespace orvalis

namespace orvalis::testing {
namespace {

const char kPage[] = "<html><head><title>Page</title></head><body>text</body></html>";

class Http_fetch_test : public Net_test {
 protected:
  static void SetUpTestSuite() {
    if (!have_program("nginx")) return;
    nginx = new Nginx_server;
    if (!nginx->start("    location = /to-x { absolute_redirect off; return 302 /x; }\n"
                      "    location = /x { return 200 \"x page\"; }\n"
                      "    location = /y { absolute_redirect off; return 308 /y; }\n"
                      "    location = /a/b/up { absolute_redirect off; return 302 ../../../page.html; }\n"
                      "    location = /to-ftp { return 302 ftp://127.0.0.1/x; }\n"
                      "    location = /long { absolute_redirect off; return 302 /" +
                      std::string(4000, 'l') + "; }\n")) {
      delete nginx;
      nginx = nullptr;
      return;
    }
    nginx->put("/page.html", kPage);
    nginx->put("/a b.html", kPage);
  }
  static void TearDownTestSuite() {
    delete nginx;
    nginx = nullptr;
  }
  void SetUp() override {
    Net_test::SetUp();
    if (!nginx) GTEST_SKIP() << "nginx could not be started";
  }
  static Ref_string body_of(const Recording_task& t) {
    Ref_string raw = t.text();
    Http_response_handle r = parse_response(raw.c_str());
    return r->has_body() ? raw.mid(static_cast<int>(r->body_offset)) : Ref_string();
  }
  static Nginx_server* nginx;
};
Nginx_server* Http_fetch_test::nginx = nullptr;

TEST_F(Http_fetch_test, PagesStatusesAndRedirects) {
  const std::string echo =
      "GET /echo 127.0.0.1:" + std::to_string(nginx->port()) + " [Orvalis 2.0]";
  const std::string long_path = "/" + std::string(4000, 'l');
  const struct {
    std::string path;
    int task_status;
    int http_status;
    std::string body;
    std::string landed;  // the address the page came from; for a failure, why it failed
  } cases[] = {
      {"/page.html", Network_task::succeeded, 200, kPage, "/page.html"},
      {"/a b.html#top", Network_task::succeeded, 200, kPage, "/a b.html#top"},  // sent as "/a%20b.html"
      {"/echo", Network_task::succeeded, 200, echo, "/echo"},  // the request's host and agent
      {"/missing.html", Network_task::succeeded, 404, "", "/missing.html"},  // an error status is a transfer
      {"/moved", Network_task::succeeded, 200, kPage, "/page.html"},  // followed on the same task
      {"/found", Network_task::succeeded, 200, kPage, "/page.html"},
      {"/relative", Network_task::succeeded, 200, kPage, "/page.html"},  // Location: /page.html
      {"/to-x", Network_task::succeeded, 200, "x page", "/x"},           // Location: /x
      {"/a/b/up", Network_task::succeeded, 200, kPage, "/page.html"},    // ../../../page.html
      {"/long", Network_task::succeeded, 404, "", long_path},            // a Location of 4 KB
      {"/elsewhere", Network_task::failed, 0, "", "only http and https addresses are"},
      {"/to-ftp", Network_task::failed, 0, "", "only http and https addresses are"},
      {"/y", Network_task::failed, 0, "", "more than 20 redirects"},  // a 308 loop
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 20));
    Recording_handle t = fetch_end(nginx->url(c.path), 20);
    EXPECT_EQ(t->status(), c.task_status);
    EXPECT_EQ(t->completions, 1);
    EXPECT_EQ(t->connection()->socket(), -1);
    if (c.task_status != Network_task::succeeded) {
      EXPECT_GE(t->failure_reason().find(c.landed.c_str()), 0) << t->failure_reason();
      continue;
    }
    EXPECT_EQ(t->final_url, nginx->url(c.landed));
    EXPECT_EQ(t->connection()->timeout(), 20);
    Http_response_handle r = t->connection()->response();
    EXPECT_EQ(r->status, c.http_status);
    if (!c.body.empty()) {
      EXPECT_EQ(body_of(*t), c.body);
    }
    if (c.body == kPage) {
      EXPECT_EQ(content_length(*r), static_cast<std::int64_t>(sizeof kPage - 1));
    }
  }
}

// fetch_url's successful results: misbehaving_server_test.cpp (response and body) and the
// proxy case of https_fetch_test.cpp (the address a redirect landed on).
TEST_F(Http_fetch_test, FetchUrlFailures) {
  Fetch_result refused = fetch_url(Ref_string("http://127.0.0.1:" + std::to_string(free_port()) + "/"), 20);
  EXPECT_EQ(refused.status, Network_task::failed);
  EXPECT_FALSE(refused.raw);
  Fetch_result unsupported = fetch_url("news://group", 20);
  EXPECT_FALSE(unsupported.supported);
  EXPECT_EQ(unsupported.status, Network_task::failed);
}

}  // namespace
}  // namespace orvalis::testing

// Fetches from a real web server (nginx) and through a real proxy (tinyproxy), both started
// here on loopback ports: pages, statuses, redirects, the read limit, slow transfers and the
// fetch command's engine side.
#include <gtest/gtest.h>

#include "net/fetch.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net_fixture.h"
#include "platform/clock.h"

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
    if (!nginx->start()) {
      delete nginx;
      nginx = nullptr;
      return;
    }
    nginx->put("/page.html", kPage);
    nginx->put("/big.bin", std::string(3 * 1048576, 'b'));
    nginx->put("/slow/file.html", std::string(100000, 's'));
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

TEST_F(Http_fetch_test, PageArrivesWholeWithItsHeaders) {
  Recording_handle t = fetch(nginx->url("/page.html"));
  ASSERT_TRUE(wait_end(t));
  EXPECT_EQ(t->status(), Network_task::succeeded);
  Http_response_handle r = parse_response(t->text().c_str());
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(content_length(*r), static_cast<std::int64_t>(sizeof kPage - 1));
  EXPECT_EQ(body_of(*t), kPage);
  EXPECT_EQ(t->connection()->state(), Net_connection::closed);
  EXPECT_EQ(t->connection()->socket(), -1);
}

TEST_F(Http_fetch_test, RequestCarriesHostAndAgent) {
  Recording_handle t = fetch(nginx->url("/echo"));
  ASSERT_TRUE(wait_end(t));
  EXPECT_EQ(body_of(*t),
            "GET /echo 127.0.0.1:" + std::to_string(nginx->port()) + " [Orvalis 2.0]");
}

TEST_F(Http_fetch_test, ErrorStatusIsASuccessfulTransfer) {
  Recording_handle t = fetch(nginx->url("/missing.html"));
  ASSERT_TRUE(wait_end(t));
  EXPECT_EQ(t->status(), Network_task::succeeded);
  int status = parse_response(t->text().c_str())->status;
  EXPECT_EQ(status, 404);
  EXPECT_EQ(status_text(status), "[NO TEXT: Document could not be found]");
}

TEST_F(Http_fetch_test, RedirectsAreFollowedOnTheSameTask) {
  for (const char* path : {"/moved", "/found"}) {
    Recording_handle t = fetch(nginx->url(path), 20);
    ASSERT_TRUE(wait_end(t)) << path;
    EXPECT_EQ(t->status(), Network_task::succeeded) << path;
    EXPECT_EQ(t->final_url, nginx->url("/page.html"));
    EXPECT_EQ(t->connection()->redirect(), nginx->url("/page.html"));
    EXPECT_EQ(t->connection()->timeout(), 20);
    EXPECT_EQ(body_of(*t), kPage);
    EXPECT_EQ(t->completions, 1);
  }
}

TEST_F(Http_fetch_test, RedirectThatCannotBeFollowedFails) {
  for (const char* path : {"/relative", "/elsewhere"}) {
    Recording_handle t = fetch(nginx->url(path));
    ASSERT_TRUE(wait_end(t)) << path;
    EXPECT_EQ(t->status(), Network_task::failed) << path;
  }
}

TEST_F(Http_fetch_test, LongDocumentIsCutAfterTheReadLimit) {
  network_limits().max_document_bytes = 1048576;
  Recording_handle t = fetch(nginx->url("/big.bin"));
  ASSERT_TRUE(wait_end(t));
  EXPECT_EQ(t->status(), Network_task::succeeded);
  EXPECT_GE(t->raw->length(), 1048576);
  EXPECT_LT(t->raw->length(), 1048576 + Net_connection::kRead_block);
}

TEST_F(Http_fetch_test, SlowTransferTimesOutWhileOthersAreServed) {
  platform::Manual_clock clock(platform::System_clock().now());
  platform::Scoped_clock use(clock);
  Recording_handle slow = fetch(nginx->url("/slow/file.html"), 60);
  ASSERT_TRUE(run_loop_until([&] { return slow->connection()->received_buffer()->length() > 0; }));
  Recording_handle quick = fetch(nginx->url("/page.html"));
  ASSERT_TRUE(wait_end(quick));
  EXPECT_EQ(quick->status(), Network_task::succeeded);
  EXPECT_FALSE(slow->ended());
  clock.advance(61);
  net_timer_tick();
  EXPECT_EQ(slow->status(), Network_task::timed_out);
  EXPECT_EQ(slow->connection()->socket(), -1);
}

TEST_F(Http_fetch_test, FetchUrlReturnsStatusAndParsedResponse) {
  Fetch_result r = fetch_url(Ref_string(nginx->url("/moved")), 20);
  EXPECT_EQ(r.status, Network_task::succeeded);
  ASSERT_TRUE(r.response);
  EXPECT_EQ(r.response->status, 200);
  EXPECT_EQ(r.final_url, nginx->url("/page.html"));
  EXPECT_STREQ(r.raw->contents() + r.response->body_offset, kPage);

  Fetch_result refused = fetch_url(Ref_string("http://127.0.0.1:" + std::to_string(free_port()) + "/"), 20);
  EXPECT_EQ(refused.status, Network_task::failed);
  EXPECT_FALSE(refused.raw);
  Fetch_result unsupported = fetch_url("news://group", 20);
  EXPECT_FALSE(unsupported.supported);
  EXPECT_EQ(unsupported.status, Network_task::failed);
}

class Proxy_fetch_test : public Http_fetch_test {
 protected:
  void SetUp() override {
    Http_fetch_test::SetUp();
    if (IsSkipped()) return;
    if (!have_program("tinyproxy")) GTEST_SKIP() << "tinyproxy is not installed";
    ASSERT_TRUE(proxy.start()) << proxy.log();
    Settings_cache::instance().set("ProxyEnabled", "yes");
    Settings_cache::instance().set("ProxyHost", "127.0.0.1");
    Settings_cache::instance().set("ProxyPort", Ref_string::number(proxy.port()));
  }
  Tinyproxy_server proxy;
};

TEST_F(Proxy_fetch_test, FetchGoesThroughTheProxy) {
  Recording_handle t = fetch(nginx->url("/echo"));
  ASSERT_TRUE(wait_end(t)) << proxy.log();
  EXPECT_EQ(t->status(), Network_task::succeeded);
  auto* c = dynamic_cast<Http_connection*>(t->connection());
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->via_proxy());
  EXPECT_EQ(ntohs(c->peer().sin_port), proxy.port());
  EXPECT_EQ(body_of(*t),
            "GET /echo 127.0.0.1:" + std::to_string(nginx->port()) + " [Orvalis 2.0]");

  Fetch_result r = fetch_url(Ref_string(nginx->url("/moved")), 20);
  EXPECT_EQ(r.status, Network_task::succeeded);
  ASSERT_TRUE(r.response);
  EXPECT_STREQ(r.raw->contents() + r.response->body_offset, kPage);
}

TEST_F(Proxy_fetch_test, ProxyThatRefusesFailsTheTask) {
  Settings_cache::instance().set("ProxyPort", Ref_string::number(free_port()));
  Recording_handle t = fetch(nginx->url("/page.html"));
  ASSERT_TRUE(wait_end(t));
  EXPECT_EQ(t->status(), Network_task::failed);
}

}  // namespace
}  // namespace orvalis::testing

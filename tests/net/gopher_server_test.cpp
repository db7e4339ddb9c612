// Gopher_connection against gophernicus (behind socat) and against scripted gopher servers:
// menus and texts as pages, following a menu link, items that are not converted, and servers
// that send garbage or never stop. The selector line sent is http_request_test.cpp's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "foundation/url.h"
#include "net/fetch.h"
#include "net/gopher_connection.h"
#include "net_fixture.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

// The links of a converted menu, in order.
std::vector<std::string> links_of(const std::string& page) {
  std::vector<std::string> links;
  for (size_t at = page.find("href=\""); at != std::string::npos; at = page.find("href=\"", at)) {
    at += 6;
    links.push_back(page.substr(at, page.find('"', at) - at));
  }
  return links;
}

class Gopher_server_test : public Net_test {
 protected:
  Gopher_server_test() { check_descriptors_ = true; }
};

TEST_F(Gopher_server_test, ReadsMenusAndTextsFromARealServer) {
  if (!have_program("gophernicus") || !have_program("socat")) GTEST_SKIP() << "gophernicus or socat missing";
  Gopher_server server;
  ASSERT_TRUE(server.start());
  server.put("/readme.txt", "hello from gopher\n");
  server.put("/docs/inner.txt", "inner text\n");

  Recording_handle top = fetch_end(server.url("/"));
  ASSERT_EQ(top->status(), Network_task::succeeded);
  std::string page = top->text().str();
  std::vector<std::string> links = links_of(page);
  const std::string base = "gopher://127.0.0.1:" + std::to_string(server.port());
  EXPECT_NE(std::find(links.begin(), links.end(), base + "/0/readme.txt"), links.end()) << page;
  EXPECT_NE(std::find(links.begin(), links.end(), base + "/1/docs/"), links.end()) << page;
  EXPECT_EQ(page.find('\r'), std::string::npos);

  // Following the menu's link, resolved as the page model resolves it.
  Recording_handle sub = fetch_end(Url(Ref_string(server.url("/"))).resolve(Ref_string(base + "/1/docs/")).str());
  ASSERT_EQ(sub->status(), Network_task::succeeded);
  std::vector<std::string> inner = links_of(sub->text().str());
  ASSERT_NE(std::find(inner.begin(), inner.end(), base + "/0/docs/inner.txt"), inner.end());

  Recording_handle text = fetch_end(base + "/0/docs/inner.txt");
  ASSERT_EQ(text->status(), Network_task::succeeded);
  std::string t = text->text().str();
  EXPECT_EQ(t.rfind("<HTML><body><pre>\ninner text", 0), 0u) << t;
  EXPECT_EQ(t.substr(t.size() - 21), "\n</pre><body></html>\n");

  Fetch_result r = fetch_url(Ref_string(base + "/0/readme.txt"), 30);
  EXPECT_EQ(r.status, Network_task::succeeded);
  ASSERT_TRUE(r.raw);
  EXPECT_GE(r.raw->text().find("hello from gopher"), 0);
}

TEST_F(Gopher_server_test, AnItemOfAnotherTypeIsNotConvertedAndTimesOut) {
  platform::Manual_clock clock(platform::System_clock().now());
  platform::Scoped_clock use(clock);
  Raw_server server;
  ASSERT_TRUE(server.start([](Raw_server::Peer& p) {
    std::string line;
    p.read_line(line);
    p.write(std::string("\x7f" "ELF\x01\x02\x00\xff binary", 15));
  }));
  Recording_handle t = fetch("gopher://127.0.0.1:" + std::to_string(server.port()) + "/9/file.bin", 30);
  ASSERT_TRUE(run_loop_until([&] { return t->connection()->state() == Net_connection::closed; }));
  EXPECT_FALSE(t->ended());
  clock.advance(31);
  net_timer_tick();
  EXPECT_EQ(t->status(), Network_task::timed_out);
}

TEST_F(Gopher_server_test, BinaryGarbageForAMenuGivesAPageWithoutLinks) {
  Raw_server server;
  ASSERT_TRUE(server.start([](Raw_server::Peer& p) {
    std::string line;
    p.read_line(line);
    std::string garbage;
    for (int i = 0; i < 50000; ++i) garbage += static_cast<char>((i * 7919) % 255 + 1);  // no zero byte: all of it is read
    p.write(garbage);
  }));
  Recording_handle t = fetch_end("gopher://127.0.0.1:" + std::to_string(server.port()) + "/");
  EXPECT_EQ(t->status(), Network_task::succeeded);
  std::string page = t->text().str();
  EXPECT_EQ(page.rfind("<HTML><body><pre>\n", 0), 0u);
  EXPECT_TRUE(page.ends_with("</pre></body></html>"));
  EXPECT_EQ(t->connection()->socket(), -1);
}

// The read limit itself is the connection code's (network_test.cpp); a menu cut there is
// still converted.
TEST_F(Gopher_server_test, AMenuCutAtTheReadLimitIsConverted) {
  network_limits().max_document_bytes = 200000;
  Raw_server server;
  ASSERT_TRUE(server.start([&](Raw_server::Peer& p) {
    std::string line;
    p.read_line(line);
    std::string block = "iinformation without end\t\th\t70\r\n0entry\t/e\th\t70\r\n";
    while (!p.stopping() && p.write(block)) {
    }
  }));
  Recording_handle menu = fetch_end("gopher://127.0.0.1:" + std::to_string(server.port()) + "/1/endless");
  EXPECT_EQ(menu->status(), Network_task::succeeded);
  EXPECT_GE(menu->text().find("<a href=\"gopher://h:70/0/e\">entry</a>"), 0);
}

}  // namespace
}  // namespace orvalis::testing

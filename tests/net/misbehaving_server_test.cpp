// Replies no well-behaved server sends, from a scripted server in the test process. Each ends
// its task failed (2) or timed out (3) with the connection closed, no descriptor left open and
// the reason said, and the loop keeps serving the other transfers meanwhile. Servers that keep
// the socket open after a whole reply, and replies whose headers are odd or huge, still give
// their page, parsed once.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "net/fetch.h"
#include "net_fixture.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

Scripted_server::Handler reply(std::string text) {
  return [text](Scripted_server::Peer& p) { p.write(text); };
}

// Sends `text`, then keeps the socket open until the client closes it.
Scripted_server::Handler reply_and_wait(std::string text, std::atomic<bool>* client_closed = nullptr) {
  return [text, client_closed](Scripted_server::Peer& p) {
    p.write(text);
    char byte;
    while (!p.stopping()) {
      pollfd q{p.fd, POLLIN, 0};
      if (::poll(&q, 1, 20) > 0 && ::recv(p.fd, &byte, 1, 0) <= 0) {
        if (client_closed) *client_closed = true;
        return;
      }
    }
  };
}

class Misbehaving_server_test : public Net_test {
 protected:
  // Fetches from a server that runs `handler` and expects the task to end with `status` and,
  // when it did not succeed, a reason holding `reason`.
  void expect_end(Scripted_server::Handler handler, int status, const char* what,
                  const char* reason = "") {
    fds_.restart();
    {
      Scripted_server server;
      ASSERT_TRUE(server.start(std::move(handler)));
      Recording_handle t = fetch_end(server.url("/"));
      EXPECT_EQ(t->status(), status) << what;
      EXPECT_GE(t->failure_reason().find(reason), 0) << what << ": " << t->failure_reason();
      EXPECT_EQ(t->connection()->state(), Net_connection::closed) << what;
      EXPECT_EQ(t->connection()->socket(), -1) << what;
      EXPECT_TRUE(active_requests().empty()) << what;
    }
    EXPECT_EQ(fds_.leaked(), 0) << what;
  }
};

TEST_F(Misbehaving_server_test, UnusableRepliesFail) {
  expect_end(reply("HTTP/1.1 \x01\x02\xff garbage\r\n\r\n"), Network_task::failed, "garbage",
             "is not valid HTTP (status line \"HTTP/1.1 \\x01\\x02");
  expect_end(reply("HTTP/1.0 200 OK\r\nServer\r\n\r\nbody"), Network_task::failed, "no colon");
  expect_end(reply("HTTP/1.0x 200 OK\r\n\r\nbody"), Network_task::failed, "bad version");
  expect_end(reply(""), Network_task::failed, "nothing at all", "closed the connection without a reply");
  expect_end(reply_and_wait("NOT HTTP AT ALL"), Network_task::failed, "not HTTP",
             "has no HTTP status line: got \"NOT HTTP AT ALL\"");
  expect_end(reply("HTTP/1.0 302 Found\r\nServer: x\r\n\r\n"), Network_task::failed,
             "redirect without location", "names no Location");
  expect_end(
      [](Scripted_server::Peer& p) {  // reset in the middle of the body
        p.write("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'x'));
        ::usleep(50000);
        linger lg{1, 0};
        ::setsockopt(p.fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        ::close(p.fd);
        p.fd = -1;
      },
      Network_task::failed, "reset");
}

TEST_F(Misbehaving_server_test, ReplyEndsAtItsContentLengthWhileTheServerWaits) {
  struct Case {
    std::string reply, body;
  };
  const Case cases[] = {
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""},
      {"HTTP/1.1 204 No Content\r\n\r\n", ""},
      {std::string("HTTP/1.0 200 OK\r\nX-Odd: a\0b\r\nContent-Length: 5\r\n\r\nhello", 55), "hello"},
  };
  for (const Case& c : cases) {
    std::atomic<bool> closed{false};
    Scripted_server server;
    ASSERT_TRUE(server.start(reply_and_wait(c.reply, &closed)));
    Fetch_result r = fetch_url(Ref_string(server.url("/")), 30);
    ASSERT_EQ(r.status, Network_task::succeeded) << c.reply << ": " << r.failure_reason;
    ASSERT_TRUE(r.response && r.response->has_body()) << c.reply;
    EXPECT_EQ(std::string(r.raw->contents() + r.response->body_offset,
                          static_cast<size_t>(r.raw->length() - r.response->body_offset)),
              c.body);
    EXPECT_TRUE(run_loop_until([&] { return closed.load(); })) << "the client closes: " << c.reply;
  }
}

TEST_F(Misbehaving_server_test, AMegabyteOfHeaderLinesIsParsedOnceInLinearTime) {
  network_limits().max_document_bytes = 4 * 1048576;
  std::string head = "HTTP/1.0 200 OK\r\n";
  for (int i = 0; head.size() < 1048576; ++i) head += "X-" + std::to_string(i) + ": v\r\n";
  const std::string text = head + "Content-Length: 4\r\n\r\nbody";
  Scripted_server server;
  ASSERT_TRUE(server.start(reply(text)));
  const Http_parse_work before = http_parse_work();
  Fetch_result r = fetch_url(Ref_string(server.url("/")), 30);
  ASSERT_EQ(r.status, Network_task::succeeded) << r.failure_reason;
  EXPECT_EQ(r.response->headers.count(), std::count(head.begin(), head.end(), '\n'));
  EXPECT_EQ(http_parse_work().passes - before.passes, 1);
  EXPECT_LT(http_parse_work().bytes - before.bytes, 3 * static_cast<std::int64_t>(text.size()));
}

TEST_F(Misbehaving_server_test, EndlessTrickleTimesOutAndOthersAreStillServed) {
  platform::Manual_clock clock(platform::System_clock().now());
  platform::Scoped_clock use(clock);
  Scripted_server trickle;
  ASSERT_TRUE(trickle.start([](Scripted_server::Peer& p) {
    p.write("HTTP/1.0 200 OK\r\n\r\n");
    while (!p.stopping() && p.write("x")) ::usleep(5000);
  }));
  Scripted_server good;
  ASSERT_TRUE(good.start(reply("HTTP/1.0 200 OK\r\n\r\nfine")));
  Recording_handle slow = fetch(trickle.url("/"), 30);
  ASSERT_TRUE(run_loop_until([&] { return slow->connection()->received_buffer()->length() > 40; }));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(fetch_end(good.url("/"))->status(), Network_task::succeeded);
  EXPECT_FALSE(slow->ended());
  clock.advance(31);
  net_timer_tick();
  EXPECT_EQ(slow->status(), Network_task::timed_out);
  EXPECT_EQ(slow->connection()->socket(), -1);
}

TEST_F(Misbehaving_server_test, EndlessRedirectChainEndsWithTheFirstRequestsTimeOut) {
  platform::Manual_clock clock(platform::System_clock().now());
  platform::Scoped_clock use(clock);
  Scripted_server server;
  std::atomic<int> hops{0};
  ASSERT_TRUE(server.start([&server, &hops](Scripted_server::Peer& p) {
    int n = ++hops;
    p.write("HTTP/1.0 302 Found\r\nLocation: " + server.url("/hop" + std::to_string(n)) +
            "\r\n\r\n");
  }));
  Recording_handle t = fetch(server.url("/"), 15);
  ASSERT_TRUE(run_loop_until([&] { return hops >= 3; }));
  clock.advance(10);
  int seen = hops;
  // Redirects made after the clock moved must still count from the first start.
  ASSERT_TRUE(run_loop_until([&] { return hops >= seen + 3; }));
  EXPECT_FALSE(t->ended());
  clock.advance(6);
  net_timer_tick();
  EXPECT_EQ(t->status(), Network_task::timed_out);
  EXPECT_EQ(t->completions, 1);
  EXPECT_EQ(t->connection()->socket(), -1);
  EXPECT_TRUE(active_requests().empty());
}

}  // namespace
}  // namespace orvalis::testing

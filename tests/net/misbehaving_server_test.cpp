// Replies no well-behaved server sends, from a scripted server in the test process. Each ends
// its task failed (2) or timed out (3) with the connection closed, and the loop keeps serving
// the other transfers meanwhile.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "net_fixture.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

Scripted_server::Handler reply(std::string text) {
  return [text](Scripted_server::Peer& p) { p.write(text); };
}

class Misbehaving_server_test : public Net_test {
 protected:
  // Fetches from a server that runs `handler` and expects the task to end with `status`.
  void expect_end(Scripted_server::Handler handler, int status, const char* what) {
    Scripted_server server;
    ASSERT_TRUE(server.start(std::move(handler)));
    Recording_handle t = fetch(server.url("/"));
    ASSERT_TRUE(wait_end(t)) << what;
    EXPECT_EQ(t->status(), status) << what;
    EXPECT_EQ(t->connection()->state(), Net_connection::closed) << what;
    EXPECT_EQ(t->connection()->socket(), -1) << what;
    EXPECT_TRUE(active_requests().empty()) << what;
  }
};

TEST_F(Misbehaving_server_test, UnusableRepliesFail) {
  expect_end(reply("HTTP/1.1 \x01\x02\xff garbage\r\n\r\n"), Network_task::failed, "garbage");
  expect_end(reply("HTTP/1.0 200 OK\r\nServer\r\n\r\nbody"), Network_task::failed, "no colon");
  expect_end(reply("HTTP/1.0x 200 OK\r\n\r\nbody"), Network_task::failed, "bad version");
  expect_end(reply(""), Network_task::failed, "nothing at all");
  expect_end(reply("HTTP/1.0 302 Found\r\nServer: x\r\n\r\n"), Network_task::failed,
             "redirect without location");
}

TEST_F(Misbehaving_server_test, ResetInTheMiddleOfTheBodyFails) {
  expect_end(
      [](Scripted_server::Peer& p) {
        p.write("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'x'));
        ::usleep(50000);
        linger lg{1, 0};
        ::setsockopt(p.fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        ::close(p.fd);
        p.fd = -1;
      },
      Network_task::failed, "reset");
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
  for (int i = 0; i < 3; ++i) {
    Recording_handle t = fetch(good.url("/"));
    ASSERT_TRUE(wait_end(t));
    EXPECT_EQ(t->status(), Network_task::succeeded);
  }
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

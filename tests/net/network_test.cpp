// The network layer's own rules: host spacing, admission, time-outs (one per tick, measured
// from the start), look-ups and the host table, the read limit, cancellation, listeners, and
// a completion that starts the next request from inside the dispatch.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/http_connection.h"
#include "net_fixture.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

// A server that answers nothing and keeps the connection until the test ends.
Scripted_server::Handler silent() {
  return [](Scripted_server::Peer& p) {
    while (!p.stopping()) ::usleep(10000);
  };
}

class Network_layer_test : public Net_test {};

TEST_F(Network_layer_test, SecondTaskForAHostWaitsMoreThanThirtySeconds) {
  platform::Manual_clock clock(1000000);
  platform::Scoped_clock use(clock);
  set_host_spacing_enabled(true);
  Scripted_server server;
  ASSERT_TRUE(server.start(silent()));
  Recording_handle first = make_counted<Recording_task>();
  first->set_url(Ref_string(server.url("/a")));
  Recording_handle second = make_counted<Recording_task>();
  second->set_url(Ref_string(server.url("/b")));
  EXPECT_EQ(first->is_ready(), 1);
  activate_request(first);
  EXPECT_EQ(second->is_ready(), 0);
  clock.advance(30);
  EXPECT_EQ(second->is_ready(), 0);
  clock.advance(1);
  EXPECT_EQ(second->is_ready(), 1);
}

TEST_F(Network_layer_test, PendingLookupsLimitAdmission) {
  Instant_name_server silent(false);  // look-ups stay pending
  platform::current_event_loop().set_name_servers(silent.address().c_str());
  std::vector<Recording_handle> tasks;
  for (const char* u : {"http://one.invalid/", "http://two.invalid/", "http://three.invalid/"}) {
    EXPECT_TRUE(network_admission());
    tasks.push_back(fetch(u));
    EXPECT_EQ(tasks.back()->connection()->state(), Net_connection::resolving);
  }
  EXPECT_EQ(active_requests().count(), 3);
  EXPECT_FALSE(network_admission());  // far below the request limit, but three look-ups pend
  cancel_requests(Ref_list<Network_task_handle>{Network_task_handle(tasks[0])});
  EXPECT_TRUE(network_admission());
  EXPECT_EQ(tasks[0]->status(), Network_task::timed_out);
  network_limits().concurrent_requests = 2;
  EXPECT_FALSE(network_admission());
}

TEST_F(Network_layer_test, AtMostOneTimeOutPerTickInStartOrder) {
  platform::Manual_clock clock(2000000);
  platform::Scoped_clock use(clock);
  Scripted_server server;
  ASSERT_TRUE(server.start(silent()));
  Recording_handle a = fetch(server.url("/a"), 10);
  Recording_handle b = fetch(server.url("/b"), 10);
  Recording_handle never = fetch(server.url("/c"), 0);
  ASSERT_TRUE(run_loop_until([&] { return server.connections() == 3; }));
  clock.advance(10);
  net_timer_tick();
  EXPECT_FALSE(a->ended());  // 10 seconds is not more than the time-out
  clock.advance(1);
  net_timer_tick();
  EXPECT_TRUE(a->ended());
  EXPECT_FALSE(b->ended());
  net_timer_tick();
  EXPECT_TRUE(b->ended());
  EXPECT_EQ(a->status(), Network_task::timed_out);
  EXPECT_EQ(b->status(), Network_task::timed_out);
  EXPECT_EQ(a->connection()->state(), Net_connection::closed);
  EXPECT_EQ(a->connection()->socket(), -1);
  clock.advance(100000);
  net_timer_tick();
  EXPECT_FALSE(never->ended());  // a time-out below 1 is none
  EXPECT_EQ(active_requests().count(), 1);
}

TEST_F(Network_layer_test, LookedUpNamesAreCachedAndDottedAddressesNeedNoLookup) {
  Scripted_server server;
  ASSERT_TRUE(server.start([](Scripted_server::Peer& p) { p.write("HTTP/1.0 200 OK\r\n\r\nok"); }));
  Recording_handle dotted = fetch(server.url("/"));
  EXPECT_EQ(dotted->connection()->lookup_handle(), 0);
  ASSERT_TRUE(wait_end(dotted));
  EXPECT_EQ(Host_table::instance().address_count(), 0);
  std::string url = "http://localhost:" + std::to_string(server.port()) + "/";
  for (bool looked_up : {true, false}) {  // the second is answered from the table
    Recording_handle t = fetch(url);
    EXPECT_EQ(t->connection()->state() == Net_connection::resolving, looked_up);
    ASSERT_TRUE(wait_end(t));
    EXPECT_EQ(t->status(), Network_task::succeeded);
  }
  std::uint32_t address = 0;
  ASSERT_TRUE(Host_table::instance().address("localhost", address));
  EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
}

TEST_F(Network_layer_test, FailedLookupOrRefusedConnectFailsTheTask) {
  Recording_handle unknown = fetch_end("http://no-such-host.invalid/");  // the fixture's name server answers at once
  EXPECT_EQ(unknown->status(), Network_task::failed);
  EXPECT_GE(unknown->failure_reason().find("the host name no-such-host.invalid did not resolve ("), 0)
      << unknown->failure_reason();
  const std::string port = std::to_string(free_port());
  Recording_handle refused = fetch_end("http://127.0.0.1:" + port + "/");
  EXPECT_EQ(refused->status(), Network_task::failed);
  EXPECT_EQ(refused->failure_reason(), Ref_string("the connection to 127.0.0.1:" + port + " was refused"));
  EXPECT_EQ(refused->connection()->socket(), -1);
  Recording_handle v6 = fetch("http://[::1]:" + port + "/");
  EXPECT_EQ(v6->status(), Network_task::failed);
  EXPECT_GE(v6->failure_reason().find("IPv6 address in http://[::1]"), 0) << v6->failure_reason();
  EXPECT_TRUE(active_requests().empty());
}

// The one test of the read limit: every protocol reads through the same connection code.
TEST_F(Network_layer_test, ReadLimitEndsReadingWhileThePeerKeepsSending) {
  network_limits().max_document_bytes = 3000;
  Scripted_server server;
  ASSERT_TRUE(server.start([](Scripted_server::Peer& p) {
    p.write("HTTP/1.0 200 OK\r\nContent-Length: 10485760\r\n\r\n");
    std::string block(1000, 'x');
    while (!p.stopping() && p.write(block)) ::usleep(2000);
  }));
  Recording_handle t = fetch_end(server.url("/"));
  EXPECT_EQ(t->status(), Network_task::succeeded);
  EXPECT_GE(t->raw->length(), 3000);
  EXPECT_LT(t->raw->length(), 3000 + Net_connection::kRead_block);
  EXPECT_EQ(t->connection()->socket(), -1);
}

TEST_F(Network_layer_test, CancelMarksActiveTasksAndFinishesEveryListedTask) {
  Scripted_server server;
  ASSERT_TRUE(server.start(silent()));
  Recording_handle active = fetch(server.url("/"));
  Recording_handle idle = make_counted<Recording_task>();
  idle->set_url(Ref_string(server.url("/")));
  cancel_requests(Ref_list<Network_task_handle>{Network_task_handle(active), Network_task_handle(idle)});
  EXPECT_EQ(active->status(), Network_task::timed_out);
  EXPECT_EQ(idle->status(), Network_task::pending);
  EXPECT_EQ(active->completions, 1);
  EXPECT_EQ(idle->completions, 1);
  EXPECT_TRUE(active_requests().empty());
  EXPECT_EQ(active->connection()->socket(), -1);
}

// Starts the next fetch from inside the completion of the previous one.
class Chain_listener : public Completion_listener {
 public:
  Chain_listener(std::string url, int left) : url_(std::move(url)), left_(left) {}
  void on_complete(Network_task& task) override {
    statuses.push_back(task.status());
    if (--left_ <= 0) return;
    Recording_handle next = make_counted<Recording_task>();
    next->set_url(Ref_string(url_));
    next->connection()->set_timeout(30);
    next->set_completion_listener(Completion_listener_handle(this));
    activate_request(next);
  }
  std::vector<int> statuses;

 private:
  std::string url_;
  int left_;
};

TEST_F(Network_layer_test, CompletionMayStartTheNextRequest) {
  Scripted_server server;
  ASSERT_TRUE(server.start([](Scripted_server::Peer& p) { p.write("HTTP/1.0 200 OK\r\n\r\nok"); }));
  auto chain = make_counted<Chain_listener>(server.url("/"), 5);
  Recording_handle first = make_counted<Recording_task>();
  first->set_url(Ref_string(server.url("/")));
  first->set_completion_listener(chain);
  activate_request(first);
  ASSERT_TRUE(run_loop_until([&] { return chain->statuses.size() == 5; }));
  for (int s : chain->statuses) EXPECT_EQ(s, Network_task::succeeded);
  EXPECT_TRUE(active_requests().empty());
}

TEST_F(Network_layer_test, ListenerBindsLoopbackAndReportsATakenPort) {
  int port = 0;
  int fd = open_listener(port);
  ASSERT_GE(fd, 0);
  EXPECT_GT(port, 0);
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  EXPECT_EQ(a.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  int again = port;
  EXPECT_EQ(open_listener(again), -1);
  EXPECT_TRUE(has_message("Could not bind listening socket.  ("));
  forget_socket(fd);
  ::close(fd);
}

}  // namespace
}  // namespace orvalis::testing

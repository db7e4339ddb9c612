// An event loop (the epoll one here; the window tests run the same cases on the Qt one):
// socket events with the armed-set replacement rule, connect and close
// semantics, timers, posted callbacks, and host look-ups. Every wait is bounded by a watchdog.
#include "platform/event_loop.h"

#include "loop_under_test.h"
#include "test_servers.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace orvalis::platform {
namespace {

struct Event {
  int fd;
  unsigned event;
  int error;
};

class Event_loop_test : public ::testing::Test {
 protected:
  void SetUp() override { loop = make_loop_under_test(); }
  void TearDown() override {
    for (int fd : fds) {
      loop->forget_socket(fd);
      ::close(fd);
    }
  }

  // Runs the loop until `done` holds; false after `seconds` of real time (the watchdog).
  bool run_until(const std::function<bool()>& done, double seconds = 5) {
    auto t0 = std::chrono::steady_clock::now();
    while (!done()) {
      if (std::chrono::steady_clock::now() - t0 > std::chrono::duration<double>(seconds))
        return false;
      loop->run_once(20);
    }
    return true;
  }
  int keep(int fd) {
    fds.push_back(fd);
    return fd;
  }
  Event_loop::Socket_handler record() {
    return [this](int fd, unsigned ev, int err) { events.push_back({fd, ev, err}); };
  }

  std::unique_ptr<Event_loop> loop;
  std::vector<int> fds;
  std::vector<Event> events;
};

TEST_F(Event_loop_test, ConnectReportsOnceAndARefusalCarriesTheSocketError) {
  testing::Loopback_acceptor listener;
  ASSERT_TRUE(listener.start([](int fd) { ::close(fd); }));
  for (const auto& [port, error] : {std::pair{listener.port(), 0}, {testing::free_port(), ECONNREFUSED}}) {
    SCOPED_TRACE(port);
    events.clear();
    int fd = keep(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    ASSERT_EQ(loop->arm_socket(fd, event_connect, record()), 0);
    sockaddr_in a = testing::loopback(port);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ASSERT_TRUE(run_until([&] { return !events.empty(); }));
    loop->run_once(50);  // a connect is reported once, however long the socket stays writable
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, event_connect);
    EXPECT_EQ(events[0].error, error);
  }
}

TEST_F(Event_loop_test, ArmingReplacesTheEventSet) {
  testing::Loopback_pair p;
  ASSERT_TRUE(p.ok());
  int c = p.client, s = p.server;
  ASSERT_EQ(loop->arm_socket(c, event_write, record()), 0);
  ASSERT_TRUE(run_until([&] { return !events.empty(); }));
  EXPECT_EQ(events[0].event, event_write);
  // Now only reading: the always-writable socket must stay quiet until bytes arrive.
  ASSERT_EQ(loop->arm_socket(c, event_read | event_close, record()), 0);
  events.clear();
  loop->run_once(50);
  EXPECT_TRUE(events.empty());
  ASSERT_EQ(::send(s, "hi", 2, 0), 2);
  ASSERT_TRUE(run_until([&] { return !events.empty(); }));
  EXPECT_EQ(events[0].event, event_read);
  // Disarmed: nothing at all, even with bytes waiting.
  ASSERT_EQ(loop->arm_socket(c, 0, record()), 0);
  events.clear();
  loop->run_once(50);
  EXPECT_TRUE(events.empty());
}

TEST_F(Event_loop_test, CloseComesOnlyAfterTheLastBytesAreRead) {
  testing::Loopback_pair p;
  ASSERT_TRUE(p.ok());
  int c = p.client, s = p.server;
  std::string got;
  bool closed = false;
  ASSERT_EQ(loop->arm_socket(c, event_read | event_close,
                             [&](int fd, unsigned ev, int) {
                               if (ev == event_close) {
                                 closed = true;
                                 loop->arm_socket(fd, 0, nullptr);
                                 return;
                               }
                               char b[3];  // small reads: several read events before the close
                               ssize_t n = ::recv(fd, b, sizeof b, 0);
                               if (n > 0) got.append(b, static_cast<size_t>(n));
                             }),
            0);
  ASSERT_EQ(::send(s, "abcdefgh", 8, 0), 8);
  ::shutdown(s, SHUT_WR);
  ASSERT_TRUE(run_until([&] { return closed; }));
  EXPECT_EQ(got, "abcdefgh");
}

TEST_F(Event_loop_test, ResetPeerGivesCloseWithError) {
  testing::Loopback_pair p;
  ASSERT_TRUE(p.ok());
  ASSERT_EQ(loop->arm_socket(p.client, event_read | event_close, record()), 0);
  p.reset_server();
  ASSERT_TRUE(run_until([&] { return !events.empty(); }));
  EXPECT_EQ(events[0].event, event_close);
  EXPECT_EQ(events[0].error, ECONNRESET);
}

TEST_F(Event_loop_test, TimersRepeatUntilRemoved) {
  int ticks = 0;
  int id = loop->add_timer(10, [&] { ++ticks; });
  ASSERT_GT(id, 0);
  ASSERT_TRUE(run_until([&] { return ticks >= 3; }));
  loop->remove_timer(id);
  int seen = ticks;
  loop->run_once(40);
  EXPECT_EQ(ticks, seen);
  EXPECT_EQ(loop->add_timer(0, [] {}), -1);
}

TEST_F(Event_loop_test, PostFromAnotherThreadWakesTheLoop) {
  std::atomic<bool> ran{false};
  std::thread t([&] { loop->post([&] { ran = true; }); });
  t.join();
  loop->run_once(-1);  // waits without end unless the post wakes it
  EXPECT_TRUE(ran);
}

TEST_F(Event_loop_test, StopEndsRun) {
  loop->post([&] { loop->stop(); });
  int guard = loop->add_timer(3000, [&] { ADD_FAILURE() << "watchdog"; loop->stop(); });
  loop->run();
  loop->remove_timer(guard);
}

// A name from the hosts file, one that the name server does not know, and a cancelled look-up
// that never replies; every reply comes later through the loop, never from inside lookup_host.
TEST_F(Event_loop_test, LookupsReplyLaterThroughTheLoop) {
  testing::Instant_name_server names;
  ASSERT_EQ(loop->set_name_servers(names.address().c_str()), 0);
  struct Reply {
    int handle = 0, error = -1;
    std::uint32_t address = 0;
  } known, unknown, cancelled;
  auto into = [](Reply& r) {
    return [&r](int handle, int error, std::uint32_t address) { r = Reply{handle, error, address}; };
  };
  int h = loop->lookup_host("localhost", into(known));
  ASSERT_GT(h, 0);
  EXPECT_EQ(known.handle, 0);
  loop->lookup_host("no-such-host.invalid", into(unknown));
  loop->cancel_lookup(loop->lookup_host("localhost", into(cancelled)));
  ASSERT_TRUE(run_until([&] { return known.handle && unknown.handle; }));
  EXPECT_EQ(known.handle, h);
  EXPECT_EQ(known.error, 0);
  EXPECT_EQ(known.address, htonl(INADDR_LOOPBACK));
  EXPECT_NE(unknown.error, 0);
  EXPECT_GT(names.queries(), 0);
  for (int i = 0; i < 5; ++i) loop->run_once(10);
  EXPECT_EQ(cancelled.handle, 0);
}

}  // namespace
}  // namespace orvalis::platform

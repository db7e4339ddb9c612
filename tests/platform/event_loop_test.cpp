// The epoll event loop: socket events with the armed-set replacement rule, connect and close
// semantics, timers, posted callbacks, and host look-ups. Every wait is bounded by a watchdog.
#include "platform/event_loop.h"

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
  void SetUp() override { loop = make_epoll_loop(); }
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
  // A connected pair of stream sockets over loopback TCP.
  void tcp_pair(int& client, int& server) {
    int l = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
    ::listen(l, 1);
    client = keep(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    ::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a);
    server = keep(::accept(l, nullptr, nullptr));
    ::close(l);
  }
  Event_loop::Socket_handler record() {
    return [this](int fd, unsigned ev, int err) { events.push_back({fd, ev, err}); };
  }

  std::unique_ptr<Event_loop> loop;
  std::vector<int> fds;
  std::vector<Event> events;
};

TEST_F(Event_loop_test, ConnectReportsOnceWithoutErrorWhenAccepted) {
  int l = keep(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
  ::listen(l, 1);
  int c = keep(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
  ASSERT_EQ(loop->arm_socket(c, event_connect, record()), 0);
  ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ASSERT_TRUE(run_until([&] { return !events.empty(); }));
  loop->run_once(50);  // a connect is reported once, however long the socket stays writable
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, event_connect);
  EXPECT_EQ(events[0].error, 0);
}

TEST_F(Event_loop_test, RefusedConnectCarriesTheSocketError) {
  int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(probe);  // nobody listens on that port now
  int c = keep(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
  ASSERT_EQ(loop->arm_socket(c, event_connect, record()), 0);
  ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ASSERT_TRUE(run_until([&] { return !events.empty(); }));
  EXPECT_EQ(events[0].event, event_connect);
  EXPECT_EQ(events[0].error, ECONNREFUSED);
}

TEST_F(Event_loop_test, ArmingReplacesTheEventSet) {
  int c, s;
  tcp_pair(c, s);
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
  int c, s;
  tcp_pair(c, s);
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
  int c, s;
  tcp_pair(c, s);
  ASSERT_EQ(loop->arm_socket(c, event_read | event_close, record()), 0);
  linger lg{1, 0};
  ::setsockopt(s, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  ::close(s);
  fds.erase(std::remove(fds.begin(), fds.end(), s), fds.end());
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
  // One long wait: the post must end it.
  auto t0 = std::chrono::steady_clock::now();
  loop->run_once(5000);
  EXPECT_TRUE(ran);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(4));
}

TEST_F(Event_loop_test, StopEndsRun) {
  loop->post([&] { loop->stop(); });
  int guard = loop->add_timer(3000, [&] { ADD_FAILURE() << "watchdog"; loop->stop(); });
  loop->run();
  loop->remove_timer(guard);
}

TEST_F(Event_loop_test, LookupOfAHostsFileNameRepliesLaterWithItsAddress) {
  int handle = 0, error = -1;
  std::uint32_t address = 0;
  bool replied = false;
  int h = loop->lookup_host("localhost", [&](int hd, int err, std::uint32_t a) {
    replied = true;
    handle = hd;
    error = err;
    address = a;
  });
  ASSERT_GT(h, 0);
  EXPECT_FALSE(replied);  // never from inside lookup_host
  ASSERT_TRUE(run_until([&] { return replied; }));
  EXPECT_EQ(handle, h);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
}

TEST_F(Event_loop_test, CancelledLookupNeverReplies) {
  bool replied = false;
  int h = loop->lookup_host("localhost", [&](int, int, std::uint32_t) { replied = true; });
  loop->cancel_lookup(h);
  for (int i = 0; i < 5; ++i) loop->run_once(10);
  EXPECT_FALSE(replied);
}

TEST_F(Event_loop_test, UnknownNameFailsThroughALocalNameServer) {
  // A name server on a loopback port where nobody answers: the look-up must fail, not hang.
  int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(probe);
  std::string servers = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  ASSERT_EQ(loop->set_name_servers(servers.c_str()), 0);
  int error = 0;
  bool replied = false;
  loop->lookup_host("no-such-host.invalid", [&](int, int err, std::uint32_t) {
    replied = true;
    error = err;
  });
  ASSERT_TRUE(run_until([&] { return replied; }, 15));
  EXPECT_NE(error, 0);
}

}  // namespace
}  // namespace orvalis::platform

// The capture listener with curl as the browser and raw sockets as misbehaving clients: the
// answer and its length, one-shot listeners, the loopback binding, and a listener that keeps
// serving through malformed, incomplete, slow and oversized requests.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <future>
#include <string>

#include "net/listen_connection.h"
#include "net/serve_connection.h"
#include "net_fixture.h"
#include "peer_servers.h"

namespace orvalis::testing {
namespace {

class Recording_handler : public Capture_handler {
 public:
  Ref_string handle_request(const Ref_string& path, const Ref_string& path_again,
                            const Ref_list<Name_value>& fields) override {
    ++calls;
    last_path = path;
    EXPECT_EQ(path_again, path);
    last_fields = fields;
    return answer;
  }
  int calls = 0;
  Ref_string last_path;
  Ref_list<Name_value> last_fields;
  Ref_string answer = "<html>captured</html>";
};

// Runs a shell command on another thread while the loop runs; its standard output.
std::string run_while_serving(const std::string& command, int* status = nullptr) {
  auto result = std::async(std::launch::async, [command] {
    std::string out;
    FILE* f = ::popen(command.c_str(), "r");
    if (!f) return std::make_pair(-1, out);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    int rc = ::pclose(f);
    return std::make_pair(rc, out);
  });
  run_loop_until([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20);
  auto r = result.get();
  if (status) *status = r.first;
  return r.second;
}

class Capture_listener_test : public Net_test {
 protected:
  void SetUp() override {
    Net_test::SetUp();
    handler_ = make_counted<Recording_handler>();
  }
  Network_task_handle listen(bool one_shot) {
    port_ = 0;
    Network_task_handle t = start_capture_listener(port_, handler_, one_shot);
    EXPECT_TRUE(t);
    if (t) activate_request(t);
    return t;
  }
  std::string curl(const std::string& args, int* status = nullptr) {
    return run_while_serving("curl -s -i --max-time 10 " + args + " http://127.0.0.1:" +
                                 std::to_string(port_) + "/submit 2>&1",
                             status);
  }
  // A raw client that sends `text` and reads what comes back until the listener closes or
  // the time runs out.
  std::string raw_exchange(const std::string& text, double seconds) {
    int fd = connect_loopback(port_);
    EXPECT_GE(fd, 0);
    auto reader = std::async(std::launch::async, [fd, text, seconds] {
      Raw_server::Peer peer{fd, &never_, std::string()};
      peer.write(text);
      return peer.read_rest(seconds);
    });
    run_loop_until([&] { return reader.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, seconds + 5);
    std::string got = reader.get();
    ::close(fd);
    return got;
  }

  static inline std::atomic<bool> never_{false};
  Counted_handle<Recording_handler> handler_;
  int port_ = 0;
};

TEST_F(Capture_listener_test, CurlPostGetsTheHandlersAnswerWithItsLength) {
  Network_task_handle listener = listen(false);
  std::string out = curl("--data 'q=searchfield&lang=en+us&x=a%26b'");
  EXPECT_NE(out.find("HTTP/1.0 200 OK\r\nContent-type: text/html\r\nContent-length: 21\r\n\r\n"
                     "<html>captured</html>"),
            std::string::npos)
      << out;
  ASSERT_EQ(handler_->calls, 1);
  EXPECT_EQ(handler_->last_path, "/submit");
  ASSERT_EQ(handler_->last_fields.count(), 3);
  EXPECT_EQ(handler_->last_fields[0].value, "searchfield");
  EXPECT_EQ(handler_->last_fields[1].value, "en+us");
  EXPECT_EQ(handler_->last_fields[2].value, "a&b");
  // A GET keeps its query in the path.
  curl("-G --data 'q=1'");
  EXPECT_EQ(handler_->last_path, "/submit?q=1");
  EXPECT_EQ(listener->connection()->state(), Net_connection::listening);
}

TEST_F(Capture_listener_test, AOneShotListenerEndsWithItsFirstConnection) {
  Network_task_handle listener = listen(true);
  curl("--data 'a=1'");
  EXPECT_EQ(handler_->calls, 1);
  EXPECT_EQ(listener->status(), Network_task::succeeded);
  EXPECT_EQ(listener->state(), Agent_task::done);
  EXPECT_EQ(listener->connection()->socket(), -1);
  EXPECT_EQ(connect_loopback(port_), -1);  // nobody listens any more
  cancel_requests(active_requests());
  EXPECT_EQ(fds_.leaked(), 0);
}

TEST_F(Capture_listener_test, ListensOnLoopbackOnly) {
  Network_task_handle listener = listen(false);
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ASSERT_EQ(::getsockname(listener->connection()->socket(), reinterpret_cast<sockaddr*>(&a), &len), 0);
  EXPECT_EQ(a.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ntohs(a.sin_port), port_);
}

TEST_F(Capture_listener_test, KeepsServingThroughBadClients) {
  listen(false);
  // Malformed: no answer, the connection waits until cancelled.
  EXPECT_EQ(raw_exchange("NONSENSE\r\n\r\n", 0.3), "");
  // A POST without a content-length never completes.
  EXPECT_EQ(raw_exchange("POST / HTTP/1.0\r\nHost: x\r\n\r\na=1", 0.3), "");
  // A slow client: the request in pieces, then the answer.
  int slow = connect_loopback(port_);
  ASSERT_GE(slow, 0);
  Raw_server::Peer peer{slow, &never_, std::string()};
  for (const char* piece : {"POST /slow HT", "TP/1.0\r\nContent-Le", "ngth: 3\r\n\r\n", "a="}) {
    peer.write(piece);
    run_loop_until([] { return false; }, 0.1);
  }
  // Meanwhile another browser is served.
  EXPECT_NE(curl("--data 'b=2'").find("captured"), std::string::npos);
  EXPECT_EQ(handler_->last_path, "/submit");
  peer.write("5");
  ASSERT_TRUE(run_loop_until([&] { return handler_->last_path == "/slow"; }));
  auto answer = std::async(std::launch::async, [&peer] { return peer.read_rest(2); });
  run_loop_until([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
  EXPECT_NE(answer.get().find("Content-length: 21"), std::string::npos);
  ::close(slow);
  // Past 1 MB without completing: closed without an answer.
  std::string huge = "POST /big HTTP/1.0\r\nContent-Length: 5000000\r\n\r\n" + std::string(1100000, 'a');
  EXPECT_EQ(raw_exchange(huge, 5), "");
  EXPECT_NE(curl("--data 'c=3'").find("captured"), std::string::npos);
  cancel_requests(active_requests());
  EXPECT_EQ(fds_.leaked(), 0);
}

}  // namespace
}  // namespace orvalis::testing

// The capture listener with curl as the browser and raw sockets as misbehaving clients: the
// answer and its length, one-shot listeners that wait through idle sockets and requests they
// do not take, the limit of served connections and their idle time-out, and a listener that
// keeps serving through malformed, incomplete, slow and oversized requests.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <future>
#include <string>

#include "net/listen_connection.h"
#include "net/serve_connection.h"
#include "net_fixture.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

// Takes form submissions (POST); other requests get no page.
class Recording_handler : public Capture_handler {
 public:
  bool handle_request(const Http_request_info& request, Ref_string& html) override {
    ++calls;
    last_path = request.path;
    last_fields = request.fields;
    if (request.method != "post") return false;
    html = answer;
    return true;
  }
  int calls = 0;
  Ref_string last_path;
  Ref_list<Name_value> last_fields;
  Ref_string answer = "<html>captured</html>";
};

// Runs `client` on another thread while the loop serves; its result.
template <typename Client>
auto while_serving(Client client, double seconds = 20) {
  auto result = std::async(std::launch::async, std::move(client));
  run_loop_until([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, seconds);
  return result.get();
}

class Capture_listener_test : public Net_test {
 protected:
  void SetUp() override {
    check_descriptors_ = true;
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
  // curl's standard output.
  std::string curl(const std::string& args) {
    const std::string command =
        "curl -s -i --max-time 10 " + args + " http://127.0.0.1:" + std::to_string(port_) + "/submit 2>&1";
    return while_serving([command] {
      std::string out;
      FILE* f = ::popen(command.c_str(), "r");
      char buf[4096];
      for (size_t n; f && (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
      if (f) ::pclose(f);
      return out;
    });
  }
  // A raw client that sends `text` and reads what comes back until the listener closes or
  // the time runs out.
  std::string raw_exchange(const std::string& text, double seconds) {
    int fd = connect_loopback(port_);
    EXPECT_GE(fd, 0);
    std::string got = while_serving(
        [fd, text, seconds] {
          Raw_server::Peer peer{fd, &never_, std::string()};
          peer.write(text);
          return peer.read_rest(seconds);
        },
        seconds + 5);
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
  std::string values;
  for (const Name_value& f : handler_->last_fields) values += f.value.str() + "|";
  EXPECT_EQ(values, "searchfield|en us|a&b|");  // as browsers encode a form
  // A GET keeps its query in the path; not taken, it gets "404 Not Found".
  EXPECT_NE(curl("-G --data 'q=1'").find("HTTP/1.0 404 Not Found"), std::string::npos);
  EXPECT_EQ(handler_->last_path, "/submit?q=1");
  EXPECT_EQ(listener->connection()->state(), Net_connection::listening);
}

// True once the listener has closed the client socket `fd`.
bool closed_by_listener(int fd) {
  char byte;
  return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

TEST_F(Capture_listener_test, AOneShotListenerWaitsThroughIdleSocketsForTheRequestItTakes) {
  network_limits().concurrent_requests = 8;
  Network_task_handle listener = listen(true);
  // A browser's preconnects: sockets that send nothing.
  std::vector<int> idle;
  for (int i = 0; i < 8; ++i) {
    idle.push_back(connect_loopback(port_));
    ASSERT_TRUE(run_loop_until([&] { return active_requests().count() == i + 2; }));
  }
  // They take none of the transfer slots: a fetch is admitted meanwhile.
  Scripted_server server;
  ASSERT_TRUE(server.start([](Scripted_server::Peer& p) { p.write("HTTP/1.0 200 OK\r\n\r\nfine"); }));
  Recording_handle fetched = make_counted<Recording_task>();
  fetched->set_url(Ref_string(server.url("/")));
  ASSERT_TRUE(fetched->is_ready());
  activate_request(fetched);
  ASSERT_TRUE(wait_end(fetched));
  EXPECT_EQ(fetched->status(), Network_task::succeeded);
  // A request the handler does not take leaves the listener listening.
  curl("");
  EXPECT_EQ(listener->connection()->state(), Net_connection::listening);
  EXPECT_NE(curl("--data 'a=1'").find("captured"), std::string::npos);
  EXPECT_EQ(handler_->calls, 2);
  EXPECT_EQ(listener->status(), Network_task::succeeded);
  EXPECT_EQ(listener->state(), Agent_task::done);
  EXPECT_EQ(connect_loopback(port_), -1);  // nobody listens any more
  for (int fd : idle) {
    EXPECT_TRUE(closed_by_listener(fd));
    ::close(fd);
  }
  EXPECT_TRUE(active_requests().empty());
}

TEST_F(Capture_listener_test, ServesSixteenAtOnceAndClosesThoseIdleForThirtySeconds) {
  platform::Manual_clock clock(platform::System_clock().now());
  platform::Scoped_clock use(clock);
  Network_task_handle listener = listen(false);
  auto* l = dynamic_cast<Listen_connection*>(listener->connection());
  std::vector<int> idle;
  for (int i = 0; i < 17; ++i) {
    idle.push_back(connect_loopback(port_));
    // The seventeenth makes room by closing the one idle longest.
    ASSERT_TRUE(run_loop_until([&] { return i < 16 ? l->served_count() == i + 1 : closed_by_listener(idle[0]); }));
    clock.advance(1);
  }
  EXPECT_EQ(l->served_count(), 16);
  clock.advance(30);
  net_timer_tick();
  EXPECT_EQ(l->served_count(), 0);
  for (int fd : idle) {
    EXPECT_TRUE(closed_by_listener(fd));
    ::close(fd);
  }
  EXPECT_EQ(listener->connection()->state(), Net_connection::listening);
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
  EXPECT_NE(while_serving([&peer] { return peer.read_rest(2); }, 10).find("Content-length: 21"), std::string::npos);
  ::close(slow);
  // Past 1 MB without completing: closed without an answer.
  std::string huge = "POST /big HTTP/1.0\r\nContent-Length: 5000000\r\n\r\n" + std::string(1100000, 'a');
  EXPECT_EQ(raw_exchange(huge, 5), "");
  EXPECT_NE(curl("--data 'c=3'").find("captured"), std::string::npos);
}

}  // namespace
}  // namespace orvalis::testing

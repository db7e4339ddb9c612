// https fetches against nginx servers started here with certificates from a throw-away
// authority (trusted through SSL_CERT_FILE), through tinyproxy's CONNECT tunnels, and against
// scripted peers that break the handshake. Good certificates give the page; bad ones, plain
// HTTP on the https port, a stalled or reset handshake end the task with a warning that says
// why, and the loop keeps serving the other transfers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "foundation/url.h"
#include "net/fetch.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net_fixture.h"
#include "platform/clock.h"
#include "tls_test_authority.h"

namespace orvalis::testing {
namespace {

const char kPage[] = "<html><head><title>Secure</title></head><body>over tls</body></html>";

struct Https_peers {
  Tls_test_authority authority;
  std::unique_ptr<Scoped_trust> trust;
  // good speaks TLS 1.2 (this nginx's default), tls13 only TLS 1.3.
  Nginx_server good, tls13, other_host, expired, self_signed, plain;
  Tinyproxy_server proxy, strict_proxy;
  std::string big;

  bool start() {
    if (!authority.make()) return false;
    trust = std::make_unique<Scoped_trust>(authority.ca_file());
    big.reserve(300000);
    for (int i = 0; big.size() < 300000; ++i) big += "line " + std::to_string(i) + "\n";
    auto serve = [this](Nginx_server& s, const Tls_test_authority::Pair& p,
                        const std::string& protocols = "") {
      if (!s.start_https(p.cert, p.key,
                         protocols +
                         "    location = /to-plain { return 302 "
                         "http://127.0.0.1:$arg_port/page.html; }\n"
                         "    location = /reused { return 200 \"$ssl_session_reused\"; }\n"))
        return false;
      s.put("/page.html", kPage);
      s.put("/big.txt", big);
      return true;
    };
    if (!serve(good, authority.localhost()) ||
        !serve(tls13, authority.localhost(), "    ssl_protocols TLSv1.3;\n") || !serve(other_host, authority.other_host()) ||
        !serve(expired, authority.expired()) || !serve(self_signed, authority.self_signed()))
      return false;
    if (!plain.start("    location = /to-secure { return 302 " + good.url("/page.html") +
                     "; }\n"))
      return false;
    plain.put("/page.html", "<html><body>plain page</body></html>");
    return proxy.start() && strict_proxy.start("ConnectPort 443\n");
  }
};

class Https_fetch_test : public Net_test {
 protected:
  static void SetUpTestSuite() {
    if (!have_program("nginx") || !have_program("openssl") || !have_program("tinyproxy")) return;
    peers = new Https_peers;
    if (!peers->start()) {
      ADD_FAILURE() << "https peers did not start: " << peers->authority.log()
                    << peers->good.log();
      delete peers;
      peers = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete peers;
    peers = nullptr;
  }
  void SetUp() override {
    check_descriptors_ = true;
    Net_test::SetUp();
    if (!peers) GTEST_SKIP() << "nginx, openssl or tinyproxy missing";
  }
  void TearDown() override {
    network_limits().verify_certificates = true;
    Net_test::TearDown();
  }
  static std::string body_of(const Recording_task& t) {
    Ref_string raw = t.text();
    Http_response_handle r = parse_response(raw.c_str());
    return r->has_body() ? std::string(raw.mid(static_cast<int>(r->body_offset)).view())
                         : std::string();
  }
  // Fetches `url`, expects it to succeed and gives its body.
  std::string body(const std::string& url) {
    Recording_handle t = fetch_end(url);
    EXPECT_EQ(t->status(), Network_task::succeeded) << url << ": " << messages();
    return body_of(*t);
  }
  void expect_page(const std::string& url, const char* what) { EXPECT_EQ(body(url), kPage) << what; }
  // Expects the fetch to fail with a warning holding `reason`.
  void expect_refused(const std::string& url, const char* reason) {
    Recording_handle t = fetch_end(url);
    EXPECT_EQ(t->status(), Network_task::failed) << url;
    EXPECT_TRUE(has_message(reason)) << url << " wanted \"" << reason << "\", got: " << messages();
    EXPECT_GE(t->failure_reason().find(reason), 0) << url << ": " << t->failure_reason();
    EXPECT_EQ(t->connection()->socket(), -1);
    EXPECT_TRUE(t->raw == nullptr || t->raw->length() == 0) << "no document from " << url;
  }
  std::string messages() const { return errors_.all(); }

  static Https_peers* peers;
};
Https_peers* Https_fetch_test::peers = nullptr;

// A server that ends its reply with close_notify and then waits for the client's before it
// closes, as Python's ssl module does with unwrap.
const char kPolite_server[] = R"(import socket, ssl, sys
port, cert, key, page = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(cert, key)
listener = socket.create_server(("127.0.0.1", port))
while True:
    conn, _ = listener.accept()
    try:
        tls = ctx.wrap_socket(conn, server_side=True)
        request = b""
        while b"\r\n\r\n" not in request:
            request += tls.recv(4096)
        tls.sendall(b"HTTP/1.0 200 OK\r\n\r\n" + page.encode())
        raw = tls.unwrap()
        raw.recv(1)
        raw.close()
    except Exception:
        conn.close()
)";

TEST_F(Https_fetch_test, ServerThatEndsWithCloseNotifyAndWaitsGivesThePage) {
  if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "/usr/bin/python3 is missing";
  Temp_dir dir("orvalis-tls-");
  write_file(dir.file("server.py"), kPolite_server);
  const int port = free_port();
  Child_process server;
  ASSERT_TRUE(server.start({"/usr/bin/python3", dir.file("server.py"), std::to_string(port),
                            peers->authority.localhost().cert, peers->authority.localhost().key, kPage},
                           dir.file("server.log")));
  ASSERT_TRUE(wait_for_port(port, 10));
  // No Content-Length: the close_notify ends the reply, with the time-out far away.
  expect_page("https://localhost:" + std::to_string(port) + "/", "close_notify");
  expect_page("https://localhost:" + std::to_string(port) + "/", "again");
}

TEST_F(Https_fetch_test, Tls13ServerGivesPagesAndResumesWithItsTickets) {
  expect_page(peers->tls13.url("/page.html"), "first");
  EXPECT_EQ(body(peers->tls13.url("/big.txt")), peers->big);
  EXPECT_EQ(body(peers->tls13.url("/reused")), "r");
}

TEST_F(Https_fetch_test, ManyHandshakesInterleaveOnOneLoop) {
  std::vector<Recording_handle> tasks;
  for (int i = 0; i < 40; ++i) tasks.push_back(fetch(peers->good.url("/big.txt")));
  ASSERT_TRUE(run_loop_until(
      [&] { return std::all_of(tasks.begin(), tasks.end(), [](auto& t) { return t->ended(); }); }, 30));
  for (const Recording_handle& t : tasks) {
    EXPECT_EQ(t->status(), Network_task::succeeded);
    EXPECT_EQ(body_of(*t), peers->big);
  }
}

TEST_F(Https_fetch_test, NextConnectionToTheSameServerResumesItsSession) {
  const std::string by_name = peers->good.url("/reused");
  EXPECT_EQ(body(by_name), ".");
  EXPECT_EQ(body(by_name), "r");
  // Another name for the same server is another server as far as trust goes.
  EXPECT_EQ(body("https://127.0.0.1:" + std::to_string(peers->good.port()) + "/reused"), ".");
  // Unchecked sessions are kept apart from checked ones.
  network_limits().verify_certificates = false;
  EXPECT_EQ(body(by_name), ".");
  network_limits().verify_certificates = true;
  EXPECT_EQ(body(by_name), "r");
}

TEST_F(Https_fetch_test, RedirectsCrossBetweenHttpAndHttps) {
  Recording_handle up = fetch_end(peers->plain.url("/to-secure"));
  EXPECT_EQ(up->status(), Network_task::succeeded) << messages();
  EXPECT_EQ(up->final_url, Ref_string(peers->good.url("/page.html")));
  EXPECT_EQ(body_of(*up), kPage);

  Recording_handle down = fetch_end(peers->good.url("/to-plain?port=" + std::to_string(peers->plain.port())));
  EXPECT_EQ(down->status(), Network_task::succeeded) << messages();
  EXPECT_EQ(down->final_url, Ref_string(peers->plain.url("/page.html")));
  EXPECT_EQ(body_of(*down), "<html><body>plain page</body></html>");
}

TEST_F(Https_fetch_test, BadCertificatesAreRefusedWithTheReasonUnlessUnchecked) {
  auto by_address = [](const Nginx_server& s) {
    return "https://127.0.0.1:" + std::to_string(s.port()) + "/page.html";
  };
  const struct {
    std::string url;
    const char* reason;
  } cases[] = {
      {peers->other_host.url("/page.html"), "host name mismatch"},
      {by_address(peers->other_host), "host name mismatch"},
      {peers->expired.url("/page.html"), "certificate has expired"},
      {peers->self_signed.url("/page.html"), "self-signed certificate"},
  };
  for (const auto& c : cases) expect_refused(c.url, c.reason);
  EXPECT_TRUE(has_message("TLS handshake with localhost:"));
  expect_refused(by_address(peers->plain), "wrong version number");  // plain HTTP
  // The refusals left the loop serving.
  expect_page(peers->good.url("/page.html"), "after the refusals");
  network_limits().verify_certificates = false;
  for (const auto& c : cases) expect_page(c.url, c.reason);
}

TEST_F(Https_fetch_test, ThroughTheProxyTheTunnelCarriesTheServersOwnRequest) {
  use_proxy(peers->proxy.port());
  Recording_handle t = fetch_end(peers->good.url("/echo"));
  ASSERT_EQ(t->status(), Network_task::succeeded) << messages() << peers->proxy.log();
  EXPECT_EQ(body_of(*t),
            "GET /echo localhost:" + std::to_string(peers->good.port()) + " [Orvalis 2.0]");
  EXPECT_NE(peers->proxy.log().find("CONNECT"), std::string::npos);

  expect_refused(peers->other_host.url("/page.html"), "host name mismatch");
  // http through the same proxy is a plain request for the whole address, redirects too.
  Recording_handle plain = fetch_end(peers->plain.url("/echo"));
  auto* c = dynamic_cast<Http_connection*>(plain->connection());
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->via_proxy());
  EXPECT_EQ(ntohs(c->peer().sin_port), peers->proxy.port());
  EXPECT_EQ(body_of(*plain), "GET /echo 127.0.0.1:" + std::to_string(peers->plain.port()) + " [Orvalis 2.0]");
  Fetch_result moved = fetch_url(Ref_string(peers->plain.url("/moved")), 20);
  EXPECT_EQ(moved.status, Network_task::succeeded);
  EXPECT_EQ(moved.final_url, Ref_string(peers->plain.url("/page.html")));
  // A proxy that refuses the tunnel: the task fails naming its status.
  use_proxy(peers->strict_proxy.port());
  expect_refused(peers->good.url("/page.html"), "refused the tunnel to localhost:");
  EXPECT_TRUE(has_message("403")) << messages();
}

TEST_F(Https_fetch_test, ProxyAnswersOtherThanATunnelFail) {
  struct Case {
    std::string answer;
    const char* reason;
  };
  const Case cases[] = {
      {"HTTP/1.0 407 Proxy Authentication Required\r\n\r\n", "got \"HTTP/1.0 407"},
      {"HTTP/1.0 2000 OK\r\n\r\n", "got \"HTTP/1.0 2000 OK\""},
      {"HTTP/1.0 200 OK\r\nX: " + std::string(20000, 'y'), "got \"HTTP/1.0 200 OK\""},
      {"", "got nothing"},
  };
  for (const Case& c : cases) {
    Scripted_server fake_proxy;
    std::string answer = c.answer;
    ASSERT_TRUE(fake_proxy.start([answer](Scripted_server::Peer& p) { p.write(answer); }));
    use_proxy(fake_proxy.port());
    expect_refused(peers->good.url("/page.html"), c.reason);
  }
}

TEST_F(Https_fetch_test, StalledHandshakeTimesOutWhileOthersAreServed) {
  platform::Manual_clock clock(platform::System_clock().now());
  platform::Scoped_clock use(clock);
  Scripted_server silent;  // takes the connection and the client's hello, answers nothing
  ASSERT_TRUE(silent.start([](Scripted_server::Peer& p) { while (!p.stopping()) ::usleep(10000); }, false));
  Recording_handle stalled = fetch("https://127.0.0.1:" + std::to_string(silent.port()) + "/", 20);
  ASSERT_TRUE(run_loop_until([&] { return silent.connections() == 1; }));
  for (int i = 0; i < 3; ++i) expect_page(peers->good.url("/page.html"), "meanwhile");
  EXPECT_FALSE(stalled->ended());
  clock.advance(21);
  net_timer_tick();
  EXPECT_EQ(stalled->status(), Network_task::timed_out);
  EXPECT_EQ(stalled->connection()->socket(), -1);
  EXPECT_TRUE(has_message("did not finish within 20 seconds")) << messages();
}

TEST_F(Https_fetch_test, ResetOrGarbageInTheMiddleOfTheHandshakeFails) {
  // After the client's hello: a reset (no answer), or a handshake record header that promises
  // more than any record may hold.
  const std::pair<std::string, const char*> cases[] = {
      {"", "reset by peer"},
      {std::string("\x16\x03\x03\xff\xff", 5) + std::string(64, '\xee'), "packet length too long"}};
  for (const auto& [answer, reason] : cases) {
    Scripted_server peer;
    ASSERT_TRUE(peer.start(
        [answer = answer](Scripted_server::Peer& p) {
          char buf[4096];
          pollfd q{p.fd, POLLIN, 0};
          if (::poll(&q, 1, 5000) > 0) (void)::recv(p.fd, buf, sizeof buf, 0);
          if (!answer.empty()) {
            p.write(answer);
            return;
          }
          linger lg{1, 0};
          ::setsockopt(p.fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
          ::close(p.fd);
          p.fd = -1;
        },
        false));
    expect_refused("https://127.0.0.1:" + std::to_string(peer.port()) + "/", reason);
  }
}

// Relays a connection to `port` on 127.0.0.1 and spoils the server's bytes after `after` of
// them: a reset (spoil false) or one flipped byte (spoil true) in the encrypted stream.
Scripted_server::Handler relay_to(int port, std::size_t after, bool spoil) {
  return [port, after, spoil](Scripted_server::Peer& p) {
    int up = connect_loopback(port);
    if (up < 0) return;
    std::size_t from_server = 0;
    bool spoiled = false;
    char buf[4096];
    while (!p.stopping()) {
      pollfd fds[2] = {{p.fd, POLLIN, 0}, {up, POLLIN, 0}};
      if (::poll(fds, 2, 20) <= 0) continue;
      if (fds[0].revents) {
        ssize_t n = ::recv(p.fd, buf, sizeof buf, 0);
        if (n <= 0 || ::send(up, buf, static_cast<size_t>(n), MSG_NOSIGNAL) < 0) break;
      }
      if (fds[1].revents) {
        ssize_t n = ::recv(up, buf, sizeof buf, 0);
        if (n <= 0) break;
        if (from_server + static_cast<std::size_t>(n) > after) {
          if (!spoil) {
            linger lg{1, 0};
            ::setsockopt(p.fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
            break;
          }
          if (!spoiled) buf[after > from_server ? after - from_server : 0] ^= 0x5a;
          spoiled = true;
        }
        from_server += static_cast<std::size_t>(n);
        if (!p.write(std::string(buf, static_cast<size_t>(n)))) break;
      }
    }
    ::close(up);
  };
}

TEST_F(Https_fetch_test, BrokenStreamInTheMiddleOfTheBodyFails) {
  // The reset reaches the connection as a read error or as the socket's error event, as
  // with plain HTTP; either way the task fails. A flipped byte is a TLS read error.
  for (bool spoil : {false, true}) {
    Scripted_server relay;
    ASSERT_TRUE(relay.start(relay_to(peers->good.port(), 60000, spoil), false));
    Recording_handle t = fetch_end("https://localhost:" + std::to_string(relay.port()) + "/big.txt");
    EXPECT_EQ(t->status(), Network_task::failed) << spoil;
    EXPECT_EQ(t->connection()->socket(), -1) << spoil;
  }
  EXPECT_TRUE(has_message("TLS read from localhost:")) << messages();
  EXPECT_FALSE(has_message("the server closed the connection")) << messages();
  expect_page(peers->good.url("/page.html"), "afterwards");
}

}  // namespace
}  // namespace orvalis::testing

// orvalis-cli fetch against a real nginx on loopback, directly and through tinyproxy, and
// against scripted servers whose replies are not HTTP or hold odd bytes; failures say why.
#include <gtest/gtest.h>

#include "test_servers.h"
#include "cli_runner.h"

namespace orvalis::test {
namespace {

using orvalis::testing::Nginx_server;
using orvalis::testing::Scripted_server;
using orvalis::testing::Tinyproxy_server;

TEST(CliFetch, PrintsTheResponseDirectlyAndThroughTheProxy) {
  Nginx_server nginx;
  ASSERT_TRUE(nginx.start()) << nginx.log();
  nginx.put("/hello.html", "<html><title>Hello</title><body>Hello from nginx</body></html>\n");
  Cli_sandbox box;

  Cli_result r = box.run({"fetch", nginx.url("/hello.html")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("HTTP/1.1 200 OK", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("Hello from nginx"), std::string::npos);
  // Warnings, when asked for, are shown but do not fail a transfer that worked.
  EXPECT_EQ(box.run({"--verbose", "fetch", nginx.url("/hello.html")}).status, 0);

  r = box.run({"--json", "fetch", nginx.url("/missing.html")});
  ASSERT_EQ(r.status, 0) << r.err;  // the transfer succeeded; the status says what came back
  EXPECT_NE(r.out.find("\"status\":404"), std::string::npos) << r.out;

  Tinyproxy_server proxy;
  ASSERT_TRUE(proxy.start()) << proxy.log();
  box.use_proxy(proxy.port());
  r = box.run({"fetch", nginx.url("/hello.html")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Hello from nginx"), std::string::npos);
  EXPECT_NE(proxy.log().find("hello.html"), std::string::npos) << proxy.log();
}

TEST(CliFetch, ReportsAFailedTransferAndWhy) {
  Cli_sandbox box;
  const std::string port = std::to_string(orvalis::testing::free_port());  // nothing listens there
  Scripted_server not_http;
  ASSERT_TRUE(not_http.start([](Scripted_server::Peer& p) { p.write("NOT HTTP AT ALL"); }));
  const std::pair<std::string, std::string> cases[] = {
      {"http://127.0.0.1:" + port + "/", "failed: the connection to 127.0.0.1:" + port + " was refused (task status 2)"},
      {not_http.url("/"), "has no HTTP status line: got \"NOT HTTP AT ALL\" (task status 2)"},
      {"mailto:someone@example.org", "its scheme is not"},
  };
  for (const auto& [url, reason] : cases) {
    Cli_result r = box.run({"fetch", url});
    EXPECT_EQ(r.status, 1) << url;
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
  }
  for (const char* timeout : {"9", "99999999999"}) {
    Cli_result r = box.run({"fetch", "--timeout", timeout, not_http.url("/")});
    EXPECT_EQ(r.status, 2) << timeout;
    EXPECT_NE(r.err.find("--timeout must be a whole number of seconds from 10"), std::string::npos) << r.err;
  }
  EXPECT_NE(box.run({"--help"}).out.find("fetch URL [--timeout SECONDS]"), std::string::npos);
}

TEST(CliFetch, JsonKeepsTheBodyBehindAZeroByteInAHeader) {
  Cli_sandbox box;
  Scripted_server server;
  ASSERT_TRUE(server.start([](Scripted_server::Peer& p) {
    p.write(std::string("HTTP/1.0 200 OK\r\nX-Odd: a\0b\r\n\r\nthe body", 39));
  }));
  Cli_result r = box.run({"--json", "fetch", server.url("/")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"X-Odd\":\"a\\u0000b\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"body\":\"the body\""), std::string::npos) << r.out;
}

}  // namespace
}  // namespace orvalis::test

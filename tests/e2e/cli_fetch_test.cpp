// orvalis-cli fetch against a real nginx on loopback, directly and through tinyproxy.
#include <gtest/gtest.h>

#include "test_servers.h"
#include "cli_runner.h"

namespace orvalis::test {
namespace {

using orvalis::testing::Nginx_server;
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

TEST(CliFetch, ReportsAFailedTransfer) {
  Cli_sandbox box;
  int port = orvalis::testing::free_port();  // nothing listens there
  Cli_result r = box.run({"fetch", "http://127.0.0.1:" + std::to_string(port) + "/"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("failed (task status 2)"), std::string::npos) << r.err;
  r = box.run({"fetch", "mailto:someone@example.org"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("its scheme is not"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace orvalis::test

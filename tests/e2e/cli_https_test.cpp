// orvalis-cli fetch of https addresses against nginx on loopback with certificates from a
// throw-away authority (trusted through SSL_CERT_FILE in the program's environment), directly
// and through tinyproxy's tunnel; bad certificates are refused and the reason is shown.
#include <gtest/gtest.h>

#include "../net/test_servers.h"
#include "../net/tls_test_authority.h"
#include "cli_runner.h"

namespace orvalis::test {
namespace {

using orvalis::testing::Nginx_server;
using orvalis::testing::Tinyproxy_server;
using orvalis::testing::Tls_test_authority;

TEST(CliHttpsFetch, TrustedPageArrivesAndBadCertificatesAreRefused) {
  if (!orvalis::testing::have_program("openssl")) GTEST_SKIP() << "no openssl command";
  Tls_test_authority authority;
  ASSERT_TRUE(authority.make()) << authority.log();
  Nginx_server good, expired;
  ASSERT_TRUE(good.start_https(authority.localhost().cert, authority.localhost().key)) << good.log();
  ASSERT_TRUE(expired.start_https(authority.expired().cert, authority.expired().key));
  good.put("/hello.html", "<html><title>Hello</title><body>Hello over TLS</body></html>\n");
  expired.put("/hello.html", "stale\n");
  // The program inherits the trust from this process's environment.
  orvalis::testing::Scoped_trust trust(authority.ca_file());
  Cli_sandbox box;

  Cli_result r = box.run({"--verbose", "fetch", good.url("/hello.html")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("HTTP/1.1 200 OK", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("Hello over TLS"), std::string::npos);

  r = box.run({"--verbose", "fetch", expired.url("/hello.html")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("certificate has expired"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("failed (task status 2)"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("stale"), std::string::npos);

  // Without the authority the same good server is a stranger.
  {
    orvalis::testing::Scoped_trust stranger(authority.self_signed().cert);
    r = box.run({"--verbose", "fetch", good.url("/hello.html")});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.err.find("unable to get local issuer certificate"), std::string::npos) << r.err;
  }

  Tinyproxy_server proxy;
  ASSERT_TRUE(proxy.start()) << proxy.log();
  ASSERT_EQ(box.run({"settings", "set", "ProxyHost", "127.0.0.1"}).status, 0);
  ASSERT_EQ(box.run({"settings", "set", "ProxyPort", std::to_string(proxy.port())}).status, 0);
  ASSERT_EQ(box.run({"settings", "set", "ProxyEnabled", "yes"}).status, 0);
  r = box.run({"fetch", good.url("/hello.html")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Hello over TLS"), std::string::npos);
  EXPECT_NE(proxy.log().find("CONNECT"), std::string::npos) << proxy.log();
  r = box.run({"--verbose", "fetch", expired.url("/hello.html")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("certificate has expired"), std::string::npos) << r.err;

  // VerifyCertificates "no" takes what the server shows.
  ASSERT_EQ(box.run({"settings", "set", "VerifyCertificates", "no"}).status, 0);
  r = box.run({"fetch", expired.url("/hello.html")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("stale"), std::string::npos);
}

}  // namespace
}  // namespace orvalis::test

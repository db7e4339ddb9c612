// Ftp_connection against a real FTP server (pyftpdlib on 127.0.0.1, active mode): files
// through directories, listings, logins, a large file, and the fetch used by the command line.
// The refusals at each step are the scripted peer's (ftp_scripted_test.cpp).
#include <gtest/gtest.h>

#include <string>

#include "net/fetch.h"
#include "net/ftp_connection.h"
#include "net_fixture.h"

namespace orvalis::testing {
namespace {

class Ftp_server_test : public Net_test {
 protected:
  void SetUp() override {
    check_descriptors_ = true;
    Net_test::SetUp();
    if (::system("/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null") != 0)
      GTEST_SKIP() << "pyftpdlib is not installed";
    ASSERT_TRUE(server_.start()) << server_.log();
    server_.put("/readme.txt", "top level file\r\n");
    server_.put("/pub/doc/readme", "the manual\nsecond line\n");
    server_.put("/pub/index.txt", "index");
    server_.put("/pub/with space.txt", "spaced");
  }
  void TearDown() override {
    server_.stop();  // every socket the transfers opened is closed once the server has gone
    Net_test::TearDown();
  }

  Recording_handle fetch_ok(const std::string& url) {
    Recording_handle t = fetch_end(url);
    EXPECT_EQ(t->status(), Network_task::succeeded) << url << "\n" << server_.log();
    return t;
  }

  Ftp_server server_;
};

TEST_F(Ftp_server_test, FilesThroughDirectoriesAndListings) {
  const struct {
    const char* path;
    const char* login;
    const char* holds;       // the text, or a part of the listing
    const char* lacks;
  } cases[] = {
      {"/pub/doc/readme", "", "the manual\r\nsecond line\r\n", nullptr},  // TYPE a: CR LF
      {"/pub/index.txt;type=i", "", "index", nullptr},
      {"/pub/with%20space.txt", "", "spaced", nullptr},
      {"/readme.txt", "reader:s3cret", "top level file\r\n", nullptr},
      {"/", "", "readme.txt", nullptr},
      {"/pub/", "", "index.txt", "readme.txt"},
  };
  for (const auto& c : cases) {
    Recording_handle t = fetch_ok(server_.url(c.path, c.login));
    std::string text = t->text().str();
    if (std::string(c.path).ends_with("/")) {
      EXPECT_NE(text.find(c.holds), std::string::npos) << c.path << ": " << text;
    } else {
      EXPECT_EQ(text, c.holds) << c.path;
    }
    if (c.lacks) {
      EXPECT_EQ(text.find(c.lacks), std::string::npos) << c.path;
    }
    auto* f = static_cast<Ftp_connection*>(t->connection());
    EXPECT_EQ(f->ftp_state(), Ftp_connection::wait_quit);
    EXPECT_EQ(f->listening_socket(), -1);
    EXPECT_EQ(f->data_socket(), -1);
    EXPECT_EQ(f->socket(), -1);
  }
}

TEST_F(Ftp_server_test, ALargeFileArrivesWholeAndFetchUrlTakesFtpAddresses) {
  std::string big;
  for (int i = 0; i < 40000; ++i) big += static_cast<char>('a' + i % 26);
  big += std::string(160000, 'z');
  server_.put("/big.bin", big);
  EXPECT_TRUE(fetch_ok(server_.url("/big.bin"))->text() == Ref_string(big));

  Fetch_result r = fetch_url(Ref_string(server_.url("/pub/index.txt")), 30);
  EXPECT_TRUE(r.supported);
  EXPECT_EQ(r.status, Network_task::succeeded);
  ASSERT_TRUE(r.raw);
  EXPECT_EQ(r.raw->text(), "index");
  server_.put("/empty", "");
  Fetch_result empty = fetch_url(Ref_string(server_.url("/empty")), 30);
  EXPECT_EQ(empty.status, Network_task::succeeded);
  EXPECT_EQ(empty.raw->length(), 0);
}

}  // namespace
}  // namespace orvalis::testing

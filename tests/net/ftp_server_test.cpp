// Ftp_connection against a real FTP server (pyftpdlib on 127.0.0.1, active mode): files
// through directories, listings, logins, refusals from the server, the read limit, and the
// fetch used by the command line.
#include <gtest/gtest.h>

#include <string>

#include "net/fetch.h"
#include "net/ftp_connection.h"
#include "net_fixture.h"
#include "peer_servers.h"

namespace orvalis::testing {
namespace {

class Ftp_server_test : public Net_test {
 protected:
  void SetUp() override {
    Net_test::SetUp();
    if (::system("/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null") != 0)
      GTEST_SKIP() << "pyftpdlib is not installed";
    fds_before_ = open_fd_count();
    ASSERT_TRUE(server_.start()) << server_.log();
    server_.put("/readme.txt", "top level file\r\n");
    server_.put("/pub/doc/readme", "the manual\nsecond line\n");
    server_.put("/pub/index.txt", "index");
    server_.put("/pub/with space.txt", "spaced");
  }

  Recording_handle fetch_ok(const std::string& url) {
    Recording_handle t = fetch(url);
    EXPECT_TRUE(wait_end(t)) << url;
    EXPECT_EQ(t->status(), Network_task::succeeded) << url << "\n" << server_.log();
    return t;
  }

  // Every socket the transfers opened is closed again once the server has gone.
  void expect_no_leak() {
    server_.stop();
    EXPECT_EQ(open_fd_count(), fds_before_);
  }

  Ftp_server server_;
  int fds_before_ = 0;
};

TEST_F(Ftp_server_test, RetrievesAFileThroughItsDirectories) {
  Recording_handle t = fetch_ok(server_.url("/pub/doc/readme"));
  // TYPE a: the server sends its line ends as CR LF.
  EXPECT_EQ(t->text(), "the manual\r\nsecond line\r\n");
  auto* c = static_cast<Ftp_connection*>(t->connection());
  EXPECT_EQ(c->ftp_state(), Ftp_connection::wait_quit);
  EXPECT_EQ(c->listening_socket(), -1);
  EXPECT_EQ(c->data_socket(), -1);
  EXPECT_EQ(c->socket(), -1);
  expect_no_leak();
}

TEST_F(Ftp_server_test, ListsTheDirectoryOfAPathEndingInSlash) {
  Recording_handle top = fetch_ok(server_.url("/"));
  EXPECT_GE(top->text().find("readme.txt"), 0) << top->text();
  EXPECT_GE(top->text().find("pub"), 0);
  Recording_handle pub = fetch_ok(server_.url("/pub/"));
  EXPECT_GE(pub->text().find("index.txt"), 0) << pub->text();
  EXPECT_LT(pub->text().find("readme.txt"), 0);
  expect_no_leak();
}

TEST_F(Ftp_server_test, IgnoresATypeSuffixAndDecodesThePath) {
  EXPECT_EQ(fetch_ok(server_.url("/pub/index.txt;type=i"))->text(), "index");
  EXPECT_EQ(fetch_ok(server_.url("/pub/with%20space.txt"))->text(), "spaced");
}

TEST_F(Ftp_server_test, LogsInWithTheUserOfTheAddress) {
  EXPECT_EQ(fetch_ok(server_.url("/readme.txt", "reader:s3cret"))->text(), "top level file\r\n");
  Recording_handle wrong = fetch(server_.url("/readme.txt", "reader:guess"));
  ASSERT_TRUE(wait_end(wrong));
  EXPECT_EQ(wrong->status(), Network_task::failed);
  EXPECT_TRUE(has_message("Sending password to FTP server failed. Response was 530"));
  expect_no_leak();
}

TEST_F(Ftp_server_test, RefusalsOfTheServerFailTheTask) {
  Recording_handle missing = fetch(server_.url("/pub/nothing.txt"));
  ASSERT_TRUE(wait_end(missing));
  EXPECT_EQ(missing->status(), Network_task::failed);
  EXPECT_TRUE(has_message("Error during FTP data transfer. Response was 550"));

  Recording_handle no_dir = fetch(server_.url("/nowhere/file"));
  ASSERT_TRUE(wait_end(no_dir));
  EXPECT_EQ(no_dir->status(), Network_task::failed);
  EXPECT_TRUE(has_message("Sending CWD to FTP server failed. Response was 550"));
  auto* c = static_cast<Ftp_connection*>(no_dir->connection());
  EXPECT_EQ(c->ftp_state(), Ftp_connection::error);
  expect_no_leak();
}

TEST_F(Ftp_server_test, ALargeFileArrivesWholeAndALongerOneIsCutAtTheReadLimit) {
  std::string big;
  for (int i = 0; i < 40000; ++i) big += static_cast<char>('a' + i % 26);
  big += std::string(160000, 'z');
  server_.put("/big.bin", big);
  Recording_handle whole = fetch_ok(server_.url("/big.bin"));
  EXPECT_EQ(whole->raw->length(), static_cast<std::int64_t>(big.size()));
  EXPECT_TRUE(whole->text() == Ref_string(big));

  network_limits().max_document_bytes = 50000;
  Recording_handle cut = fetch_ok(server_.url("/big.bin"));
  EXPECT_GE(cut->raw->length(), 50000);
  EXPECT_LT(cut->raw->length(), 50000 + 2000);
  expect_no_leak();
}

TEST_F(Ftp_server_test, FetchUrlTakesFtpAddresses) {
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

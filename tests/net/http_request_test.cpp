// The request text an Http_connection sends, and the class set_url chooses for an address.
#include <gtest/gtest.h>

#include "net/http_connection.h"
#include "net/proxy.h"
#include "net_fixture.h"

namespace orvalis::testing {
namespace {

class Http_request_test : public Net_test {
 protected:
  Http_connection* http(Network_task& t) {
    auto* c = dynamic_cast<Http_connection*>(t.connection());
    EXPECT_NE(c, nullptr);
    return c;
  }
};

TEST_F(Http_request_test, GetPutsEncodedFieldsIntoTheQuery) {
  Recording_handle t = make_counted<Recording_task>();
  ASSERT_TRUE(t->set_url("http://h/s"));
  Http_connection* c = http(*t);
  c->add_field("q", "a b");
  c->add_field("n", "1");
  EXPECT_EQ(c->request_text(),
            "GET /s?q=a+b&n=1 HTTP/1.0\r\nHost: h\r\nAccept: text/html\r\n"
            "User-Agent: Orvalis 2.0\r\n\r\n");
}

TEST_F(Http_request_test, PostSendsFieldsAsTheBody) {
  Recording_handle t = make_counted<Recording_task>();
  ASSERT_TRUE(t->set_url("http://h:8080/s?x=1"));
  Http_connection* c = http(*t);
  c->set_method(Http_connection::post);
  c->add_field("q", "a b");
  c->add_field("n", "1");
  c->add_header("Authorization", "Basic dTpw");
  EXPECT_EQ(c->request_text(),
            "POST /s?x=1 HTTP/1.0\r\nHost: h:8080\r\nAccept: text/html\r\n"
            "Content-type: application/x-www-form-urlencoded\r\nContent-length: 9\r\n"
            "User-Agent: Orvalis 2.0\r\nAuthorization: Basic dTpw\r\n\r\nq=a+b&n=1");
}

TEST_F(Http_request_test, FragmentIsCutAndEmptyAgentOmitted) {
  Settings_cache::instance().set("UserAgent", "");
  Recording_handle t = make_counted<Recording_task>();
  ASSERT_TRUE(t->set_url("http://h/p#frag"));
  EXPECT_EQ(http(*t)->request_text(), "GET /p HTTP/1.0\r\nHost: h\r\nAccept: text/html\r\n\r\n");
}

TEST_F(Http_request_test, ThroughTheProxyEverySchemeIsAGetOfTheWholeAddress) {
  Settings_cache::instance().set("ProxyEnabled", "yes");
  Settings_cache::instance().set("ProxyHost", "127.0.0.1");
  Settings_cache::instance().set("ProxyPort", "3128");
  Recording_handle t = make_counted<Recording_task>();
  ASSERT_TRUE(t->set_url("http://h/s#top"));
  Http_connection* c = http(*t);
  c->add_field("q", "x");
  EXPECT_TRUE(c->via_proxy());
  EXPECT_TRUE(c->request_text().starts_with("GET http://h/s?q=x HTTP/1.0\r\nHost: h\r\n"));

  Recording_handle f = make_counted<Recording_task>();
  ASSERT_TRUE(f->set_url("ftp://files.example/pub/readme"));
  EXPECT_TRUE(http(*f)->request_text().starts_with(
      "GET ftp://files.example/pub/readme HTTP/1.0\r\nHost: files.example\r\n"));
}

TEST_F(Http_request_test, ProxySwitchIsCaseSensitive) {
  Settings_cache::instance().set("ProxyEnabled", "Yes");
  Recording_handle t = make_counted<Recording_task>();
  ASSERT_TRUE(t->set_url("http://h/"));
  EXPECT_FALSE(http(*t)->via_proxy());
}

TEST_F(Http_request_test, AddressesWithoutAConnectionClassGetTheBase) {
  for (const char* url : {"news://n/g", "file:///tmp/x", "mailto:a@b", "relative/x"}) {
    Recording_handle t = make_counted<Recording_task>();
    EXPECT_FALSE(t->set_url(url)) << url;
    EXPECT_EQ(dynamic_cast<Http_connection*>(t->connection()), nullptr) << url;
    EXPECT_EQ(t->connection()->url(), url);
  }
}

}  // namespace
}  // namespace orvalis::testing

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

TEST_F(Http_request_test, RequestTexts) {
  const struct {
    const char* url;
    bool post;
    bool proxy;
    const char* agent;
    const char* expected;  // the whole request, or its beginning through a proxy
  } cases[] = {
      // A GET puts the encoded fields into the query.
      {"http://h/s", false, false, "Orvalis 2.0",
       "GET /s?q=a+b&n=1 HTTP/1.0\r\nHost: h\r\nAccept: text/html\r\n"
       "User-Agent: Orvalis 2.0\r\n\r\n"},
      // A POST sends them as the body, after the extra headers.
      {"http://h:8080/s?x=1", true, false, "Orvalis 2.0",
       "POST /s?x=1 HTTP/1.0\r\nHost: h:8080\r\nAccept: text/html\r\n"
       "Content-type: application/x-www-form-urlencoded\r\nContent-length: 9\r\n"
       "User-Agent: Orvalis 2.0\r\nAuthorization: Basic dTpw\r\n\r\nq=a+b&n=1"},
      // The fragment is cut; an empty agent is left out.
      {"http://h/p#frag", false, false, "", "GET /p?q=a+b&n=1 HTTP/1.0\r\nHost: h\r\nAccept: text/html\r\n\r\n"},
      // Through the proxy every scheme is a GET of the whole address.
      {"http://h/s#top", false, true, "Orvalis 2.0", "GET http://h/s?q=a+b&n=1 HTTP/1.0\r\nHost: h\r\n"},
      {"ftp://files.example/pub/readme", false, true, "Orvalis 2.0",
       "GET ftp://files.example/pub/readme HTTP/1.0\r\nHost: files.example\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    Settings_cache::instance().set("UserAgent", c.agent);
    c.proxy ? use_proxy(3128) : no_proxy();
    Recording_handle t = make_counted<Recording_task>();
    ASSERT_TRUE(t->set_url(c.url));
    Http_connection* h = http(*t);
    EXPECT_EQ(h->via_proxy(), c.proxy);
    if (c.post) {
      h->set_method(Http_connection::post);
      h->add_header("Authorization", "Basic dTpw");
    }
    if (std::string(c.url).rfind("http:", 0) == 0) {
      h->add_field("q", "a b");
      h->add_field("n", "1");
    }
    Ref_string text = h->request_text();
    EXPECT_EQ(c.proxy ? text.mid(0, static_cast<int>(strlen(c.expected))) : text, c.expected);
  }
  // Only the exact "yes" switches the proxy on.
  use_proxy(3128);
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

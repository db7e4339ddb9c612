// The request text an Http_connection sends (and a gopher selector line), requests refused for
// a line break they would smuggle in, and the address a redirect leads to.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>

#include "net/gopher_connection.h"
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

TEST_F(Http_request_test, LineBreaksInTheRequestFailTheTaskBeforeAnythingIsSent) {
  struct Case {
    const char *url, *agent, *header, *value, *reason;
  };
  const Case cases[] = {
      {"http://127.0.0.1:1/a\r\nX-Evil: 1", "Orvalis 2.0", "", "", "the address"},
      {"http://127.0.0.1:1/a\nb", "Orvalis 2.0", "", "", "the address"},
      {"http://127.0.0.1:1/", "Orvalis\r\nX-Evil: 1", "", "", "the UserAgent setting"},
      {"http://127.0.0.1:1/", "Orvalis 2.0", "Authorization", "Basic x\r\nX-Evil: 1", "the request header \"Authorization\""},
      {"http://127.0.0.1:1/", "Orvalis 2.0", "X\rEvil", "v", "the request header \"X\\rEvil\""},
  };
  for (const Case& c : cases) {
    Settings_cache::instance().set("UserAgent", c.agent);
    Recording_handle t = make_counted<Recording_task>();
    t->set_url(c.url);
    if (*c.header) t->connection()->add_header(c.header, c.value);
    activate_request(t);
    EXPECT_TRUE(t->ended()) << c.reason;  // at its start: no connection was made
    EXPECT_EQ(t->status(), Network_task::failed) << c.reason;
    EXPECT_GE(t->failure_reason().find(c.reason), 0) << t->failure_reason();
    EXPECT_TRUE(has_message("Request not sent: ")) << c.reason;
  }
  // The gopher selector sent is the decoded path after the item type; it ends at a decoded
  // line break, so nothing after one reaches the server.
  for (const auto& [url, line] : {std::pair{"gopher://h/", "\r\n"}, {"gopher://h/0/readme.txt", "/readme.txt\r\n"},
                                  {"gopher://h/1/a%20b", "/a b\r\n"}, {"gopher://h/1/a%0D%0Aevil%0Amore", "/a\r\n"}})
    EXPECT_EQ(Gopher_connection(nullptr, url).selector_line(), line) << url;
}

TEST_F(Http_request_test, RedirectsRepeatThePostOrGoOnWithAGetAsTheirStatusSays) {
  // "/to/CODE" answers CODE with Location /landed; /landed answers the method and body it got.
  Scripted_server server;
  ASSERT_TRUE(server.start([](Scripted_server::Peer& p) {
    if (p.request.find(" /to/") != std::string::npos) {
      p.write("HTTP/1.0 " + p.request.substr(p.request.find(" /to/") + 5, 3) +
              " Moved\r\nLocation: /landed\r\n\r\n");
      return;
    }
    const size_t length_at = p.request.find("Content-length: ");
    const size_t length = length_at == std::string::npos ? 0 : std::stoul(p.request.substr(length_at + 16));
    std::string body = p.request.substr(p.request.find("\r\n\r\n") + 4);
    char buf[256];
    while (body.size() < length) {
      ssize_t n = ::recv(p.fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      body.append(buf, static_cast<size_t>(n));
    }
    p.write("HTTP/1.0 200 OK\r\n\r\n" + p.request.substr(0, p.request.find(' ')) + " " + body);
  }));
  const struct {
    const char* code;
    bool post;
    const char* landed_with;
  } cases[] = {
      {"301", true, "GET "}, {"302", true, "GET "}, {"303", true, "GET "},
      {"307", true, "POST q=a+b"}, {"308", true, "POST q=a+b"}, {"307", false, "GET "},
  };
  for (const auto& c : cases) {
    Recording_handle t = make_counted<Recording_task>();
    t->set_url(Ref_string(server.url(std::string("/to/") + c.code)));
    t->connection()->set_method(c.post ? Http_connection::post : Http_connection::get);
    t->connection()->add_field("q", "a b");
    t->connection()->set_timeout(30);
    activate_request(t);
    ASSERT_TRUE(wait_end(t)) << c.code;
    EXPECT_TRUE(t->text().ends_with(c.landed_with)) << c.code << ": " << t->text();
    EXPECT_EQ(t->final_url, Ref_string(server.url("/landed"))) << c.code;
  }
}

TEST_F(Http_request_test, CredentialsGoOnOnlyToTheSameSite) {
  // "/to/same" and "/to/other" redirect to /landed on this server, named by its address or by
  // another host name; /landed says whether credentials came with the request.
  Scripted_server server;
  std::string other;
  ASSERT_TRUE(server.start([&other](Scripted_server::Peer& p) {
    if (p.request.find(" /to/same ") != std::string::npos)
      p.write("HTTP/1.0 302 Found\r\nLocation: /landed\r\n\r\n");
    else if (p.request.find(" /to/other ") != std::string::npos)
      p.write("HTTP/1.0 302 Found\r\nLocation: " + other + "\r\n\r\n");
    else
      p.write(std::string("HTTP/1.0 200 OK\r\n\r\n") +
              (p.request.find("\r\nAuthorization: Basic dTpw\r\n") != std::string::npos ? "+with" : "+without"));
  }));
  other = "http://localhost:" + std::to_string(server.port()) + "/landed";
  for (const auto& [path, expected] : {std::pair{"/to/same", "+with"}, {"/to/other", "+without"}}) {
    Recording_handle t = make_counted<Recording_task>();
    t->set_url(Ref_string(server.url(path)));
    t->connection()->add_header("Authorization", "Basic dTpw");
    t->connection()->set_timeout(30);
    activate_request(t);
    ASSERT_TRUE(wait_end(t)) << path;
    EXPECT_TRUE(t->text().ends_with(expected)) << path << ": " << t->text();
  }
}

TEST(Resolve_location, RelativeReferencesAsRfc3986ResolvesThem) {
  const char* base = "http://a/b/c/d;p?q#f";
  const std::pair<const char*, const char*> cases[] = {
      {"g", "http://a/b/c/g"},         {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},       {"/g", "http://a/g"},
      {"//g/x", "http://g/x"},         {"?y", "http://a/b/c/d;p?y"},
      {"#s", "http://a/b/c/d;p?q#s"},  {"", "http://a/b/c/d;p?q"},
      {"../g", "http://a/b/g"},        {"../../../../g", "http://a/g"},
      {"/./g/../h", "http://a/h"},     {"g/./h/..", "http://a/b/c/g/"},
      {"https://x/p q\x01\xc3\xa9", "https://x/p%20q%01%C3%A9"},
      {"ftp://f/x", "ftp://f/x"},
  };
  for (const auto& [location, expected] : cases)
    EXPECT_EQ(resolve_location(base, location), expected) << location;
  EXPECT_EQ(resolve_location("http://h:81", "x"), "http://h:81/x");
}

TEST_F(Http_request_test, RequestTexts) {
  const struct {
    const char* url;
    bool post;
    bool proxy;
    const char* agent;
    const char* compression;  // the setting AcceptCompression
    const char* expected;  // the whole request, or its beginning through a proxy
  } cases[] = {
      // A POST sends them as the body, after the extra headers.
      {"http://h:8080/s?x=1", true, false, "Orvalis 2.0", "Yes",
       "POST /s?x=1 HTTP/1.0\r\nHost: h:8080\r\nAccept: text/html\r\n"
       "Content-type: application/x-www-form-urlencoded\r\nContent-length: 9\r\n"
       "Accept-Encoding: gzip, deflate\r\n"
       "User-Agent: Orvalis 2.0\r\nAuthorization: Basic dTpw\r\n\r\nq=a+b&n=1"},
      // A GET puts the encoded fields into the query; the fragment is cut, an empty agent is
      // left out. (The GET query and the POST body per engine form: search_test.cpp.)
      {"http://h/p#frag", false, false, "", "No", "GET /p?q=a+b&n=1 HTTP/1.0\r\nHost: h\r\nAccept: text/html\r\n\r\n"},
      // Through the proxy every scheme is a GET of the whole address.
      {"http://h/s#top", false, true, "Orvalis 2.0", "Yes", "GET http://h/s?q=a+b&n=1 HTTP/1.0\r\nHost: h\r\n"},
      {"ftp://files.example/pub/readme", false, true, "Orvalis 2.0", "Yes",
       "GET ftp://files.example/pub/readme HTTP/1.0\r\nHost: files.example\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    Settings_cache::instance().set("UserAgent", c.agent);
    Settings_cache::instance().set("AcceptCompression", c.compression);
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
  // A task's own Accept header replaces the default one.
  {
    no_proxy();
    Settings_cache::instance().set("UserAgent", "");
    Settings_cache::instance().set("AcceptCompression", "No");
    Recording_handle t = make_counted<Recording_task>();
    ASSERT_TRUE(t->set_url("http://h/feed.xml"));
    http(*t)->add_header("accept", "application/rss+xml, */*;q=0.1");
    EXPECT_EQ(http(*t)->request_text(), "GET /feed.xml HTTP/1.0\r\nHost: h\r\naccept: application/rss+xml, */*;q=0.1\r\n\r\n");
  }
  // Only the exact "yes" switches the proxy on.
  use_proxy(3128);
  Settings_cache::instance().set("ProxyEnabled", "Yes");
  Recording_handle t = make_counted<Recording_task>();
  ASSERT_TRUE(t->set_url("http://h/"));
  EXPECT_FALSE(http(*t)->via_proxy());
}

}  // namespace
}  // namespace orvalis::testing

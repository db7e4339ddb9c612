#include "foundation/url.h"

#include <gtest/gtest.h>

namespace orvalis {
namespace {

// One row per address: its scheme, host, port and path as Url reads them (-1 or null: not
// looked at).
TEST(Url, Parts) {
  const struct {
    const char* url;
    int scheme;
    const char* host;
    int port;
    const char* path;
  } cases[] = {
      // Schemes are recognised without regard to case; a prefix is not enough.
      {"HTTP://Host/x", Url::http, "Host", -1, "/x"},
      {"Gopher://h/", Url::gopher, "h", 70, nullptr},
      {"ftp://h", Url::ftp, "h", 21, nullptr},
      {"news://h", Url::news, "h", 0, nullptr},
      {"file:///tmp", Url::file, nullptr, -1, nullptr},
      {"MAILTO:me@x", Url::mailto, "", -1, "MAILTO:me@x"},  // no host: the path is all of it
      {"javascript:x", Url::other, nullptr, -1, nullptr},
      {"http:/x", Url::other, nullptr, -1, nullptr},
      {"relative/page.html", Url::other, "", -1, "relative/page.html"},
      {"http://h:8080/p", Url::http, "h", 8080, nullptr},
      {"http://a:b:c/", Url::http, "a:b", -1, nullptr},
      {"http:///x", Url::http, "", -1, "/x"},
      {"http://h:80/a", Url::http, "h", 80, "/a"},
      {"http://h", Url::http, "h", -1, "/"},
      // A port needs digits right after the colon; the digits before anything else count.
      {"http://h:x/a", Url::http, nullptr, -1, ":x/a"},
      {"http://h:8a/", Url::http, nullptr, 8, nullptr},
      {"http://h:0/", Url::http, nullptr, 0, nullptr},
      {"HTTPS://Secure.example:8443/a/b?q=1", Url::https, "Secure.example", 8443, "/a/b?q=1"},
      {"https://secure.example/", Url::https, "secure.example", 443, nullptr},
      {"https://h", Url::https, nullptr, -1, "/"},
      {"https://h:x/", Url::https, nullptr, 443, nullptr},
      // Without a port, the host of an ftp address keeps its user part.
      {"ftp://u:p@h/x", Url::ftp, "u:p@h", -1, nullptr},
      {"ftp://u:p@h:2121/x", Url::ftp, "u:p@h", 2121, nullptr},
      {"http://u:p@h/x", Url::http, "u", -1, nullptr},
  };
  for (const auto& c : cases) {
    Url u(c.url);
    EXPECT_EQ(u.scheme_code(), c.scheme) << c.url;
    if (c.host) {
      EXPECT_EQ(u.host(), c.host) << c.url;
    }
    if (c.port >= 0) {
      EXPECT_EQ(u.port(), c.port) << c.url;
    }
    if (c.path) {
      EXPECT_EQ(u.path(), c.path) << c.url;
    }
  }
  int f, l;
  EXPECT_FALSE(Url("http://h:/x").port_span(f, l));
  EXPECT_FALSE(Url("http://h:x/").port_span(f, l));
  EXPECT_FALSE(Url("mailto:someone@example.org").host_span(f, l));
  EXPECT_EQ(Url("mailto:someone@example.org").path_start(), 0);
  EXPECT_EQ(Url::scheme_name(7), "https");
  EXPECT_EQ(Url::scheme_name(99), "");
}

TEST(UrlFtp, CredentialsAndHostWithUserPart) {
  Ref_string user, password;
  ASSERT_TRUE(Url("ftp://anna:se:cret@ftp.h/pub").ftp_credentials(user, password));
  EXPECT_EQ(user, "anna:se");
  EXPECT_EQ(password, "cret");
  ASSERT_TRUE(Url("ftp://bob@h/").ftp_credentials(user, password));
  EXPECT_EQ(user, "bob");
  EXPECT_EQ(password, "");
  EXPECT_FALSE(Url("ftp://h/").ftp_credentials(user, password));
  EXPECT_FALSE(Url("http://u:p@h/").ftp_credentials(user, password));
}

TEST(Url, RelativeLinksAgainstTheBase) {
  const struct {
    const char *base, *link, *resolved;
  } cases[] = {
      {"http://h/a/b.html", "c.html", "http://h/a/c.html"},
      {"http://h/a/b.html", "/x", "http://h/x"},
      {"http://h", "c", "http://h/c"},
      {"http://h:81", "c", "http://h:81/c"},
      {"http://h/a/b.html", "//other/x", "http://h//other/x"},
      {"http://h/a/b.html", "../c", "http://h/a/../c"},
      {"http://h/s?q=a/b", "n", "http://h/s?q=a/n"},
      {"http://h/a/b.html", "mailto:x@y", "mailto:x@y"},
      {"http://h/a/b.html", "news://n/g", "news://n/g"},
      {"http://b/d/", "https://h/", "https://h/"},
      {"https://b/d/e", "f", "https://b/d/f"},
      {"HTTPS://Secure.example:8443/a/b?q=1", "/x", "HTTPS://Secure.example:8443/x"},
      {"https://h", "c", "https://h/c"},
      {"relative", "x", "/x"},
  };
  for (const auto& c : cases) EXPECT_EQ(Url(c.base).resolve(c.link), c.resolved) << c.base << " + " << c.link;
}

TEST(UrlEncoding, EncodeKeepsSafeSetAndEscapesTheRest) {
  EXPECT_EQ(url_encode("a b&c=d/e"), "a+b&c=d%2Fe");
  EXPECT_EQ(url_encode("\xe9"), "%E9");
  EXPECT_EQ(url_encode("~"), "%7E");
  EXPECT_EQ(url_encode("$-_@.&!*=%"), "$-_@.&!*=%");
  EXPECT_EQ(url_encode(""), "");
  EXPECT_EQ(url_encode("\x01\x7f"), "%01%7F");
}

TEST(UrlEncoding, RequestTargetsAreSentAsBrowsersSendThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a b.html", "/a%20b.html"}, {"/p#frag ment", "/p"}, {"/s?q=a+b&n=1%20", "/s?q=a+b&n=1%20"},
      {"/caf\xc3\xa9?\xc3\xa9", "/caf%C3%A9?%C3%A9"}, {"/x\x01\x7f\t", "/x%01%7F%09"}, {"", ""},
      {"/\"<{`}>?\"<{`}>", "/%22%3C%7B%60%7D%3E?%22%3C{`}%3E"}, {"http://h:81/a b?c d#e", "http://h:81/a%20b?c%20d"}};
  for (const auto& [target, sent] : cases) EXPECT_EQ(request_target(target), sent) << target;
  EXPECT_EQ(form_value_encode("a b+c&d=e#f%g/\xc3\xa9*-._~"), "a+b%2Bc%26d%3De%23f%25g%2F%C3%A9*-._%7E");
}

TEST(UrlEncoding, DecodeStopsAtTruncatedEscapeAndZeroByte) {
  EXPECT_EQ(url_decode("a%20b+c"), "a b+c");
  EXPECT_EQ(url_decode("50%"), "50");
  EXPECT_EQ(url_decode("x%2"), "x");
  EXPECT_EQ(url_decode("a%00b"), "a");
  EXPECT_EQ(url_decode("a%zzb"), "a");
  EXPECT_EQ(url_decode("%4g"), "\x04");  // strtol reads the hexadecimal digit before g
  EXPECT_EQ(url_decode("%c3%A9"), "\xc3\xa9");
  EXPECT_EQ(url_decode(url_encode("r\xc3\xa9sum\xc3\xa9/x?y#~")), "r\xc3\xa9sum\xc3\xa9/x?y#~");
  EXPECT_EQ(url_decode(url_encode("a b")), "a+b");  // no plus-to-space here
}

TEST(UrlEncoding, FileUrlOfALocalPath) {
  EXPECT_EQ(file_url("/home/u/pages/index.htm"), "file:///home/u/pages/index.htm");
  EXPECT_EQ(file_url("/tmp/a b#c.htm"), "file:///tmp/a%20b%23c.htm");
}

}  // namespace
}  // namespace orvalis

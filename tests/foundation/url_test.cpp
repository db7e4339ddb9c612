#include "foundation/url.h"

#include <gtest/gtest.h>

namespace orvalis {
namespace {

TEST(UrlScheme, PrefixesAreCheckedWithoutRegardToCase) {
  EXPECT_EQ(Url("HTTP://Host/x").scheme_code(), Url::http);
  EXPECT_EQ(Url("Gopher://h/").scheme_code(), Url::gopher);
  EXPECT_EQ(Url("ftp://h").scheme_code(), Url::ftp);
  EXPECT_EQ(Url("news://h").scheme_code(), Url::news);
  EXPECT_EQ(Url("file:///tmp").scheme_code(), Url::file);
  EXPECT_EQ(Url("MAILTO:me@x").scheme_code(), Url::mailto);
  EXPECT_EQ(Url("https://h/").scheme_code(), Url::https);
  EXPECT_EQ(Url("javascript:x").scheme_code(), Url::other);
  EXPECT_EQ(Url("http:/x").scheme_code(), Url::other);
  EXPECT_EQ(Url::scheme_name(7), "https");
  EXPECT_EQ(Url::scheme_name(0), "");
  EXPECT_EQ(Url::scheme_name(99), "");
}

TEST(UrlParts, HostPortAndPath) {
  Url u("HTTP://Host/x");
  EXPECT_EQ(u.host(), "Host");
  EXPECT_EQ(Url("http://h:8080/p").host(), "h");
  EXPECT_EQ(Url("http://h:8080/p").port(), 8080);
  EXPECT_EQ(Url("http://a:b:c/").host(), "a:b");
  EXPECT_EQ(Url("http:///x").host(), "");
  EXPECT_EQ(Url("http:///x").path(), "/x");
  EXPECT_EQ(Url("http://h:80/a").path(), "/a");
  EXPECT_EQ(Url("http://h").path(), "/");
  EXPECT_EQ(Url("http://h:x/a").path(), ":x/a");
  EXPECT_EQ(Url("https://secure.example:8443/q?a=b").host(), "secure.example");
  EXPECT_EQ(Url("https://secure.example/").port(), 443);
}

TEST(UrlParts, PortSpanNeedsDigitsRightAfterTheColon) {
  int f, l;
  EXPECT_FALSE(Url("http://h:/x").port_span(f, l));
  EXPECT_FALSE(Url("http://h:x/").port_span(f, l));
  ASSERT_TRUE(Url("http://h:8a/").port_span(f, l));
  EXPECT_EQ(Url("http://h:8a/").port(), 8);
  EXPECT_EQ(Url("gopher://h/").port(), 70);
  EXPECT_EQ(Url("ftp://h").port(), 21);
  EXPECT_EQ(Url("news://h").port(), 0);
  EXPECT_EQ(Url("http://h:0/").port(), 0);
}

TEST(UrlParts, AddressesWithoutHost) {
  Url mail("mailto:someone@example.org");
  int f, l;
  EXPECT_FALSE(mail.host_span(f, l));
  EXPECT_EQ(mail.host(), "");
  EXPECT_EQ(mail.path(), "mailto:someone@example.org");
  EXPECT_EQ(mail.path_start(), 0);
  EXPECT_EQ(Url("relative/page.html").path(), "relative/page.html");
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
  // Without a port, the host of an ftp address keeps its user part.
  EXPECT_EQ(Url("ftp://u:p@h/x").host(), "u:p@h");
  EXPECT_EQ(Url("ftp://u:p@h:2121/x").host(), "u:p@h");
  EXPECT_EQ(Url("ftp://u:p@h:2121/x").port(), 2121);
  EXPECT_EQ(Url("http://u:p@h/x").host(), "u");
}

TEST(UrlResolve, RelativeLinksAgainstTheBase) {
  Url base("http://h/a/b.html");
  EXPECT_EQ(base.resolve("c.html"), "http://h/a/c.html");
  EXPECT_EQ(base.resolve("/x"), "http://h/x");
  EXPECT_EQ(Url("http://h").resolve("c"), "http://h/c");
  EXPECT_EQ(Url("http://h:81").resolve("c"), "http://h:81/c");
  EXPECT_EQ(base.resolve("//other/x"), "http://h//other/x");
  EXPECT_EQ(base.resolve("../c"), "http://h/a/../c");
  EXPECT_EQ(Url("http://h/s?q=a/b").resolve("n"), "http://h/s?q=a/n");
  EXPECT_EQ(base.resolve("mailto:x@y"), "mailto:x@y");
  EXPECT_EQ(base.resolve("news://n/g"), "news://n/g");
  EXPECT_EQ(Url("http://b/d/").resolve("https://h/"), "https://h/");
  EXPECT_EQ(Url("https://b/d/e").resolve("f"), "https://b/d/f");
  EXPECT_EQ(Url("relative").resolve("x"), "/x");
}

TEST(UrlHttps, SecureAddressesHaveHostPortPathAndResolveLikeHttp) {
  Url u("HTTPS://Secure.example:8443/a/b?q=1");
  EXPECT_EQ(u.scheme_code(), Url::https);
  EXPECT_EQ(u.host(), "Secure.example");
  EXPECT_EQ(u.port(), 8443);
  EXPECT_EQ(u.path(), "/a/b?q=1");
  EXPECT_EQ(u.resolve("/x"), "HTTPS://Secure.example:8443/x");
  EXPECT_EQ(u.resolve("c"), "HTTPS://Secure.example:8443/a/c");
  EXPECT_EQ(Url("https://h").path(), "/");
  EXPECT_EQ(Url("https://h").resolve("c"), "https://h/c");
  EXPECT_EQ(Url("https://h:x/").port(), 443);
  EXPECT_EQ(Url::default_port(Url::https), 443);
}

TEST(UrlEncoding, EncodeKeepsSafeSetAndEscapesTheRest) {
  EXPECT_EQ(url_encode("a b&c=d/e"), "a+b&c=d%2Fe");
  EXPECT_EQ(url_encode("\xe9"), "%E9");
  EXPECT_EQ(url_encode("~"), "%7E");
  EXPECT_EQ(url_encode("$-_@.&!*=%"), "$-_@.&!*=%");
  EXPECT_EQ(url_encode(""), "");
  EXPECT_EQ(url_encode("\x01\x7f"), "%01%7F");
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

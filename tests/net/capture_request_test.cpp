// parse_request: the request line, headers, when a request is complete, and the form fields.
#include <gtest/gtest.h>

#include <string>

#include "net/serve_connection.h"

namespace orvalis {
namespace {

Http_request_info_handle parse(const std::string& text) {
  return parse_request(text.data(), static_cast<std::int64_t>(text.size()));
}

TEST(Capture_request, AGetIsCompleteAtTheEmptyLine) {
  Http_request_info_handle r = parse("GET /x?q=1 HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_TRUE(r->complete);
  EXPECT_EQ(r->method, "get");
  EXPECT_EQ(r->path, "/x?q=1");
  EXPECT_EQ(r->headers.get("host"), "127.0.0.1");
  EXPECT_EQ(r->fields.count(), 0);
  EXPECT_TRUE(parse("GET / HTTP/1.0\n\n")->complete);
  EXPECT_FALSE(parse("GET / HTTP/1.0\r\nHost: x\r\n")->complete);
}

TEST(Capture_request, APostNeedsItsWholeBody) {
  const std::string head = "POST /submit HTTP/1.1\r\nCONTENT-length: 7\r\n\r\n";
  Http_request_info_handle partial = parse(head + "a=1&");
  EXPECT_FALSE(partial->complete);
  Http_request_info_handle r = parse(head + "a=1&b=2");
  ASSERT_TRUE(r->complete);
  EXPECT_EQ(r->method, "post");
  ASSERT_EQ(r->fields.count(), 2);
  EXPECT_EQ(r->fields[0].name, "a");
  EXPECT_EQ(r->fields[0].value, "1");
  EXPECT_EQ(r->fields[1].name, "b");
  EXPECT_EQ(r->fields[1].value, "2");
  // Bytes after the announced length are not part of the form.
  EXPECT_EQ(parse(head + "a=1&b=2&c=3")->fields.count(), 2);
}

TEST(Capture_request, APostWithoutContentLengthNeverCompletes) {
  EXPECT_FALSE(parse("POST / HTTP/1.0\r\nHost: x\r\n\r\na=1")->complete);
  EXPECT_FALSE(parse("POST / HTTP/1.0\r\nContent-Length: -4\r\n\r\na=1")->complete);
}

TEST(Capture_request, FieldValuesAreDecoded) {
  std::string body = "q=a%20b&p=a+b&flag&x=b=c&=v";
  Http_request_info_handle r = parse("POST / HTTP/1.0\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body);
  ASSERT_TRUE(r->complete);
  ASSERT_EQ(r->fields.count(), 4);
  EXPECT_EQ(r->fields[0].value, "a b");
  EXPECT_EQ(r->fields[1].value, "a+b");
  EXPECT_EQ(r->fields[2].name, "x");
  EXPECT_EQ(r->fields[2].value, "b");
  EXPECT_EQ(r->fields[3].name, "");
}

TEST(Capture_request, MalformedRequestsAreNotComplete) {
  EXPECT_FALSE(parse("GET /\r\n\r\n")->complete);                          // two pieces
  EXPECT_FALSE(parse("GET / HTTP/1.0\r\nno colon here\r\n\r\n")->complete);
  EXPECT_FALSE(parse("GET / HTTP/1.0\r\n: empty name\r\n\r\n")->complete);
  EXPECT_FALSE(parse("")->complete);
  std::string many = "GET / HTTP/1.0\r\n";
  for (int i = 0; i < kMax_request_header_lines + 1; ++i) many += "X-" + std::to_string(i) + ": v\r\n";
  EXPECT_FALSE(parse(many + "\r\n")->complete);
}

}  // namespace
}  // namespace orvalis

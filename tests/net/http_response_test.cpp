// Parsing of raw HTTP replies, the content length, and the status texts.
#include "net/http_response.h"

#include <gtest/gtest.h>

namespace orvalis {
namespace {

TEST(Parse_response, StatusReasonHeadersAndBody) {
  const char* text = "HTTP/1.0 404 Not Found\r\nServer: x\r\nContent-Length: 5\r\n\r\nhello";
  Http_response_handle r = parse_response(text);
  EXPECT_EQ(r->status, 404);
  EXPECT_EQ(r->reason, "Not Found");
  EXPECT_EQ(r->headers.get("server"), "x");
  ASSERT_TRUE(r->has_body());
  EXPECT_STREQ(text + r->body_offset, "hello");
  EXPECT_EQ(content_length(*r), 5);
}

TEST(Parse_response, NewerVersionsAndBareLineEndsReadTheSame) {
  Http_response_handle r = parse_response("HTTP/1.1 200 OK\nA: 1\rB:2\n\nbody");
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->reason, "OK");
  EXPECT_EQ(r->headers.get("a"), "1");
  EXPECT_EQ(r->headers.get("b"), "2");
  EXPECT_EQ(r->body_offset, 26);
}

TEST(Parse_response, TextWithoutStatusLineIsAWholeBody) {
  Http_response_handle r = parse_response("<html>hi</html>");
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->body_offset, 0);
}

TEST(Parse_response, MalformedStatusLinesAreUnusable) {
  EXPECT_EQ(parse_response("HTTP/1.0x 200 OK\r\n\r\n")->status, 0);
  EXPECT_EQ(parse_response("HTTP/1.0 OK\r\n\r\n")->status, 0);
  EXPECT_EQ(parse_response("HTTP/1")->status, 0);
  EXPECT_EQ(parse_response("http/1.0")->status, 0);
  EXPECT_EQ(parse_response(nullptr)->status, 0);
}

TEST(Parse_response, HeaderLineWithoutColonOrNameIsUnusable) {
  EXPECT_EQ(parse_response("HTTP/1.0 200 OK\r\nServer\r\n\r\nx")->status, 0);
  EXPECT_EQ(parse_response("HTTP/1.0 200 OK\r\n: v\r\n\r\nx")->status, 0);
}

TEST(Parse_response, LaterHeaderReplacesEarlierAndContinuationsArePassedOver) {
  Http_response_handle r = parse_response(
      "HTTP/1.0 302 Moved\r\nLocation: http://a/\r\n  folded text\r\nlocation: http://b/\r\n\r\n");
  EXPECT_EQ(r->status, 302);
  EXPECT_EQ(r->headers.get("Location"), "http://b/");
  EXPECT_EQ(r->headers.count(), 1);
}

TEST(Parse_response, TextEndingInsideHeadersHasNoBody) {
  Http_response_handle r = parse_response("HTTP/1.0 200 OK\r\nA: 1\r\n");
  EXPECT_EQ(r->status, 200);
  EXPECT_FALSE(r->has_body());
  Http_response_handle s = parse_response("HTTP/1.0 204 No Content");
  EXPECT_EQ(s->status, 204);
  EXPECT_EQ(s->reason, "No Content");
  EXPECT_FALSE(s->has_body());
}

TEST(Status_text, ExactStatusesAndFamilies) {
  EXPECT_EQ(status_text(404), "[NO TEXT: Document could not be found]");
  EXPECT_EQ(status_text(411), "[NO TEXT: Invalid username and password]");
  EXPECT_EQ(status_text(418), "[NO TEXT: Unknown Request Error]");
  EXPECT_EQ(status_text(504), "[NO TEXT: Gateway Timeout]");
  EXPECT_EQ(status_text(505), "[NO TEXT: Unknown Server Error]");
  EXPECT_EQ(status_text(302), "");
  EXPECT_EQ(transfer_failure_text(3), "[NO TEXT: Not enough time allocated for Network Connection]");
  EXPECT_EQ(transfer_failure_text(2), "[NO TEXT: Request did not complete successfully]");
}

}  // namespace
}  // namespace orvalis

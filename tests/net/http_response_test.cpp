// Parsing of raw HTTP replies and the content length.
#include "net/http_response.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace orvalis {
namespace {

// One row per reply shape: the status (0: unusable), reason, body offset (-1: no body) and
// the headers read, as "name=value" pairs.
TEST(Parse_response, Replies) {
  const struct {
    const char* text;
    int status;
    const char* reason;
    std::int64_t body_offset;
    std::vector<std::pair<const char*, const char*>> headers;
  } cases[] = {
      {"HTTP/1.0 404 Not Found\r\nServer: x\r\nContent-Length: 5\r\n\r\nhello", 404,
       "Not Found", 56, {{"server", "x"}, {"content-length", "5"}}},
      // Newer versions and bare line ends read the same.
      {"HTTP/1.1 200 OK\nA: 1\rB:2\n\nbody", 200, "OK", 26, {{"a", "1"}, {"b", "2"}}},
      // Text without a status line is a whole body.
      {"<html>hi</html>", 200, "", 0, {}},
      // A later header replaces an earlier one; continuation lines are passed over.
      {"HTTP/1.0 302 Moved\r\nLocation: http://a/\r\n  folded text\r\nlocation: http://b/\r\n\r\n",
       302, "Moved", 79, {{"Location", "http://b/"}}},
      // Text ending inside the headers has no body.
      {"HTTP/1.0 200 OK\r\nA: 1\r\n", 200, "OK", -1, {{"a", "1"}}},
      {"HTTP/1.0 204 No Content", 204, "No Content", -1, {}},
      // Malformed status lines and header lines are unusable.
      {"HTTP/1.0x 200 OK\r\n\r\n", 0, "", -1, {}},
      {"HTTP/1.0 OK\r\n\r\n", 0, "", -1, {}},
      {"HTTP/1", 0, "", -1, {}},
      {"http/1.0", 0, "", -1, {}},
      {"HTTP/1.0 200 OK\r\nServer\r\n\r\nx", 0, "", -1, {}},
      {"HTTP/1.0 200 OK\r\n: v\r\n\r\nx", 0, "", -1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Http_response_handle r = parse_response(c.text);
    EXPECT_EQ(r->status, c.status);
    if (c.status == 0) continue;
    EXPECT_EQ(r->reason, c.reason);
    EXPECT_EQ(r->has_body(), c.body_offset >= 0);
    if (c.body_offset >= 0) {
      EXPECT_EQ(r->body_offset, c.body_offset);
    }
    EXPECT_EQ(r->headers.count(), static_cast<int>(c.headers.size()));
    for (const auto& [name, value] : c.headers) EXPECT_EQ(r->headers.get(name), value) << name;
  }
  EXPECT_EQ(parse_response(nullptr)->status, 0);
  EXPECT_EQ(content_length(*parse_response(cases[0].text)), 5);
}

TEST(Parse_response, ZeroBytesAreTextAndTheHeadEndsWhereTheParseSaysHowEverItArrives) {
  const std::string texts[] = {
      std::string("HTTP/1.0 200 OK\r\nX: a\0b\r\n\r\nbody", 30),
      "HTTP/1.1 200 OK\nA: 1\rB:2\n\nbody",
      "HTTP/1.0 200 OK\r\nA: 1\r\rbody",
      "HTTP/1.0 204 No Content\r\n\r\n",
  };
  for (const std::string& text : texts) {
    Http_response_handle r = parse_response(text.data(), static_cast<std::int64_t>(text.size()));
    ASSERT_GT(r->status, 0) << text;
    Http_head_scanner one_by_one;
    for (char c : text) one_by_one.feed(&c, 1);
    ASSERT_TRUE(one_by_one.ended()) << text;
    EXPECT_EQ(static_cast<std::int64_t>(one_by_one.head().size()), r->body_offset) << text;
  }
  EXPECT_EQ(parse_response(texts[0].data(), 30)->headers.get("x"), Ref_string(std::string_view("a\0b", 3)));
}

}  // namespace
}  // namespace orvalis

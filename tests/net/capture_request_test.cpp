// parse_request: the request line, headers, when a request is complete, and the form fields.
#include <gtest/gtest.h>

#include <string>

#include "net/serve_connection.h"

namespace orvalis {
namespace {

Http_request_info_handle parse(const std::string& text) {
  return parse_request(text.data(), static_cast<std::int64_t>(text.size()));
}

// One row per request: whether it is complete, and then its form fields as name=value pairs
// joined by "&".
TEST(Capture_request, Requests) {
  const std::string post = "POST /submit HTTP/1.1\r\nCONTENT-length: 7\r\n\r\n";
  const std::string form = "q=a%20b&p=a+b&flag&x=b=c&=v";
  std::string many = "GET / HTTP/1.0\r\n";
  for (int i = 0; i < kMax_request_header_lines + 1; ++i) many += "X-" + std::to_string(i) + ": v\r\n";
  const struct {
    std::string text;
    bool complete;
    const char* fields;
  } cases[] = {
      {"GET /x?q=1 HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", true, ""},
      {"GET / HTTP/1.0\n\n", true, ""},
      {"GET / HTTP/1.0\r\nHost: x\r\n", false, ""},
      {post + "a=1&", false, ""},
      {post + "a=1&b=2", true, "a=1&b=2"},
      {post + "a=1&b=2&c=3", true, "a=1&b=2"},  // bytes past the length are not the form's
      {"POST / HTTP/1.0\r\nHost: x\r\n\r\na=1", false, ""},  // no length: never complete
      {"POST / HTTP/1.0\r\nContent-Length: -4\r\n\r\na=1", false, ""},
      {"POST / HTTP/1.0\r\nContent-Length: " + std::to_string(form.size()) + "\r\n\r\n" + form,
       true, "q=a b&p=a b&x=b&=v"},  // decoded as browsers encode forms; a name alone is dropped
      {"GET /\r\n\r\n", false, ""},
      {"GET / HTTP/1.0\r\nno colon here\r\n\r\n", false, ""},
      {"GET / HTTP/1.0\r\n: empty name\r\n\r\n", false, ""},
      {"", false, ""},
      {many + "\r\n", false, ""},
  };
  for (const auto& c : cases) {
    Http_request_info_handle r = parse(c.text);
    EXPECT_EQ(r->complete, c.complete) << c.text.substr(0, 80);
    if (!c.complete) continue;
    std::string fields;
    for (const Name_value& f : r->fields) fields += (fields.empty() ? "" : "&") + f.name.str() + "=" + f.value.str();
    EXPECT_EQ(fields, c.fields) << c.text;
  }
  Http_request_info_handle r = parse(cases[0].text);
  EXPECT_EQ(r->method, "get");
  EXPECT_EQ(r->path, "/x?q=1");
  EXPECT_EQ(r->headers.get("host"), "127.0.0.1");
  EXPECT_EQ(parse(cases[4].text)->method, "post");
}

}  // namespace
}  // namespace orvalis

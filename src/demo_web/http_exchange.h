// The demo web's side of HTTP: reading one request (HTTP/1.0 or 1.1, GET, HEAD or POST with a
// form body) and writing one answer that carries a Content-Length and closes the connection.
// read_request is pure, so it is tested straight on texts.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvalis::demo {

using Fields = std::vector<std::pair<std::string, std::string>>;

// Requests (request line, headers and body together) longer than this are dropped.
inline constexpr size_t kMax_request_bytes = 64 * 1024;

struct Http_request {
  std::string method;   // as sent: "GET", "HEAD" or "POST"
  std::string version;  // "HTTP/1.0" or "HTTP/1.1"
  std::string path;     // percent-decoded, without the query
  std::string query;    // after "?", as sent
  Fields headers;       // names lower-cased, in order
  std::string body;
  const std::string* header(std::string_view name) const;
};

struct Request_reading {
  // 0: the request has not fully arrived; 200: complete; otherwise the error status to
  // answer with (400 malformed, 411 a body without a length, 413 a body too long,
  // 501 a method or coding we do not serve, 505 another HTTP version).
  int status = 0;
  Http_request request;
};

Request_reading read_request(std::string_view data);

// Form fields of a query string or form body ("a=1&b=x+y"): "+" is a blank, "%XX" a byte.
Fields read_form(std::string_view encoded);
// The first value of `name` in `fields`, or empty.
std::string field_value(const Fields& fields, std::string_view name);
std::string percent_decode(std::string_view text, bool plus_is_blank);
// Encodes everything but letters, digits and "-_.~" as "%XX" (for query strings).
std::string percent_encode(std::string_view text);

struct Http_answer {
  int status = 200;
  std::string content_type = "text/html; charset=utf-8";
  std::string body;
  Fields headers;  // extra header lines
};

// The whole answer: status line in the request's version, Content-Type, Content-Length,
// "Connection: close", the extra headers, and the body unless `head_only`.
std::string format_answer(const Http_answer& answer, std::string_view version, bool head_only);
const char* reason_phrase(int status);

}  // namespace orvalis::demo

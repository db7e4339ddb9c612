#include "net/http_response.h"

#include <cstdlib>
#include <strings.h>

namespace orvalis {

namespace {
bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_line_end(char c) { return c == '\r' || c == '\n'; }
// Steps over one line end; CR LF counts as one.
const char* skip_line_end(const char* p) {
  if (*p == '\r') return p[1] == '\n' ? p + 2 : p + 1;
  if (*p == '\n') return p + 1;
  return p;
}
}  // namespace

Http_response_handle parse_response(const char* text) {
  Http_response_handle r = make_counted<Http_response>();
  if (!text) return r;
  if (strncasecmp(text, "http/", 5) != 0) {
    // No status line: the whole text is the body.
    r->status = 200;
    r->body_offset = 0;
    return r;
  }
  // The protocol and its version take exactly 8 characters ("HTTP/1.0").
  const char* p = text;
  for (int i = 0; i < 8; ++i, ++p)
    if (*p == '\0') return r;
  if (!is_blank(*p)) return r;
  while (is_blank(*p)) ++p;
  int status = 0, digits = 0;
  while (digits < 3 && *p >= '0' && *p <= '9') {
    status = status * 10 + (*p - '0');
    ++p;
    ++digits;
  }
  if (digits == 0) return r;
  while (is_blank(*p)) ++p;
  const char* reason = p;
  while (*p && !is_line_end(*p)) ++p;
  r->reason = Ref_string(reason, static_cast<int>(p - reason));
  if (*p == '\0') {
    r->status = status;  // no headers and no body
    return r;
  }
  // Header lines. p is at the line end of the previous line.
  for (;;) {
    p = skip_line_end(p);
    if (is_line_end(*p)) {
      // A second line end in a row: the body follows.
      p = skip_line_end(p);
      r->body_offset = p - text;
      break;
    }
    if (*p == '\0') break;  // the text ended inside the headers: no body
    const char* line = p;
    while (*p && !is_line_end(*p)) ++p;
    if (is_blank(*line)) continue;  // a continuation line is passed over
    const char* colon = line;
    while (colon < p && *colon != ':') ++colon;
    if (colon == p || colon == line) {
      r->headers = Name_value_list();
      r->reason = Ref_string();
      return r;  // a line without a name and a colon: unusable
    }
    const char* value = colon + 1;
    while (value < p && is_blank(*value)) ++value;
    r->headers.set(Ref_string(line, static_cast<int>(colon - line)),
                   Ref_string(value, static_cast<int>(p - value)));
    if (*p == '\0') break;
  }
  r->status = status;
  return r;
}

std::int64_t content_length(const Http_response& response) {
  Ref_string v = response.headers.get("content-length");
  if (v.empty()) return -1;
  return std::strtoll(v.c_str(), nullptr, 10);
}

Ref_string status_text(int status) {
  int id = 0;
  if (status >= 400 && status <= 499) id = 10197;
  if (status >= 500) id = 10198;
  if (status >= 400 && status <= 411) id = 10199 + (status - 400);
  if (status >= 500 && status <= 504) id = 10211 + (status - 500);
  return id ? Ref_string::from_id(id) : Ref_string();
}

Ref_string transfer_failure_text(int task_status) {
  return Ref_string::from_id(task_status == 3 ? 10216 : 10075);
}

}  // namespace orvalis

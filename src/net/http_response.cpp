#include "net/http_response.h"

#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <strings.h>

namespace orvalis {

namespace {
bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_line_end(char c) { return c == '\r' || c == '\n'; }
}  // namespace

Http_parse_work& http_parse_work() {
  static Http_parse_work work;
  return work;
}

Http_response_handle parse_response(const char* text) {
  return parse_response(text, text ? static_cast<std::int64_t>(std::strlen(text)) : 0);
}

Http_response_handle parse_response(const char* text, std::int64_t length) {
  Http_response_handle r = make_counted<Http_response>();
  Http_parse_work& work = http_parse_work();
  ++work.passes;
  if (!text) return r;
  const char* const end = text + (length > 0 ? length : 0);
  if (end - text < 5 || strncasecmp(text, "http/", 5) != 0) {
    // No status line: the whole text is the body.
    r->status = 200;
    r->body_offset = 0;
    work.bytes += end - text < 5 ? end - text : 5;
    return r;
  }
  r->has_status_line = true;
  // The protocol and its version take exactly 8 characters ("HTTP/1.0").
  const char* p = text + 8;
  if (p >= end || !is_blank(*p)) {
    work.bytes += 8;
    return r;
  }
  while (p < end && is_blank(*p)) ++p;
  int status = 0, digits = 0;
  while (digits < 3 && p < end && *p >= '0' && *p <= '9') {
    status = status * 10 + (*p - '0');
    ++p;
    ++digits;
  }
  if (digits == 0) {
    work.bytes += p - text;
    return r;
  }
  while (p < end && is_blank(*p)) ++p;
  const char* reason = p;
  while (p < end && !is_line_end(*p)) ++p;
  r->reason = Ref_string(std::string_view(reason, static_cast<size_t>(p - reason)));
  if (p == end) {
    r->status = status;  // no headers and no body
    work.bytes += p - text;
    return r;
  }

  // Header lines. A repeated name (in any letter case) replaces the value of the first pair
  // with that name, which keeps its place: an index by lower-cased name finds it at once.
  std::vector<Name_value> pairs;
  std::unordered_map<std::string, size_t> index;
  std::string key;
  auto skip_line_end = [end](const char* q) {
    if (q < end && *q == '\r') return q + 1 < end && q[1] == '\n' ? q + 2 : q + 1;
    if (q < end && *q == '\n') return q + 1;
    return q;
  };
  // p is at the line end of the previous line.
  for (;;) {
    p = skip_line_end(p);
    if (p < end && is_line_end(*p)) {
      // A second line end in a row: the body follows.
      p = skip_line_end(p);
      r->body_offset = p - text;
      break;
    }
    if (p == end) break;  // the text ended inside the headers: no body
    const char* line = p;
    while (p < end && !is_line_end(*p)) ++p;
    if (is_blank(*line)) continue;  // a continuation line is passed over
    const char* colon = static_cast<const char*>(std::memchr(line, ':', static_cast<size_t>(p - line)));
    if (!colon || colon == line) {
      work.bytes += p - text;
      return make_counted<Http_response>();  // a line without a name and a colon: unusable
    }
    const char* value = colon + 1;
    while (value < p && is_blank(*value)) ++value;
    key.assign(line, colon);
    for (char& c : key)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    work.bytes += 2 * static_cast<std::int64_t>(key.size());  // lower-cased, then hashed
    Ref_string v(std::string_view(value, static_cast<size_t>(p - value)));
    auto [at, fresh] = index.try_emplace(key, pairs.size());
    if (fresh)
      pairs.push_back({Ref_string(std::string_view(line, static_cast<size_t>(colon - line))), v});
    else
      pairs[at->second].value = v;
    if (p == end) break;
  }
  for (Name_value& h : pairs) r->headers.add(h.name, h.value);
  work.bytes += p - text;
  r->status = status;
  r->has_status_line = true;
  return r;
}

std::int64_t content_length(const Http_response& response) {
  Ref_string v = response.headers.get("content-length");
  int i = 0;
  while (i < v.length() && is_blank(v[i])) ++i;
  if (i == v.length() || v[i] < '0' || v[i] > '9') return -1;
  std::int64_t n = 0;
  for (; i < v.length() && v[i] >= '0' && v[i] <= '9'; ++i) {
    if (n > (std::int64_t{1} << 50)) return -1;  // no real body is this long
    n = n * 10 + (v[i] - '0');
  }
  return n;
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

bool Http_head_scanner::feed(const char* bytes, std::int64_t n) {
  for (std::int64_t i = 0; i < n && !ended_; ++i) {
    const char c = bytes[i];
    if (head_.size() < 8) {  // "HTTP/1.0": no line end counts here
      head_ += c;
      continue;
    }
    if (pending_cr_) {
      pending_cr_ = false;
      if (c == '\n') {  // CR LF: one line end
        head_ += c;
        ended_ = ++line_ends_ == 2;
        continue;
      }
      if (++line_ends_ == 2) {  // the CR alone was the second line end
        ended_ = true;
        break;
      }
    }
    if (c == '\r') {
      head_ += c;
      pending_cr_ = true;
      continue;
    }
    head_ += c;
    if (c == '\n')
      ended_ = ++line_ends_ == 2;
    else
      line_ends_ = 0;
  }
  return ended_;
}

}  // namespace orvalis

#include "net/serve_connection.h"

#include <climits>
#include <cstring>
#include <string_view>

#include "foundation/url.h"
#include "net/listen_connection.h"
#include "net/network_task.h"
#include "platform/clock.h"

namespace orvalis {

namespace {

Ref_string text_of(const char* text, std::int64_t from, std::int64_t to) {
  if (to <= from) return Ref_string();
  std::int64_t n = to - from;
  if (n > INT_MAX) n = INT_MAX;
  return Ref_string(std::string_view(text + from, static_cast<size_t>(n)));
}

bool line_end(char c) { return c == '\r' || c == '\n'; }

// The decimal value of a content-length; -1 when it is negative or too large to be real.
std::int64_t length_value(const Ref_string& value) {
  int i = 0;
  while (i < value.length() && (value[i] == ' ' || value[i] == '\t')) ++i;
  if (i < value.length() && value[i] == '-') return -1;
  if (i < value.length() && value[i] == '+') ++i;
  std::int64_t n = 0;
  for (; i < value.length() && value[i] >= '0' && value[i] <= '9'; ++i) {
    n = n * 10 + (value[i] - '0');
    if (n > (std::int64_t{1} << 40)) return -1;
  }
  return n;
}

// The form fields of a body: pieces between "&", each "name=value" (a piece without "=" is
// passed over; after a second "=" nothing counts), names and values decoded as browsers
// encode them.
void read_fields(std::string_view body, Ref_list<Name_value>& fields) {
  size_t at = 0;
  while (at <= body.size()) {
    size_t amp = body.find('&', at);
    std::string_view piece = body.substr(at, amp == std::string_view::npos ? std::string_view::npos : amp - at);
    size_t eq = piece.find('=');
    if (eq != std::string_view::npos) {
      std::string_view value = piece.substr(eq + 1);
      if (size_t second = value.find('='); second != std::string_view::npos) value = value.substr(0, second);
      fields.append({form_decode(Ref_string(piece.substr(0, eq))), form_decode(Ref_string(value))});
    }
    if (amp == std::string_view::npos) break;
    at = amp + 1;
  }
}

}  // namespace

Http_request_info_handle parse_request(const char* text, std::int64_t length) {
  Http_request_info_handle r = make_counted<Http_request_info>();
  if (!text || length <= 0) return r;

  // The request line: method, path and version, separated by spaces.
  std::int64_t i = 0;
  while (i < length && !line_end(text[i])) ++i;
  Ref_list<Ref_string> pieces = split(text_of(text, 0, i), ' ');
  if (pieces.count() <= 2) return r;
  r->method = pieces[0].lower();
  r->path = pieces[1];

  // Header lines, up to an empty line.
  for (int lines = 0;; ++lines) {
    int ends = 0;
    while (i < length && line_end(text[i]) && ends < 2) {
      if (text[i] == '\n') ++ends;
      ++i;
    }
    if (ends >= 2) break;
    if (lines >= kMax_request_header_lines) return r;
    std::int64_t start = i;
    while (i < length && !line_end(text[i])) ++i;
    if (i >= length) return r;  // the line has not fully arrived
    const void* colon = std::memchr(text + start, ':', static_cast<size_t>(i - start));
    if (!colon || colon == text + start) return r;  // not a header line
    std::int64_t c = static_cast<const char*>(colon) - text;
    std::int64_t v = c + 1;
    while (v < i && (text[v] == ' ' || text[v] == '\t')) ++v;
    r->headers.set(text_of(text, start, c).lower(), text_of(text, v, i));
  }
  r->body_start = i;

  if (r->method == "get") {
    r->complete = true;
    return r;
  }
  if (!r->headers.has("content-length")) return r;
  std::int64_t body_length = length_value(r->headers.get("content-length"));
  if (body_length < 0 || length - i < body_length) return r;
  r->complete = true;
  read_fields(std::string_view(text + i, static_cast<size_t>(body_length)), r->fields);
  return r;
}

Http_request_info_handle parse_request(Byte_buffer& buffer) {
  return parse_request(buffer.contents(), buffer.length());
}

Serve_connection::Serve_connection(Network_task* client, int socket,
                                   const Counted_handle<Capture_handler>& handler)
    : Net_connection(client, Ref_string()), handler_(handler) {
  adopt_socket(socket);
}

bool Serve_connection::handle_event(int message, std::uintptr_t word, std::int64_t lparam) {
  if (message != message_timer) return Net_connection::handle_event(message, word, lparam);
  if (state_ != closed && platform::now() - last_activity_ > kIdle_seconds) {
    failure_reason_ = "the browser sent nothing for " + Ref_string::number(kIdle_seconds) + " seconds";
    close();
    if (client_) client_->on_timeout();
  }
  return false;
}

void Serve_connection::start() {
  last_activity_ = platform::now();
  receive(-1);
}

bool Serve_connection::is_complete() {
  const std::int64_t length = received_->length();
  if (length != parsed_length_) last_activity_ = platform::now();
  if (length > kMax_request_bytes) return true;
  if (request_ && request_->complete) return true;
  if (length == parsed_length_) return false;
  const char* text = received_->contents();
  // Before the headers have ended only a new line end can change the outcome.
  if (request_ && request_->body_start < 0 && parsed_length_ > 0 &&
      !std::memchr(text + parsed_length_, '\n', static_cast<size_t>(length - parsed_length_))) {
    parsed_length_ = length;
    return false;
  }
  request_ = parse_request(text, length);
  parsed_length_ = length;
  return request_->complete;
}

Ref_string Serve_connection::answer(const Ref_string& html) {
  return "HTTP/1.0 200 OK\r\nContent-type: text/html\r\nContent-length: " +
         Ref_string::number(html.length()) + "\r\n\r\n" + html;
}

Ref_string Serve_connection::not_found() {
  return "HTTP/1.0 404 Not Found\r\nContent-type: text/html\r\nContent-length: 0\r\n\r\n";
}

void Serve_connection::on_received() {
  if (!request_ || !request_->complete) {
    // Grew too long without completing: no answer.
    failure_reason_ = "the request grew past " + Ref_string::number(kMax_request_bytes) + " bytes";
    fail();
    return;
  }
  answering_ = true;
  Ref_string html;
  const bool taken = handler_ && handler_->handle_request(*request_, html);
  if (state_ == closed) return;  // the handler ended the capture, this connection with it
  send(taken || !html.empty() ? answer(html) : not_found());
  if (taken && on_taken_) on_taken_();
}

void Serve_connection::on_sent() { succeed(); }

void Serve_connection::on_peer_closed() {
  if (failure_reason_.empty()) failure_reason_ = "the browser closed the connection";
  fail();
}

}  // namespace orvalis

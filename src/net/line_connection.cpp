#include "net/line_connection.h"

#include <cstring>

#include "foundation/url.h"

namespace orvalis {

Line_connection::Line_connection(Network_task* client, const Ref_string& url, const Ref_string& host,
                                 int port)
    : Net_connection(client, url), host_(host), port_(port) {}

Ref_string Line_connection::lookup_host() const { return host_.empty() ? Url(url_).host() : host_; }

void Line_connection::start() {
  Net_connection::start();
  resolve(lookup_host());
}

void Line_connection::on_resolved() { connect(port_); }

void Line_connection::on_connected() { receive_more(); }

void Line_connection::on_sent() {
  receive_more();
  // Lines that came with the previous reply are not announced again by the socket.
  if (state_ == receiving && is_complete()) {
    set_state(received);
    on_received();
  }
}

void Line_connection::on_peer_closed() { fail(); }

bool Line_connection::is_complete() { return has_line() || line_too_long(); }

bool Line_connection::has_line() {
  std::int64_t length = received_->length();
  if (length - consumed_ < 2) return false;
  const char* text = received_->contents();
  // Only the bytes not searched before (less one: a CR may end the previous search).
  std::int64_t from = scanned_ > consumed_ + 1 ? scanned_ - 1 : consumed_;
  const void* found = std::memchr(text + from, '\r', static_cast<size_t>(length - from));
  while (found) {
    std::int64_t at = static_cast<const char*>(found) - text;
    if (at + 1 < length && text[at + 1] == '\n') {
      scanned_ = at;
      return true;
    }
    if (at + 1 >= length) break;
    found = std::memchr(text + at + 1, '\r', static_cast<size_t>(length - at - 1));
  }
  scanned_ = length;
  return false;
}

bool Line_connection::take_line(Ref_string& line) {
  if (!has_line()) return false;
  const char* text = received_->contents();
  // has_line left scanned_ on the CR of the first delimiter.
  line = Ref_string(text + consumed_, static_cast<int>(scanned_ - consumed_));
  consumed_ = scanned_ + 2;
  scanned_ = consumed_;
  return true;
}

bool Line_connection::line_too_long() const {
  return received_->length() - consumed_ > kMax_line_bytes + 1;
}

void Line_connection::compact_lines() {
  if (consumed_ == 0) return;
  std::int64_t length = received_->length();
  Byte_buffer_handle rest = make_counted<Byte_buffer>();
  if (consumed_ < length) rest->append(received_->contents() + consumed_, length - consumed_);
  received_ = rest;
  scanned_ -= consumed_;
  if (scanned_ < 0) scanned_ = 0;
  consumed_ = 0;
}

void Line_connection::receive_more() {
  compact_lines();
  receive(-1);
}

}  // namespace orvalis

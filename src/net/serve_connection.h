// Serve_connection answers one HTTP request on a socket accepted by the capture listener: it
// reads until parse_request says the request is complete, asks the capture handler for the
// HTML to show, sends "HTTP/1.0 200 OK" with the content type and length and that HTML, and
// closes. It never completes its task (the capture ends it with cancel_requests) and has no
// time-out. A request that grows past kMax_request_bytes without completing is closed
// unanswered; the listener and the other connections go on.
//
// parse_request reads the request line (method lower-cased, path as sent), the header lines
// (names lower-cased, a repeated name replaces the earlier value) and, for a method other than
// GET, a form-encoded body of exactly content-length bytes into (name, decoded value) fields.
// It is pure, so the fuzz target calls it directly.
//
// Made by the listener for each accepted socket; owned by its Network_task; event-loop thread.
// REQUIRES: the socket is non-blocking and was armed on the network layer's messages.
#pragma once

#include <cstdint>

#include "foundation/counted_object.h"
#include "foundation/name_value_list.h"
#include "net/net_connection.h"

namespace orvalis {

class Capture_handler;

class Http_request_info : public Counted_object {
 public:
  Name_value_list headers;   // names lower-cased
  Ref_list<Name_value> fields;  // form fields in order, values url-decoded
  bool complete = false;
  Ref_string method;  // lower-cased
  Ref_string path;    // as sent, not decoded
  // Offset of the first byte after the headers' empty line; -1 until the headers have ended.
  std::int64_t body_start = -1;
};
using Http_request_info_handle = Counted_handle<Http_request_info>;

// Most header lines read; a request with more never completes.
inline constexpr int kMax_request_header_lines = 256;

// Parses `length` bytes of a request (zero bytes included). Never fails: a request that is
// malformed or has not fully arrived has complete = false.
Http_request_info_handle parse_request(const char* text, std::int64_t length);
Http_request_info_handle parse_request(Byte_buffer& buffer);

class Serve_connection : public Net_connection {
 public:
  // A request that has not completed within this many bytes is dropped.
  static constexpr std::int64_t kMax_request_bytes = 1048576;

  Serve_connection(Network_task* client, int socket, const Counted_handle<Capture_handler>& handler);

  // Reads without a read limit (no start time: the connection has no time-out).
  void start() override;
  // Parses what has arrived; complete when the request is, or when it has grown too long.
  bool is_complete() override;
  // Answers a complete request; closes an overlong one without an answer.
  void on_received() override;
  // The answer has gone out: close.
  void on_sent() override;
  // The browser went away: nothing more to do.
  void on_peer_closed() override {}

  // The answer for an HTML text.
  static Ref_string answer(const Ref_string& html);
  const Http_request_info_handle& request() const { return request_; }

 private:
  Http_request_info_handle request_;
  Counted_handle<Capture_handler> handler_;
  std::int64_t parsed_length_ = 0;  // received length at the last parse
};

}  // namespace orvalis

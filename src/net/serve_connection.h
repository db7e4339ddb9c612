// Serve_connection answers one HTTP request on a socket accepted by the capture listener: it
// reads until parse_request says the request is complete, asks the capture handler whether it
// takes the request and for the HTML to show, sends "HTTP/1.0 200 OK" with the content type
// and length and that HTML (or "404 Not Found" for a request not taken and without HTML), and
// closes; its task then succeeds. When the handler took the request, the listener is told
// (set_taken_callback). A request that grows past kMax_request_bytes without completing is
// closed unanswered, a connection that brings no byte for kIdle_seconds (the platform clock) is
// closed, and a browser that goes away ends it; each of these fails or times out its task. The
// listener and the other connections go on. It never takes one of the agent's transfer slots.
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
#include <functional>

#include "foundation/counted_object.h"
#include "foundation/name_value_list.h"
#include "net/net_connection.h"

namespace orvalis {

class Capture_handler;

class Http_request_info : public Counted_object {
 public:
  Name_value_list headers;   // names lower-cased
  Ref_list<Name_value> fields;  // form fields in order, names and values form-decoded
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
  // Seconds without a byte from the browser after which the connection is closed.
  static constexpr int kIdle_seconds = 30;

  Serve_connection(Network_task* client, int socket, const Counted_handle<Capture_handler>& handler);

  // On the one-second tick: closes the connection once it has been idle too long. Never
  // claims the tick, so the transfers' time-outs are checked as if it were not there.
  bool handle_event(int message, std::uintptr_t word, std::int64_t lparam) override;
  // Reads without a read limit; the idle time counts from here.
  void start() override;
  // Parses what has arrived; complete when the request is, or when it has grown too long.
  bool is_complete() override;
  // Answers a complete request; closes an overlong one without an answer.
  void on_received() override;
  // The answer has gone out: close; the task succeeds.
  void on_sent() override;
  // The browser went away: the task fails.
  void on_peer_closed() override;
  bool takes_transfer_slot() const override { return false; }

  // Called once the handler has taken this connection's request.
  void set_taken_callback(std::function<void()> callback) { on_taken_ = std::move(callback); }
  // True from the moment a complete request is being answered.
  bool answering() const { return answering_; }
  // When the browser last sent a byte (or the connection was accepted), platform clock.
  std::int64_t last_activity() const { return last_activity_; }

  // The answer for an HTML text, and the answer to a request nobody takes.
  static Ref_string answer(const Ref_string& html);
  static Ref_string not_found();
  const Http_request_info_handle& request() const { return request_; }

 private:
  Http_request_info_handle request_;
  Counted_handle<Capture_handler> handler_;
  std::function<void()> on_taken_;
  std::int64_t parsed_length_ = 0;  // received length at the last parse
  std::int64_t last_activity_ = 0;
  bool answering_ = false;
};

}  // namespace orvalis

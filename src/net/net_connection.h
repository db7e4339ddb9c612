// Net_connection is the base of every connection: the state machine that looks a host up,
// connects, sends a request text, gathers the reply into a Byte_buffer and closes, driven one
// step per event by the network layer's dispatch. Protocols (HTTP, FTP, gopher, the capture
// listener) derive from it and fill in the on_* steps; the base steps stay shared.
//
// Owned by its Network_task (the client), which it tells of its end through on_error,
// on_timeout or on_success, always after closing itself. Every state change goes through
// set_state, which can trace the move (set_net_trace).
//
// A connection that fails or times out keeps the reason in words (failure_reason: "the
// connection to 127.0.0.1:8080 was refused", "timed out after 30 seconds"), so that the task and
// the front-ends can say why a transfer did not work.
//
// Byte I/O goes through write_bytes/read_bytes, which a secure transport overrides; during a
// handshake such a transport arms the socket for what it waits for (arm) and claims the
// events in its own handle_event before the base sees them.
//
// User-interface (event-loop) thread only.
// REQUIRES: the client outlives the connection's calls into it (the dispatch holds it).
#pragma once

#include <netinet/in.h>

#include <cstdint>

#include "foundation/byte_buffer.h"
#include "foundation/ref_string.h"
#include "net/http_response.h"

namespace orvalis {

class Network_task;

class Net_connection {
 public:
  // The numbers are compared by the admission check and by subclasses.
  enum State : int {
    created = 0,         // nothing done yet
    resolving = 1,       // asynchronous look-up pending
    resolved = 2,        // address known
    lookup_failed = 3,   // the look-up said no
    connecting = 4,      // connect under way
    connected = 5,       // connect done
    connect_failed = 6,  // connect refused or broken
    sending = 7,         // request text going out
    sent = 8,            // request text gone
    send_failed = 9,     // write error
    receiving = 10,      // reading the reply
    received = 11,       // read limit reached, or a subclass said the input is complete
    receive_failed = 12, // read error
    listening = 13,      // a listening socket
    closed = 14,         // socket closed; nothing more happens
  };
  static constexpr int kRead_block = 2000;

  Net_connection(Network_task* client, const Ref_string& url);
  virtual ~Net_connection();
  Net_connection(const Net_connection&) = delete;
  Net_connection& operator=(const Net_connection&) = delete;

  // The event step; true when the message was this connection's.
  virtual bool handle_event(int message, std::uintptr_t word, std::int64_t lparam);
  // Records the start time; protocols then begin their dialogue.
  virtual void start();
  virtual void close();
  virtual void on_resolved() {}
  virtual void on_connected() {}
  virtual void on_sent() {}
  virtual void on_received() {}
  virtual void on_accept() {}
  virtual void on_peer_closed() {}
  // True when a read limit is set and reached.
  virtual bool is_complete();
  // close, then the client's on_error / on_timeout / on_success.
  virtual void fail();
  virtual void time_out();
  virtual void succeed();
  // HTTP's request settings; nothing in the base.
  virtual void add_header(const Ref_string&, const Ref_string&) {}
  virtual void add_field(const Ref_string&, const Ref_string&) {}
  virtual void set_method(int) {}
  virtual void set_redirect(const Ref_string&) {}
  virtual Ref_string redirect() const { return Ref_string(); }
  virtual void dump_request() {}
  // The reply parsed while it arrived (HTTP); null when the protocol has none.
  virtual Http_response_handle response() const { return Http_response_handle(); }
  // False for the capture listener and the connections it serves: they never take one of the
  // agent's transfer slots (network_admission counts only the others).
  virtual bool takes_transfer_slot() const { return true; }

  // Why the connection failed or timed out, in words; empty while nothing went wrong.
  const Ref_string& failure_reason() const { return failure_reason_; }
  void set_failure_reason(const Ref_string& why) { failure_reason_ = why; }
  // Reports `why` as a warning, keeps it as the reason, then fails.
  void fail_because(const Ref_string& why);

  // Steps the subclasses call.
  bool resolve(const Ref_string& host);
  // port -1: the URL's port.
  bool connect(int port);
  bool send(const Ref_string& text);
  // limit < 1: no limit.
  bool receive(std::int64_t limit);
  // Closes the connection and reports text + "  (" + code + ")" as a warning.
  void report_network_error(const Ref_string& text, int code);
  void report_network_error(const Ref_string& text);

  Network_task* client() const { return client_; }
  void set_client(Network_task* c) { client_ = c; }
  const Ref_string& url() const { return url_; }
  void set_url(const Ref_string& u) { url_ = u; }
  State state() const { return state_; }
  std::int64_t started() const { return started_; }
  void set_started(std::int64_t s) { started_ = s; }
  std::int64_t elapsed() const { return elapsed_; }
  int timeout() const { return timeout_; }
  void set_timeout(int seconds) { timeout_ = seconds; }
  const Ref_string& outgoing() const { return outgoing_; }
  std::int64_t bytes_sent() const { return sent_; }
  const Byte_buffer_handle& received_buffer() const { return received_; }
  std::int64_t read_limit() const { return read_limit_; }
  std::uint32_t address() const { return address_; }
  int socket() const { return socket_; }
  int lookup_handle() const { return lookup_handle_; }
  const sockaddr_in& peer() const { return peer_; }

 protected:
  void set_state(State s);
  // Arms this connection's socket for `events` (Net_event bits); 0 or an errno value.
  int arm(unsigned events);
  // The connection's byte I/O: bytes moved, or -1 with errno set (EAGAIN: try later).
  virtual long write_bytes(const char* bytes, long n);
  virtual long read_bytes(char* into, long n);
  // Keeps n bytes that a read brought, each kRead_block as its own chunk of the received
  // buffer; a protocol that decodes what arrives (HTTP's Content-Encoding) overrides it.
  virtual void take_received(const char* bytes, long n);
  // Reads what is left after the peer closed, then closes the socket.
  void drain();
  // "127.0.0.1:8080": the peer's address and port, for reasons.
  Ref_string peer_text() const;
  // Takes over a socket made elsewhere (an accepted or listening socket).
  void adopt_socket(int fd) { socket_ = fd; }
  void close_socket();

  Network_task* client_;
  Ref_string url_;
  State state_ = created;
  Ref_string outgoing_;
  std::int64_t started_ = 0;
  std::int64_t elapsed_ = 0;
  int timeout_ = -1;
  std::int64_t sent_ = 0;
  Byte_buffer_handle received_;
  std::int64_t read_limit_ = -1;
  Ref_string lookup_name_;
  int lookup_handle_ = 0;
  std::uint32_t address_ = 0;
  int socket_ = -1;
  sockaddr_in peer_{};
  Ref_string failure_reason_;

 private:
  void on_socket_event(unsigned event, int error);
  void read_step();
  void write_step();
};

}  // namespace orvalis

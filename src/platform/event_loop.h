// Event_loop is the one place where the program waits: readiness of sockets, repeating timers,
// callbacks posted for later, and asynchronous host look-ups all arrive here and are handed to
// their handlers on the loop's thread, one at a time. Nothing a handler is given blocks.
//
// Sockets are armed for a set of events; each arming replaces the previous set (arming with
// 0 stops the events). The five events and what they mean here:
//   read    (1)  bytes can be read
//   write   (2)  bytes can be written
//   accept  (8)  a listening socket has a connection waiting
//   connect (16) a connect has ended: delivered once, its error is the socket's SO_ERROR
//   close   (32) the peer has ended the stream (nothing left to read) or hung up
// Errors are errno values; 0 means none. An event is delivered only while it is armed.
//
// Host look-ups find the first IPv4 address of a name (the hosts file first, then DNS); a
// look-up has a handle, its reply comes later through the loop like any other event, and a
// cancelled look-up never replies.
//
// The engine reaches the loop through current_event_loop(); the command line and the tests
// use the epoll loop made by make_epoll_loop(), a windowed front-end installs its own.
// Threads: everything runs on the loop's thread, except post(), which any thread may call.
// REQUIRES: a socket is disarmed (arm_socket(fd, 0) or forget_socket) before it is closed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace orvalis::platform {

enum Socket_event : unsigned {
  event_read = 1,
  event_write = 2,
  event_accept = 8,
  event_connect = 16,
  event_close = 32,
};

class Event_loop {
 public:
  // (socket, one event, errno value or 0)
  using Socket_handler = std::function<void(int, unsigned, int)>;
  using Callback = std::function<void()>;
  // (look-up handle, 0 or the resolver's error status (> 0), IPv4 address in network order)
  using Lookup_handler = std::function<void(int, int, std::uint32_t)>;

  virtual ~Event_loop() = default;

  // Arms `fd` for `events` (0 disarms), replacing what it was armed for before; the handler
  // replaces the previous one too. Returns 0 or an errno value.
  virtual int arm_socket(int fd, unsigned events, Socket_handler handler) = 0;
  // Drops everything the loop keeps for `fd` (call before closing it).
  virtual void forget_socket(int fd) = 0;

  // A timer that calls `handler` every `period_ms` milliseconds of real time. Returns its id
  // (> 0), or -1 when no timer could be made.
  virtual int add_timer(int period_ms, Callback handler) = 0;
  virtual void remove_timer(int id) = 0;

  // Runs `callback` on the loop's thread at its next turn. Any thread may post.
  virtual void post(Callback callback) = 0;

  // Starts a look-up of `host`; returns its handle (> 0), or 0 when none could be started.
  virtual int lookup_host(const char* host, Lookup_handler handler) = 0;
  // The look-up with this handle will not reply. Unknown handles are ignored.
  virtual void cancel_lookup(int handle) = 0;
  // The name servers used for look-ups that the hosts file does not answer, as
  // "address:port,address:port"; the system's list when never set. Look-ups pending at the
  // change end with an error. Returns 0 or an error.
  virtual int set_name_servers(const char* servers) = 0;

  // Waits up to `timeout_ms` (-1: without limit) for something to happen and handles what
  // has happened. Returns false when the loop was stopped.
  virtual bool run_once(int timeout_ms) = 0;
  // Runs until stop() is called.
  virtual void run() = 0;
  // Ends run() after the current turn; run() may be called again later.
  virtual void stop() = 0;
};

// The epoll loop (sockets, timers, posted callbacks, c-ares look-ups).
std::unique_ptr<Event_loop> make_epoll_loop();

// The loop the engine uses: the one installed with set_current_event_loop, else a process
// default epoll loop made on first need.
Event_loop& current_event_loop();
// Installs `loop` (not owned; null returns to the default loop).
void set_current_event_loop(Event_loop* loop);

}  // namespace orvalis::platform

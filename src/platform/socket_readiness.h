// How a socket's readiness becomes the events armed on it: the one reading of readiness that
// every Event_loop shares (the epoll loop here, the window's notifier loop), so that a
// connect, a hang-up with bytes still queued or an end of stream means the same to a handler
// whichever loop runs it. Readiness is given in poll(2) bits (POLLIN, POLLOUT, POLLRDHUP,
// POLLHUP, POLLERR); epoll's bits have the same values.
// Owner: the loop that woke; thread: the loop's thread.
// REQUIRES: the socket is present (armed, not forgotten) when dispatch_readiness is called.
#pragma once

namespace orvalis::platform {

// The loop's side of one socket while its readiness is handed out. The handlers that
// deliver() calls may re-arm, forget or close the socket: every call after a delivery asks
// present() first.
class Ready_socket {
 public:
  virtual ~Ready_socket() = default;
  // The socket is still the one that woke: not forgotten, nor a new one with its number.
  virtual bool present() const = 0;
  // The Socket_event bits armed now.
  virtual unsigned armed() const = 0;
  // Takes event_connect out of the armed bits: a connect is reported once.
  virtual void drop_connect() = 0;
  // Hands one event to the socket's handler.
  virtual void deliver(unsigned event, int error) = 0;
  // Watches the descriptor for what is armed now.
  virtual void watch_armed() = 0;
  // Stops watching the descriptor (it stays armed): a hang-up would otherwise be reported
  // at every turn.
  virtual void watch_nothing() = 0;
};

// Delivers what `ready` (poll bits) means for the events armed on `fd`.
void dispatch_readiness(int fd, unsigned ready, Ready_socket& socket);

}  // namespace orvalis::platform

// The host look-ups of an Event_loop: one c-ares channel (made on first need), look-ups by
// handle whose replies go out through the loop's post(), never from inside the resolver, and
// the channel's own sockets handed to the loop to watch. Both event loops (epoll, and the
// window's notifiers) own one.
// Owner: the event loop; thread: the loop's thread.
// REQUIRES: the loop calls process() when a socket it watches for the resolver is ready, and
// process_timeouts() at least every next_timeout_ms() while pending().
#pragma once

#include <ares.h>

#include <functional>
#include <string>
#include <unordered_map>

#include "platform/event_loop.h"

namespace orvalis::platform {

class Host_resolver {
 public:
  // Watches a socket of the channel for reading and/or writing; both false: forgets it.
  using Watch = std::function<void(int fd, bool readable, bool writable)>;
  using Post = std::function<void(Event_loop::Callback)>;

  Host_resolver(Watch watch, Post post) : watch_(std::move(watch)), post_(std::move(post)) {}
  ~Host_resolver() { close(); }
  Host_resolver(const Host_resolver&) = delete;
  Host_resolver& operator=(const Host_resolver&) = delete;

  // As Event_loop::lookup_host, cancel_lookup and set_name_servers.
  int lookup(const char* host, Event_loop::Lookup_handler handler);
  void cancel(int handle) { lookups_.erase(handle); }
  int set_name_servers(const char* servers);

  // A socket of the channel is ready (poll bits).
  void process(int fd, unsigned ready);
  // Time-outs and retries of the pending look-ups.
  void process_timeouts();
  bool pending() const { return channel_ && !lookups_.empty(); }
  // Milliseconds until process_timeouts() is next needed; -1 when nothing is pending.
  long next_timeout_ms();
  // Ends the channel: pending look-ups never reply. The loop calls it before it tears down
  // what watch() reaches.
  void close();

 private:
  bool ensure_channel();
  static void socket_state(void* data, ares_socket_t fd, int readable, int writable);
  static void lookup_done(void* arg, int status, int timeouts, struct hostent* host);

  Watch watch_;
  Post post_;
  ares_channel channel_ = nullptr;
  bool channel_failed_ = false;
  std::string servers_;
  std::unordered_map<int, Event_loop::Lookup_handler> lookups_;
  int next_lookup_ = 1;
};

}  // namespace orvalis::platform

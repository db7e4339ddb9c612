// The capture listener: a small local HTTP server that receives a browser's form submission
// while a search engine is captured. start_capture_listener opens a listening socket on the
// loopback address only (127.0.0.1; nothing from another machine can reach it) and returns a
// task whose Listen_connection accepts each browser connection and hands it to a new task
// with a Serve_connection.
//
// A browser opens sockets before it has anything to send (preconnects) and may ask for other
// things first (a favicon), so the listener keeps accepting until a connection brings a
// complete request that the capture handler takes. A one-shot listener then ends (success,
// listening socket closed, the connections still waiting for a request closed); the one that
// was taken finishes its answer. At most kMax_served browser connections are served at once:
// one more makes room by closing the one idle longest. Each closes after
// Serve_connection::kIdle_seconds without a byte from the browser.
//
// Neither the listener nor the connections it serves take one of the agent's transfer slots,
// and neither has a time-out of its own; the capture ends the listener with cancel_requests,
// which also ends its served connections that are not answering.
//
// Capture_handler is what the capture supplies: given a complete request (method, path,
// headers, form fields), it says whether this is the submission it waited for and gives the
// HTML to show in the browser.
//
// Owned by their Network_tasks; event-loop thread only.
// REQUIRES: the listener's task is activated with activate_request before connections come.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "foundation/counted_object.h"
#include "foundation/name_value_list.h"
#include "net/net_connection.h"
#include "net/network.h"
#include "net/serve_connection.h"

namespace orvalis {

class Capture_handler : public Counted_object {
 public:
  // One complete request from the browser. Fills `html` with the page to show and returns
  // true when this request is the one the capture waited for. A request not taken is
  // answered with `html` when the handler gave some, else with "404 Not Found".
  virtual bool handle_request(const Http_request_info& request, Ref_string& html) = 0;
};
using Capture_handler_handle = Counted_handle<Capture_handler>;

// A handler made of a function, for a caller that needs no class of its own.
using Capture_function = std::function<bool(const Http_request_info& request, Ref_string& html)>;
Capture_handler_handle make_capture_handler(Capture_function function);

class Listen_connection : public Net_connection {
 public:
  // Browser connections served at once.
  static constexpr int kMax_served = 16;

  Listen_connection(Network_task* client, const Capture_handler_handle& handler, bool one_shot);
  ~Listen_connection() override;

  // Takes over a listening socket bound to `port`; the state becomes listening.
  void listen_on(int socket, int port);
  // Records the start time and arms the listening socket again.
  void start() override;
  // Accepts one browser connection and starts a task that serves it.
  void on_accept() override;
  // Closes the listening socket and ends the served connections that are not answering.
  void close() override;
  bool takes_transfer_slot() const override { return false; }

  int port() const { return port_; }
  bool one_shot() const { return one_shot_; }
  // Browser connections being served now.
  int served_count();

 private:
  void forget_finished();
  void request_taken(Network_task* serving);

  int port_ = 0;
  Capture_handler_handle handler_;
  bool one_shot_;
  std::vector<Network_task_handle> served_;
  // Cleared when the listener is destroyed, for the served connections' calls back.
  std::shared_ptr<bool> alive_;
};

// A task whose connection listens on 127.0.0.1:`port` (0: any free port; the port bound is
// written back). With `one_shot`, the task ends with the first request the handler takes;
// otherwise it listens until it is cancelled. Null when the listening socket could not be
// opened (already reported).
Network_task_handle start_capture_listener(int& port, const Capture_handler_handle& handler,
                                           bool one_shot);

}  // namespace orvalis

// The capture listener: a small local HTTP server that receives a browser's form submission
// while a search engine is captured. start_capture_listener opens a listening socket on the
// loopback address only (127.0.0.1; nothing from another machine can reach it) and returns a
// task whose Listen_connection accepts each browser connection and hands it to a new task
// with a Serve_connection. A one-shot listener ends (success, listening socket closed) with its
// first accepted connection, so a second browser connection finds nobody listening.
//
// Capture_handler is what the capture supplies: given the request path (twice, as the capture
// expects it) and the submitted fields, it returns the HTML to show in the browser.
//
// Neither connection has a time-out; the capture ends their tasks with cancel_requests.
// Owned by their Network_tasks; event-loop thread only.
// REQUIRES: the listener's task is activated with activate_request before connections come.
#pragma once

#include "foundation/counted_object.h"
#include "foundation/name_value_list.h"
#include "net/net_connection.h"
#include "net/network.h"

namespace orvalis {

class Capture_handler : public Counted_object {
 public:
  // The HTML answer to one submission.
  virtual Ref_string handle_request(const Ref_string& path, const Ref_string& path_again,
                                    const Ref_list<Name_value>& fields) = 0;
};
using Capture_handler_handle = Counted_handle<Capture_handler>;

class Listen_connection : public Net_connection {
 public:
  Listen_connection(Network_task* client, const Capture_handler_handle& handler, bool one_shot);

  // Takes over a listening socket bound to `port`; the state becomes listening.
  void listen_on(int socket, int port);
  // Records the start time and arms the listening socket again.
  void start() override;
  // Accepts one browser connection and starts a task that serves it.
  void on_accept() override;

  int port() const { return port_; }
  bool one_shot() const { return one_shot_; }

 private:
  int port_ = 0;
  Capture_handler_handle handler_;
  bool one_shot_;
};

// A task whose connection listens on 127.0.0.1:`port` (0: any free port; the port bound is
// written back). Null when the listening socket could not be opened (already reported).
Network_task_handle start_capture_listener(int& port, const Capture_handler_handle& handler,
                                           bool one_shot);

}  // namespace orvalis

// Network_task is the agent task that owns one network connection: it gives the connection
// its URL (set_url chooses the connection class), is ready when the host spacing and the
// admission limits allow, launches the connection, and ends through one of three completions
// (on_success, on_error, on_timeout) that set its status and run the common finish: abort,
// off the active list, process_result, then the completion listener if one is set.
//
// Shared through Network_task_handle (the task manager, the network layer's active list while
// its request is in flight). The connection is owned by the task. Event-loop thread only.
// REQUIRES: made with make_counted; a derived task configures the connection after set_url
// and before activate_request.
#pragma once

#include <functional>
#include <memory>

#include "foundation/agent_task.h"
#include "net/net_connection.h"
#include "net/network.h"

namespace orvalis {

// Called once with the task after its result has been processed.
class Completion_listener : public Counted_object {
 public:
  virtual void on_complete(Network_task& task) = 0;
};
using Completion_listener_handle = Counted_handle<Completion_listener>;

class Network_task : public Agent_task {
 public:
  enum Status : int {
    succeeded = 0,  // the connection delivered its result
    pending = 1,    // set at construction
    failed = 2,     // a network error, an unusable reply, a redirect nowhere
    timed_out = 3,  // the time-out passed, or the task was cancelled
  };

  explicit Network_task(const Time_spec& schedule = Time_spec{});
  ~Network_task() override;

  // Replaces the connection by one of the class the URL needs (an Http_connection through
  // the proxy when the proxy is on, else by scheme) and gives it the URL. False when the
  // scheme has no connection class (the task then holds a base connection).
  bool set_url(const Ref_string& url);
  // Host spacing and network admission.
  int is_ready() override;
  // Starts the connection and records the launch time of the URL's host.
  virtual void launch();
  // Asks the connection to close.
  virtual void abort();
  virtual void on_timeout();
  virtual void on_error();
  virtual void on_success();

  Net_connection* connection() const { return connection_.get(); }
  // Installs a connection made by the caller (a listener, a served socket).
  void set_connection(std::unique_ptr<Net_connection> connection);
  int status() const { return status_; }
  void set_status(int s) { status_ = s; }
  // Why the transfer failed or timed out, in words (the connection's reason); empty when it
  // succeeded or is still under way.
  Ref_string failure_reason() const;
  // True from activate_request until the task is finished.
  bool in_flight() const { return in_flight_; }
  void set_in_flight(bool on) { in_flight_ = on; }
  const Completion_listener_handle& completion_listener() const { return listener_; }
  void set_completion_listener(const Completion_listener_handle& l) { listener_ = l; }

 private:
  void retire_connection();

  std::unique_ptr<Net_connection> connection_;
  int status_ = pending;
  bool in_flight_ = false;
  Completion_listener_handle listener_;
};

// The connection classes by scheme code. HTTP is built in; other protocols register theirs.
using Connection_factory =
    std::function<std::unique_ptr<Net_connection>(Network_task* client, const Ref_string& url)>;
void register_connection_class(int scheme_code, Connection_factory factory);

}  // namespace orvalis

// The network layer: start-up and shutdown, the list of active requests in start order, the
// dispatch of every socket event, look-up reply and one-second tick to the connection that
// owns it, admission (how many transfers and look-ups may be in flight), the host spacing,
// listening sockets and the shared socket-error report.
//
// Events reach the layer from the current platform::Event_loop as three kinds of message:
//   message_timer  (275)  word 1; offered to the connections in start order until one claims
//                         it, so at most one connection times out per tick
//   message_lookup (1025) word = look-up handle; long = error in bits 16..31 and the IPv4
//                         address (network order) in bits 32..63
//   message_socket (1026) word = socket; long = event in bits 0..15, errno in bits 16..31
// A step may finish its own task, start others or follow a redirect: the dispatch holds a
// reference to the task whose connection it is calling and has taken the next entry first.
//
// Owned by the process; user-interface (event-loop) thread only.
// REQUIRES: tasks handed to activate_request were made with make_counted.
#pragma once

#include <netinet/in.h>

#include <cstdint>

#include "foundation/counted_object.h"
#include "foundation/ref_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

class Net_connection;
class Network_task;
using Network_task_handle = Counted_handle<Network_task>;

enum Net_message : int {
  message_timer = 275,
  message_lookup = 1025,
  message_socket = 1026,
};

// Socket events, as in the long parameter of message_socket (the platform's event bits).
enum Net_event : unsigned {
  fd_read = 1,
  fd_write = 2,
  fd_accept = 8,
  fd_connect = 16,
  fd_close = 32,
};

// Starts the layer (the one-second timer on the current event loop); true when it runs.
// Does its work once; every Network_task calls it.
bool net_startup();
// Aborts every active task, stops the timer; the layer may be started again.
void net_shutdown();
bool net_initialised();

// Whether one more task may start now (request limit and look-up limit).
bool network_admission();
// Appends the task to the active list and launches it.
void activate_request(const Network_task_handle& task);
// Marks each listed task that is active as cancelled (status 3) and finishes every one.
void cancel_requests(const Ref_list<Network_task_handle>& tasks);
// Forgets every active request without completing it: each connection is closed and the list
// emptied, so no further event reaches the tasks (stopping all agent tasks).
void abandon_requests();
// The common end of a task: abort (closes its connection), off the active list, its
// completion, then its completion listener.
void finish_request(Network_task& task);
// The tasks started and not finished, in start order.
const Ref_list<Network_task_handle>& active_requests();

// Hands one message to the connections of the active tasks; true when one claimed it.
bool dispatch_message(int message, std::uintptr_t word, std::int64_t lparam);
// One tick of the one-second timer (tests call it after moving a Manual_clock).
void net_timer_tick();

// A listening socket, armed on the layer's messages.
// `port`: on entry the port to bind (0 = any free one), on return the port bound.
// Returns the socket, or -1 after a reported failure.
// `address` (network order) is the local address to bind, loopback unless given; `events` the
// set the socket is armed for.
int open_listener(int& port, std::uint32_t address = htonl(INADDR_LOOPBACK),
                  unsigned events = fd_read | fd_write | fd_accept | fd_close);

// Arms `fd` for `events` (Net_event bits) so that its events come back as message_socket;
// 0 or an errno value. forget_socket drops the arming before the socket is closed.
int arm_socket(int fd, unsigned events);
void forget_socket(int fd);
// Reports text + "  (" + code + ")" as a warning; a report made while another is being
// made is dropped.
void report_socket_error(const Ref_string& text, int code);

// The spacing between two task starts for one host (30 seconds) can be switched off for
// benchmarks and tests that fetch one local server many times.
void set_host_spacing_enabled(bool on);
bool host_spacing_enabled();
inline constexpr int kHost_spacing_seconds = 30;

// Writes every state change of every connection to standard error (also switched on by the
// environment variable ORVALIS_NET_TRACE at start-up).
void set_net_trace(bool on);
bool net_trace();

// A connection replaced while one of its own steps may still be running (a redirect) is
// closed at once and freed when the current dispatch has returned.
void retire_connection(Net_connection* connection);

}  // namespace orvalis

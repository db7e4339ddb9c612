#include "net/network.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "foundation/url.h"
#include "net/http_connection.h"
#include "net/net_connection.h"
#include "net/network_task.h"
#include "net/tls_transport.h"
#include "platform/event_loop.h"

namespace orvalis {

namespace {

struct Layer {
  bool initialised = false;
  int timer_id = -1;
  platform::Event_loop* loop = nullptr;  // the loop the timer was added to
  Ref_list<Network_task_handle> active;
  bool spacing = true;
  bool trace = false;
  bool reporting = false;
  int dispatch_depth = 0;
  std::vector<std::unique_ptr<Net_connection>> retired;
};

// Never destroyed: tasks still active at exit must not be torn down after the event loop.
Layer& layer() {
  static Layer* l = new Layer;
  return *l;
}

void socket_event(int fd, unsigned event, int error) {
  std::int64_t lparam = static_cast<std::int64_t>(event & 0xffff) |
                        (static_cast<std::int64_t>(error & 0xffff) << 16);
  dispatch_message(message_socket, static_cast<std::uintptr_t>(fd), lparam);
}

}  // namespace

bool net_startup() {
  Layer& l = layer();
  if (l.initialised) return true;
  static const bool https_registered = [] {
    // https goes straight to its host as HTTP over TLS (through the proxy, set_url makes
    // the same class for every scheme).
    register_connection_class(Url::https, [](Network_task* client, const Ref_string& url) {
      return std::unique_ptr<Net_connection>(std::make_unique<Http_connection>(client, url, false));
    });
    return true;
  }();
  (void)https_registered;
  if (const char* t = std::getenv("ORVALIS_NET_TRACE"); t && *t && *t != '0') l.trace = true;
  l.loop = &platform::current_event_loop();
  l.timer_id = l.loop->add_timer(1000, [] { net_timer_tick(); });
  if (l.timer_id < 0) {
    report_error("Fatal error: Unable to get timer resource.");
    return false;
  }
  l.initialised = true;
  return true;
}

void net_shutdown() {
  Layer& l = layer();
  if (!l.initialised) return;
  Ref_list<Network_task_handle> tasks = l.active;
  for (const Network_task_handle& t : tasks) t->abort();
  for (const Network_task_handle& t : tasks) t->set_in_flight(false);
  l.active.clear();
  l.loop->remove_timer(l.timer_id);
  l.timer_id = -1;
  if (l.dispatch_depth == 0) l.retired.clear();
  // Sessions still open keep their own reference to the context they were made from.
  tls_shutdown();
  l.initialised = false;
}

bool net_initialised() { return layer().initialised; }

bool network_admission() {
  Layer& l = layer();
  const Network_limits& limits = network_limits();
  // The capture listener and the browser connections it serves are not transfers.
  int transfers = 0, resolving = 0;
  for (const Network_task_handle& t : l.active) {
    const Net_connection* c = t->connection();
    if (c && !c->takes_transfer_slot()) continue;
    ++transfers;
    if (c && c->state() == Net_connection::resolving) ++resolving;
  }
  if (transfers >= limits.concurrent_requests) return false;
  return resolving < limits.concurrent_lookups;
}

void activate_request(const Network_task_handle& task) {
  if (!task) return;
  Network_task_handle keep = task;
  layer().active.append(keep);
  keep->set_in_flight(true);
  keep->launch();
}

void abandon_requests() {
  Ref_list<Network_task_handle> tasks = layer().active;
  layer().active = Ref_list<Network_task_handle>();
  for (const Network_task_handle& t : tasks) t->abort();
}

void finish_request(Network_task& task) {
  Network_task_handle keep(&task);  // the active list may hold the last other reference
  task.abort();
  layer().active.remove_item(keep);
  task.set_in_flight(false);
  task.process_result();
  if (Completion_listener_handle listener = task.completion_listener()) listener->on_complete(task);
}

void cancel_requests(const Ref_list<Network_task_handle>& tasks) {
  // Copy first: a completion may change the caller's list.
  std::vector<Network_task_handle> listed(tasks.begin(), tasks.end());
  for (const Network_task_handle& t : listed) {
    if (!t) continue;
    if (layer().active.contains(t)) {
      t->set_status(Network_task::timed_out);
      if (Net_connection* c = t->connection(); c && c->failure_reason().empty())
        c->set_failure_reason("cancelled");
    }
    finish_request(*t);
  }
}

const Ref_list<Network_task_handle>& active_requests() { return layer().active; }

bool dispatch_message(int message, std::uintptr_t word, std::int64_t lparam) {
  Layer& l = layer();
  ++l.dispatch_depth;
  bool claimed = false;
  // The walk goes over the tasks active when the message came, each held for the time of its
  // step: a step may finish its own task or others (a listener ends the connections it served,
  // a completion cancels tasks), and a task finished meanwhile is passed over. The walk ends at
  // the first claim.
  std::vector<Network_task_handle> walk(l.active.begin(), l.active.end());
  for (const Network_task_handle& current : walk) {
    if (!current->in_flight()) continue;
    Net_connection* c = current->connection();
    if (!c) continue;
    if (c->handle_event(message, word, lparam)) {
      claimed = true;
      break;
    }
  }
  --l.dispatch_depth;
  if (l.dispatch_depth == 0) l.retired.clear();
  if (!claimed && message == message_socket) {
    // Nobody owns this socket any more: stop its events, or a level-triggered loop would
    // report it again and again.
    platform::current_event_loop().arm_socket(static_cast<int>(word), 0, nullptr);
  }
  return claimed;
}

void net_timer_tick() { dispatch_message(message_timer, 1, 0); }

void retire_connection(Net_connection* connection) {
  if (!connection) return;
  connection->close();
  Layer& l = layer();
  if (l.dispatch_depth == 0)
    delete connection;
  else
    l.retired.emplace_back(connection);
}

int arm_socket(int fd, unsigned events) {
  return platform::current_event_loop().arm_socket(fd, events, &socket_event);
}

void forget_socket(int fd) { platform::current_event_loop().forget_socket(fd); }

void report_socket_error(const Ref_string& text, int code) {
  Layer& l = layer();
  if (l.reporting) return;
  l.reporting = true;
  report_warning(text + "  (" + Ref_string::number(code) + ")");
  l.reporting = false;
}

int open_listener(int& port, std::uint32_t address, unsigned events) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    report_socket_error("Could not create listening socket.", errno);
    return -1;
  }
  auto give_up = [fd](const char* text, int code) {
    forget_socket(fd);
    ::close(fd);
    report_socket_error(text, code);
    return -1;
  };
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // Loopback unless told otherwise: the capture listener serves this machine's browser only.
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = address;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
    return give_up("Could not bind listening socket.", errno);
  socklen_t len = sizeof a;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return give_up("Could not determine binding of listening socket.", errno);
  port = ntohs(a.sin_port);
  if (::listen(fd, 5) != 0) return give_up("Could not listen on socket.", errno);
  if (int error = arm_socket(fd, events); error != 0)
    return give_up("Could not make listening socket asynchronous.", error);
  return fd;
}

void set_host_spacing_enabled(bool on) { layer().spacing = on; }
bool host_spacing_enabled() { return layer().spacing; }
void set_net_trace(bool on) { layer().trace = on; }
bool net_trace() { return layer().trace; }

}  // namespace orvalis

#include "net/listen_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "foundation/error_handler.h"
#include "foundation/time_spec.h"
#include "net/network_task.h"
#include "platform/clock.h"

namespace orvalis {

namespace {
class Function_handler final : public Capture_handler {
 public:
  explicit Function_handler(Capture_function f) : function_(std::move(f)) {}
  bool handle_request(const Http_request_info& request, Ref_string& html) override {
    return function_ ? function_(request, html) : false;
  }

 private:
  Capture_function function_;
};

Serve_connection* served_connection(const Network_task_handle& t) {
  return dynamic_cast<Serve_connection*>(t->connection());
}
}  // namespace

Capture_handler_handle make_capture_handler(Capture_function function) {
  return make_counted<Function_handler>(std::move(function));
}

Listen_connection::Listen_connection(Network_task* client, const Capture_handler_handle& handler,
                                     bool one_shot)
    : Net_connection(client, Ref_string()),
      handler_(handler),
      one_shot_(one_shot),
      alive_(std::make_shared<bool>(true)) {}

Listen_connection::~Listen_connection() { *alive_ = false; }

void Listen_connection::listen_on(int socket, int port) {
  adopt_socket(socket);
  port_ = port;
  set_state(listening);
}

void Listen_connection::start() {
  Net_connection::start();
  // Connections that came before the task was active found no owner and were disarmed.
  if (socket_ >= 0) arm(fd_read | fd_write | fd_accept | fd_close);
}

void Listen_connection::forget_finished() {
  std::erase_if(served_, [](const Network_task_handle& t) { return !t->in_flight(); });
}

int Listen_connection::served_count() {
  forget_finished();
  return static_cast<int>(served_.size());
}

void Listen_connection::on_accept() {
  forget_finished();
  if (served_.size() >= static_cast<size_t>(kMax_served)) {
    // Room for the newcomer: the connection that has waited longest without a word goes.
    Network_task_handle oldest;
    for (const Network_task_handle& t : served_) {
      Serve_connection* s = served_connection(t);
      if (s && !s->answering() &&
          (!oldest || s->last_activity() < served_connection(oldest)->last_activity()))
        oldest = t;
    }
    if (oldest) cancel_requests(Ref_list<Network_task_handle>{oldest});
    forget_finished();
  }
  int fd = ::accept4(socket_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    report_warning("Error accepting incoming FTP data connection.");
    return;
  }
  if (served_.size() >= static_cast<size_t>(kMax_served)) {
    ::close(fd);  // every served connection is answering: this one must try again
    return;
  }
  if (arm_socket(fd, fd_read | fd_write | fd_close) != 0) {
    report_warning("Error making new server socket asynchronous.");
    forget_socket(fd);
    ::close(fd);
    return;
  }
  Network_task_handle serving = make_counted<Network_task>();
  auto connection = std::make_unique<Serve_connection>(serving.get(), fd, handler_);
  std::weak_ptr<bool> alive = alive_;
  Network_task* serving_task = serving.get();
  connection->set_taken_callback([alive, this, serving_task] {
    if (auto a = alive.lock(); a && *a) request_taken(serving_task);
  });
  serving->set_connection(std::move(connection));
  served_.push_back(serving);
  activate_request(serving);
}

void Listen_connection::request_taken(Network_task* serving) {
  if (!one_shot_ || state_ == closed) return;
  // The taken connection finishes its answer on its own.
  std::erase_if(served_, [serving](const Network_task_handle& t) { return t.get() == serving; });
  if (client_) {
    client_->set_state(Agent_task::done);
    client_->set_last_run(Timestamp(platform::now()));
  }
  succeed();
}

void Listen_connection::close() {
  if (state_ == closed) return;
  Net_connection::close();
  std::vector<Network_task_handle> served;
  served.swap(served_);
  Ref_list<Network_task_handle> waiting;
  for (const Network_task_handle& t : served) {
    Serve_connection* s = served_connection(t);
    if (t->in_flight() && !(s && s->answering())) waiting.append(t);
  }
  if (!waiting.empty()) cancel_requests(waiting);
}

Network_task_handle start_capture_listener(int& port, const Capture_handler_handle& handler,
                                           bool one_shot) {
  Network_task_handle task = make_counted<Network_task>();
  int fd = open_listener(port);
  if (fd < 0) return Network_task_handle();
  auto listener = std::make_unique<Listen_connection>(task.get(), handler, one_shot);
  listener->listen_on(fd, port);
  task->set_connection(std::move(listener));
  return task;
}

}  // namespace orvalis

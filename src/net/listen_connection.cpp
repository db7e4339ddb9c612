#include "net/listen_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "foundation/error_handler.h"
#include "foundation/time_spec.h"
#include "net/network_task.h"
#include "net/serve_connection.h"
#include "platform/clock.h"

namespace orvalis {

Listen_connection::Listen_connection(Network_task* client, const Capture_handler_handle& handler,
                                     bool one_shot)
    : Net_connection(client, Ref_string()), handler_(handler), one_shot_(one_shot) {}

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

void Listen_connection::on_accept() {
  int fd = ::accept4(socket_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    report_warning("Error accepting incoming FTP data connection.");
    return;
  }
  if (arm_socket(fd, fd_read | fd_write | fd_close) != 0) {
    report_warning("Error making new server socket asynchronous.");
    forget_socket(fd);
    ::close(fd);
    return;
  }
  Network_task_handle serving = make_counted<Network_task>();
  serving->set_connection(std::make_unique<Serve_connection>(serving.get(), fd, handler_));
  activate_request(serving);
  if (one_shot_ && client_) {
    // The one connection has come: the listener is done.
    client_->set_state(Agent_task::done);
    client_->set_last_run(Timestamp(platform::now()));
    succeed();
  }
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

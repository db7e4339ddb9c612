#include "platform/socket_readiness.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/event_loop.h"

namespace orvalis::platform {

namespace {

int socket_error(int fd) {
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
  return error;
}

}  // namespace

void dispatch_readiness(int fd, unsigned ready, Ready_socket& socket) {
  unsigned armed = socket.armed();
  const bool trouble = ready & (POLLERR | POLLHUP);

  if ((armed & event_connect) && (ready & (POLLOUT | POLLERR | POLLHUP))) {
    int error = socket_error(fd);
    // A connect is reported once. The handler usually arms the socket again at once, so what
    // the loop watches is brought in line only afterwards.
    socket.drop_connect();
    socket.deliver(event_connect, error);
    if (socket.present()) socket.watch_armed();
    return;
  }
  if ((ready & POLLOUT) && (armed & event_write)) {
    socket.deliver(event_write, 0);
    if (!socket.present()) return;
    armed = socket.armed();
  }
  if (!(ready & (POLLIN | POLLRDHUP | POLLHUP | POLLERR))) return;
  if (armed & event_accept) {
    socket.deliver(event_accept, trouble ? socket_error(fd) : 0);
    return;
  }
  if (!(armed & (event_read | event_close))) {
    // Only a hang-up can bring us here on a socket armed for something else.
    if (trouble && !(armed & event_write)) socket.watch_nothing();
    return;
  }
  const bool maybe_end = ready & (POLLRDHUP | POLLHUP | POLLERR);
  if (!maybe_end) {
    if (armed & event_read) socket.deliver(event_read, 0);
    return;
  }
  if ((ready & POLLIN) && !(ready & POLLERR) && (armed & event_read)) {
    // Bytes first; whether the stream has ended is asked once they have been taken.
    socket.deliver(event_read, 0);
    if (!socket.present()) return;
    armed = socket.armed();
    if (!(armed & (event_read | event_close))) return;
  }
  // The peer may have ended the stream: look whether bytes remain before saying so.
  char probe;
  ssize_t n = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) {
    socket.deliver((armed & event_read) ? event_read : event_close, 0);
    return;
  }
  int error = 0;
  if (n < 0) {
    error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) {
      if (!trouble) return;
      error = socket_error(fd);
    }
  }
  if (armed & event_close) {
    socket.deliver(event_close, error);
  } else {
    // End of stream on a socket armed only for reading: say it once, then stop watching,
    // or a level-triggered loop would report it forever.
    socket.watch_nothing();
    socket.deliver(event_read, error);
  }
}

}  // namespace orvalis::platform

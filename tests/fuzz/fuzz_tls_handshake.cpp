// Plays arbitrary bytes as the server's side of a TLS handshake: the bytes wait in one end of
// a socket pair, which is then shut, and Tls_transport runs its handshake on the other end
// until it finishes or fails. Nothing the server sends may crash it or leak; a failure must
// come with a reason.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "net/tls_transport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 60000) return 0;  // more than a socket pair holds without a reader
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends) != 0) return 0;
  if (size > 0 && ::send(ends[1], data, size, MSG_NOSIGNAL) < 0) {
    ::close(ends[0]);
    ::close(ends[1]);
    return 0;
  }
  ::shutdown(ends[1], SHUT_WR);
  {
    orvalis::Tls_transport tls;
    if (tls.begin(ends[0], size % 2 ? "localhost" : "127.0.0.1", size % 3 != 0)) {
      for (int step = 0; step < 64; ++step) {
        orvalis::Tls_transport::Step s = tls.handshake();
        if (s == orvalis::Tls_transport::failed) {
          if (tls.error().empty()) std::abort();
          break;
        }
        if (s == orvalis::Tls_transport::done) {
          char buf[512];
          (void)tls.read(buf, sizeof buf);
          break;
        }
        // The client's flights go nowhere; drain them so that writes never block for good.
        char sink[4096];
        while (::recv(ends[1], sink, sizeof sink, 0) > 0) {
        }
      }
    }
  }
  ::close(ends[0]);
  ::close(ends[1]);
  return 0;
}

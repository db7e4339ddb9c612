// Fuzzes the FTP control connection's reading of replies: the bytes arrive, in pieces, as the
// received text of an Ftp_connection whose control socket is one end of a socket pair, and the
// reply step runs on every whole line; each command "goes out" at once, so the dialogue walks
// as far as the replies take it (greeting, login, directories; the data listener cannot be
// made on a socket pair, which ends it). Also every line through parse_ftp_reply_line.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "net/ftp_connection.h"

namespace {
class Fuzz_ftp : public orvalis::Ftp_connection {
 public:
  using Ftp_connection::Ftp_connection;
  using Net_connection::adopt_socket;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) return 0;
  {
    Fuzz_ftp c(nullptr, "ftp://127.0.0.1/pub/doc/file");
    c.adopt_socket(pair[0]);
    c.on_connected();  // waiting for the greeting
    std::size_t at = 0;
    while (at < size && c.state() != orvalis::Net_connection::closed) {
      std::size_t n = size - at < 7 ? size - at : 7;
      c.received_buffer()->append(text + at, static_cast<std::int64_t>(n));
      at += n;
      if (c.is_complete()) c.on_received();
      if (c.state() == orvalis::Net_connection::sending) c.on_sent();
    }
  }  // closes the control socket
  ::close(pair[1]);

  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || text[i] == '\n') {
      orvalis::Ftp_reply_line r = orvalis::parse_ftp_reply_line(text + start, static_cast<int>(i - start));
      if (r.code < 0 || r.code > 999) std::abort();
      if (r.kind == orvalis::Ftp_reply_line::reply && r.code < 200) std::abort();
      start = i + 1;
    }
  }
  return 0;
}

#include "net/ftp_connection.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "foundation/url.h"
#include "net/network.h"

namespace orvalis {

namespace {

constexpr int kBlocks_per_event = 32;

const char* ftp_state_name(int s) {
  static const char* const names[] = {"wait_greeting", "wait_user", "wait_login",
                                      "wait_cwd",      "wait_port", "wait_type",
                                      "wait_transfer", "wait_quit", "error"};
  return s >= 0 && s <= 8 ? names[s] : "?";
}

bool holds_line_end(const Ref_string& s) {
  for (int i = 0; i < s.length(); ++i)
    if (s[i] == '\r' || s[i] == '\n' || s[i] == 0) return true;
  return false;
}

void close_socket_fd(int& fd) {
  if (fd < 0) return;
  forget_socket(fd);
  ::close(fd);
  fd = -1;
}

}  // namespace

Ftp_reply_line parse_ftp_reply_line(const char* line, int length) {
  Ftp_reply_line r;
  int code = 0;
  for (int i = 0; i < 3 && i < length && line[i] >= '0' && line[i] <= '9'; ++i)
    code = code * 10 + (line[i] - '0');
  r.code = code;
  if (length > 3 && line[3] == '-')
    r.kind = Ftp_reply_line::continuation;
  else if (code < 200)
    r.kind = Ftp_reply_line::preliminary;
  else
    r.kind = Ftp_reply_line::reply;
  return r;
}

Ftp_connection::Ftp_connection(Network_task* client, const Ref_string& url)
    : Line_connection(client, url), data_(make_counted<Byte_buffer>()) {}

Ftp_connection::~Ftp_connection() { close_data_sockets(); }

void Ftp_connection::set_ftp_state(Ftp_state s) {
  if (net_trace() && s != ftp_state_)
    std::fprintf(stderr, "net: %p %s: ftp %s -> %s\n", static_cast<void*>(this), url_.c_str(),
                 ftp_state_name(ftp_state_), ftp_state_name(s));
  ftp_state_ = s;
}

Ref_string Ftp_connection::lookup_host() const {
  Ref_string host = Url(url_).host();
  int at = -1;
  for (int i = 0; i < host.length(); ++i)
    if (host[i] == '@') at = i;
  return at < 0 ? host : host.mid(at + 1);
}

void Ftp_connection::start() {
  Net_connection::start();
  Url url(url_);
  if (url.ftp_credentials(user_, password_)) {
    user_ = url_decode(user_);
    password_ = url_decode(password_);
  } else {
    user_ = "anonymous";
    password_ = kAnonymous_password;
  }
  type_ = "a";
  directories_.clear();
  file_ = Ref_string();
  Ref_string path = url.path();
  if (path.length() > 1) {
    path = path.mid(1);
    if (int semicolon = path.find(';'); semicolon >= 0) path = path.mid(0, semicolon);
    Ref_list<Ref_string> pieces = split(path, '/');
    int n = pieces.count();
    int i = 0;
    for (const Ref_string& piece : pieces) {
      Ref_string decoded = url_decode(piece);
      if (++i < n)
        directories_.append(decoded);
      else
        file_ = decoded;
    }
  }
  bool unsafe = holds_line_end(user_) || holds_line_end(password_) || holds_line_end(file_);
  for (const Ref_string& d : directories_) unsafe = unsafe || holds_line_end(d);
  if (unsafe) {
    // It would end a command early and start another of the address's choosing.
    fail_because("FTP address holds a line end in its login or path: " + url_);
    return;
  }
  resolve(lookup_host());
}

bool Ftp_connection::send_command(const Ref_string& command) { return send(command + "\r\n"); }

void Ftp_connection::on_received() {
  for (;;) {
    Ref_string line;
    if (!take_line(line)) {
      if (line_too_long()) {
        fail_because("FTP reply line longer than " + Ref_string::number(kMax_line_bytes) +
                     " bytes without a line end");
        return;
      }
      receive_more();
      return;
    }
    if (line.length() > kMax_line_bytes) {
      fail_because("FTP reply line of " + Ref_string::number(line.length()) +
                   " bytes, expected at most " + Ref_string::number(kMax_line_bytes));
      return;
    }
    Ftp_reply_line r = parse_ftp_reply_line(line.c_str(), line.length());
    if (r.kind != Ftp_reply_line::reply) {
      if (++skipped_lines_ > kMax_skipped_lines) {
        fail_because("More than " + Ref_string::number(kMax_skipped_lines) +
                     " FTP continuation or preliminary lines without a final reply");
        return;
      }
      continue;
    }
    skipped_lines_ = 0;
    reply_step(r.code, line);
    // A command went out (its reply comes later), or the dialogue has ended.
    if (state_ != received) {
      if (state_ != closed) compact_lines();
      return;
    }
  }
}

void Ftp_connection::reply_step(int code, const Ref_string& line) {
  const bool success = code >= 200 && code <= 299;
  switch (ftp_state_) {
    case wait_greeting:
      if (code != 220) {
        fail_because("Connecting to FTP server failed. Response was " + line);
        return;
      }
      set_ftp_state(wait_user);
      send_command("USER " + user_);
      return;

    case wait_user:
      if (code == 331) {
        set_ftp_state(wait_login);
        send_command("PASS " + password_);
        return;
      }
      if (code > 299) {
        fail_because("Connecting to FTP server failed. Response was " + line);
        return;
      }
      // Logged in without a password: go on as after PASS.
      set_ftp_state(wait_login);
      [[fallthrough]];

    case wait_login:
    case wait_cwd:
      if (!success) {
        fail_because((ftp_state_ == wait_cwd ? "Sending CWD to FTP server failed. Response was "
                                             : "Sending password to FTP server failed. Response was ") +
                     line);
        return;
      }
      if (directories_.count() > 0) {
        Ref_string directory = directories_.take_first();
        set_ftp_state(wait_cwd);
        send_command("CWD " + directory);
        return;
      }
      {
        Ref_string port_text;
        if (!prepare_data_listener(port_text)) {
          fail();
          return;
        }
        set_ftp_state(wait_port);
        send_command("PORT " + port_text);
      }
      return;

    case wait_port:
    case wait_type:
      if (!success) {
        fail_because("Sending PORT to FTP server failed. Response was " + line);
        return;
      }
      if (ftp_state_ == wait_port) {
        set_ftp_state(wait_type);
        send_command("TYPE " + type_);
      } else {
        set_ftp_state(wait_transfer);
        send_command(file_.empty() ? Ref_string("LIST") : "RETR " + file_);
      }
      return;

    case wait_transfer:
      if (!success) {
        fail_because("Error during FTP data transfer. Response was " + line);
        return;
      }
      transfer_replied_ = true;
      if (data_closed_) {
        set_ftp_state(wait_quit);
        send_command("QUIT");
      }
      return;

    case wait_quit:
      return;

    case error:
      report_warning("Received input line while in the error state.");
      return;
  }
}

bool Ftp_connection::prepare_data_listener(Ref_string& port_text) {
  // The server connects back to the address it reaches us at on the control connection.
  sockaddr_in local{};
  socklen_t len = sizeof local;
  if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
    report_network_error("Could not determine binding of control socket.");
    return false;
  }
  if (local.sin_addr.s_addr == 0) {
    report_warning("Unable to get local IP address.");
    return false;
  }
  close_socket_fd(listen_socket_);
  // The data connection listens on the address the control connection uses locally (the one
  // the server can reach us at), on any free port, armed for accept only.
  int data_port = 0;
  listen_socket_ = open_listener(data_port, local.sin_addr.s_addr, fd_accept);
  if (listen_socket_ < 0) return false;
  len = sizeof listener_address_;
  if (::getsockname(listen_socket_, reinterpret_cast<sockaddr*>(&listener_address_), &len) != 0) {
    report_network_error("Could not determine binding of listening socket.");
    return false;
  }
  const auto* a = reinterpret_cast<const unsigned char*>(&listener_address_.sin_addr.s_addr);
  const auto* p = reinterpret_cast<const unsigned char*>(&listener_address_.sin_port);
  char text[64];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d", a[0], a[1], a[2], a[3], p[0], p[1]);
  port_text = text;
  return true;
}

bool Ftp_connection::handle_event(int message, std::uintptr_t word, std::int64_t lparam) {
  if (message == message_socket) {
    const int fd = static_cast<int>(word);
    if ((listen_socket_ >= 0 && fd == listen_socket_) || (data_socket_ >= 0 && fd == data_socket_)) {
      data_event(fd, static_cast<unsigned>(lparam & 0xffff), static_cast<int>((lparam >> 16) & 0xffff));
      return true;
    }
  }
  return Line_connection::handle_event(message, word, lparam);
}

void Ftp_connection::data_event(int fd, unsigned event, int error) {
  if (error != 0) {
    fail_because("Error in select message for listening or data socket.");
    return;
  }
  if (fd == listen_socket_ && event == fd_accept)
    accept_data();
  else if (fd == data_socket_ && event == fd_read)
    read_data();
  else if (fd == data_socket_ && event == fd_close)
    data_done();
  // Other events on these sockets are ignored.
}

void Ftp_connection::accept_data() {
  sockaddr_in from{};
  socklen_t len = sizeof from;
  int fd = ::accept4(listen_socket_, reinterpret_cast<sockaddr*>(&from), &len,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    fail_because("Error accepting incoming FTP data connection.");
    return;
  }
  if (from.sin_addr.s_addr != peer_.sin_addr.s_addr) {
    // Only the server may bring the data: anyone else who finds the port is turned away and
    // the listener waits on.
    ::close(fd);
    return;
  }
  // One data connection per transfer: the listener is not needed any more.
  close_socket_fd(listen_socket_);
  data_socket_ = fd;
  if (arm_socket(data_socket_, fd_read | fd_close) != 0) {
    report_warning("Error making data socket asynchronous.");
    close_socket_fd(data_socket_);
    fail();
  }
}

void Ftp_connection::read_data() {
  const std::int64_t limit = network_limits().max_document_bytes;
  char block[kRead_block];
  for (int i = 0; i < kBlocks_per_event && data_socket_ >= 0; ++i) {
    long n = static_cast<long>(::recv(data_socket_, block, sizeof block, 0));
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
      report_network_error("Error in read on ftp data socket");
      fail();
      return;
    }
    if (n == 0) return;  // the end of the stream comes as its own event
    data_->append(block, n);
    if (limit >= 1 && data_->length() >= limit) {
      // The rest is not read, as HTTP cuts a long page: the transfer ends here.
      close_socket_fd(data_socket_);
      data_closed_ = true;
      if (ftp_state_ != wait_transfer) {
        fail();  // data nobody asked for
        return;
      }
      set_ftp_state(wait_quit);
      send_command("QUIT");
      return;
    }
    if (n < kRead_block) return;
  }
}

void Ftp_connection::data_done() {
  if (data_socket_ >= 0) {
    char block[kRead_block];
    const std::int64_t limit = network_limits().max_document_bytes;
    for (;;) {
      long n = static_cast<long>(::recv(data_socket_, block, sizeof block, 0));
      if (n <= 0) break;
      data_->append(block, n);
      if (limit >= 1 && data_->length() >= limit) break;
    }
  }
  close_socket_fd(data_socket_);
  data_closed_ = true;
  if (transfer_replied_ && ftp_state_ == wait_transfer) {
    set_ftp_state(wait_quit);
    send_command("QUIT");
  }
}

void Ftp_connection::on_peer_closed() {
  if (ftp_state_ == wait_quit) {
    succeed();
  } else {
    if (failure_reason_.empty())
      failure_reason_ = "the FTP server at " + peer_text() + " closed the connection in the middle of the dialogue";
    fail();
  }
}

void Ftp_connection::fail() {
  set_ftp_state(error);
  Line_connection::fail();
}

void Ftp_connection::succeed() {
  received_ = data_;
  Line_connection::succeed();
}

void Ftp_connection::close_data_sockets() {
  close_socket_fd(listen_socket_);
  close_socket_fd(data_socket_);
}

void Ftp_connection::close() {
  close_data_sockets();
  Line_connection::close();
}

}  // namespace orvalis

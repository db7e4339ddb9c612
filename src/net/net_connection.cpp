#include "net/net_connection.h"

#include <arpa/inet.h>
#include <ares.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/error_handler.h"
#include "foundation/url.h"
#include "net/host_table.h"
#include "net/network.h"
#include "net/network_task.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace orvalis {

namespace {
// How many read blocks one readiness event may take before the loop serves the others.
constexpr int kBlocks_per_event = 32;

const char* state_name(int s) {
  static const char* const names[] = {
      "created", "resolving", "resolved", "lookup_failed", "connecting",
      "connected", "connect_failed", "sending", "sent", "send_failed",
      "receiving", "received", "receive_failed", "listening", "closed"};
  return s >= 0 && s <= 14 ? names[s] : "?";
}
}  // namespace

Net_connection::Net_connection(Network_task* client, const Ref_string& url)
    : client_(client), url_(url), received_(make_counted<Byte_buffer>()) {}

Net_connection::~Net_connection() { Net_connection::close(); }

void Net_connection::set_state(State s) {
  if (net_trace() && s != state_)
    std::fprintf(stderr, "net: %p %s: %s -> %s\n", static_cast<void*>(this), url_.c_str(),
                 state_name(state_), state_name(s));
  state_ = s;
}

int Net_connection::arm(unsigned events) {
  if (socket_ < 0) return EBADF;
  return arm_socket(socket_, events);
}

long Net_connection::write_bytes(const char* bytes, long n) {
  return static_cast<long>(::send(socket_, bytes, static_cast<size_t>(n), MSG_NOSIGNAL));
}

long Net_connection::read_bytes(char* into, long n) {
  return static_cast<long>(::recv(socket_, into, static_cast<size_t>(n), 0));
}

void Net_connection::start() {
  started_ = platform::now();
  failure_reason_ = Ref_string();
}

void Net_connection::close_socket() {
  if (socket_ < 0) return;
  forget_socket(socket_);
  ::close(socket_);
  socket_ = -1;
}

void Net_connection::close() {
  if (state_ == closed) return;
  if (state_ == resolving && lookup_handle_ != 0) {
    platform::current_event_loop().cancel_lookup(lookup_handle_);
    lookup_handle_ = 0;
  }
  close_socket();
  set_state(closed);
  if (elapsed_ == 0) elapsed_ = platform::now() - started_;
}

bool Net_connection::is_complete() {
  return read_limit_ >= 1 && received_->length() >= read_limit_;
}

void Net_connection::fail() {
  close();
  if (client_) client_->on_error();
}

void Net_connection::fail_because(const Ref_string& why) {
  report_warning(why);
  failure_reason_ = why;
  fail();
}

void Net_connection::time_out() {
  // What went wrong before the time-out (a connect that failed at once) stays in the reason.
  Ref_string why = "timed out after " + Ref_string::number(timeout_) + " seconds";
  if (!failure_reason_.empty()) why += " (" + failure_reason_ + ")";
  failure_reason_ = why;
  close();
  if (client_) client_->on_timeout();
}

Ref_string Net_connection::peer_text() const {
  char text[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &peer_.sin_addr, text, sizeof text);
  return Ref_string(text) + ":" + Ref_string::number(ntohs(peer_.sin_port));
}

void Net_connection::succeed() {
  close();
  if (client_) client_->on_success();
}

void Net_connection::report_network_error(const Ref_string& text, int code) {
  close();  // may change errno; the code was taken before
  if (failure_reason_.empty()) {
    Ref_string what = text;
    while (what.length() > 0 && (what[what.length() - 1] == '\n' || what[what.length() - 1] == '.'))
      what = what.mid(0, what.length() - 1);
    failure_reason_ = what + ": " + Ref_string(std::strerror(code));
  }
  report_socket_error(text, code);
}

void Net_connection::report_network_error(const Ref_string& text) {
  report_network_error(text, errno);
}

bool Net_connection::resolve(const Ref_string& host) {
  set_state(resolving);
  // An IPv6 literal: bracketed in an address, or bare in the proxy setting (two colons or more).
  // Addresses here are IPv4 (the host table holds 32 bits).
  if ((host.length() > 0 && host[0] == '[') ||
      (host.find('@') < 0 && host.find(':') >= 0 && host.find(':', host.find(':') + 1) >= 0)) {
    set_state(lookup_failed);
    fail_because("the IPv6 address in " + url_ + " is not supported; use a host name or an IPv4 address");
    return false;
  }
  in_addr dotted{};
  std::uint32_t known = 0;
  if (inet_pton(AF_INET, host.c_str(), &dotted) == 1) {
    address_ = dotted.s_addr;
    on_resolved();  // still in state 1 during this call
    return true;
  }
  if (Host_table::instance().address(host, known)) {
    address_ = known;
    on_resolved();
    return true;
  }
  lookup_name_ = host.length() > 255 ? host.mid(0, 255) : host;
  // The reply comes back through the dispatch like any other message. A look-up that cannot
  // be started leaves the connection resolving until its time-out.
  lookup_handle_ = platform::current_event_loop().lookup_host(
      lookup_name_.c_str(), [](int handle, int error, std::uint32_t address) {
        std::int64_t lparam = (static_cast<std::int64_t>(error & 0xffff) << 16) |
                              (static_cast<std::int64_t>(address) << 32);
        dispatch_message(message_lookup, static_cast<std::uintptr_t>(handle), lparam);
      });
  return true;
}

bool Net_connection::connect(int port) {
  socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socket_ < 0) {
    report_network_error("Invalid socket.\n");
    return false;
  }
  if (port == -1) port = Url(url_).port();
  if (port == 0) {
    // The socket stays open until the connection is closed (by its time-out).
    failure_reason_ = "no port in " + url_;
    report_warning("Unable to extract port number from url.");
    return false;
  }
  peer_ = sockaddr_in{};
  peer_.sin_family = AF_INET;
  peer_.sin_port = htons(static_cast<std::uint16_t>(port));
  peer_.sin_addr.s_addr = address_;
  if (int error = arm(fd_connect); error != 0) {
    report_network_error("Unable to execute WSAAsynchSelect for connect.", error);
    return false;
  }
  set_state(connecting);
  if (::connect(socket_, reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_) == 0) {
    on_connected();
    return true;
  }
  if (errno == EINPROGRESS || errno == EAGAIN) return true;  // the connect event follows
  report_network_error("Connection failed.");
  return false;
}

bool Net_connection::send(const Ref_string& text) {
  outgoing_ = text;
  sent_ = 0;
  if (int error = arm(fd_write); error != 0) {
    report_network_error("Unable to execute WSAAsynchSelect for write.", error);
    return false;
  }
  set_state(sending);
  return true;
}

bool Net_connection::receive(std::int64_t limit) {
  read_limit_ = limit;
  if (int error = arm(fd_read | fd_close); error != 0) {
    report_network_error("Unable to execute WSAAsynchSelect for read.", error);
    return false;
  }
  set_state(receiving);
  return true;
}

void Net_connection::drain() {
  if (socket_ >= 0) {
    ::shutdown(socket_, SHUT_WR);
    char block[kRead_block];
    for (;;) {
      long n = read_bytes(block, kRead_block);
      if (n <= 0) break;
      take_received(block, n);
    }
  }
  close_socket();
}

bool Net_connection::handle_event(int message, std::uintptr_t word, std::int64_t lparam) {
  switch (message) {
    case message_timer:
      // Measured from the start, not from the last activity.
      if (timeout_ >= 1 && platform::now() - started_ > timeout_) {
        time_out();
        return true;
      }
      return false;

    case message_lookup: {
      if (lookup_handle_ == 0 || word != static_cast<std::uintptr_t>(lookup_handle_)) return false;
      lookup_handle_ = 0;
      int error = static_cast<int>((lparam >> 16) & 0xffff);
      if (error != 0) {
        set_state(lookup_failed);
        failure_reason_ = "the host name " + lookup_name_ + " did not resolve (" +
                          Ref_string(ares_strerror(error)) + ")";
        fail();
        return true;
      }
      address_ = static_cast<std::uint32_t>(static_cast<std::uint64_t>(lparam) >> 32);
      Host_table::instance().set_address(lookup_name_, address_);
      set_state(resolved);
      on_resolved();
      return true;
    }

    case message_socket:
      if (socket_ < 0 || word != static_cast<std::uintptr_t>(socket_)) return false;
      on_socket_event(static_cast<unsigned>(lparam & 0xffff),
                      static_cast<int>((lparam >> 16) & 0xffff));
      return true;

    default:
      report_warning("Unknown message type in handle_event.");
      return true;
  }
}

void Net_connection::on_socket_event(unsigned event, int error) {
  if (error != 0) {
    if (failure_reason_.empty()) {
      const Ref_string because = Ref_string(std::strerror(error));
      if (state_ == connecting)
        failure_reason_ = error == ECONNREFUSED
                              ? "the connection to " + peer_text() + " was refused"
                              : "the connection to " + peer_text() + " failed: " + because;
      else if (state_ == sending)
        failure_reason_ = "sending to " + peer_text() + " failed: " + because;
      else if (state_ == receiving)
        failure_reason_ = "reading from " + peer_text() + " failed: " + because;
    }
    switch (state_) {
      case connecting: set_state(connect_failed); fail(); return;
      case sending: set_state(send_failed); fail(); return;
      case receiving: set_state(receive_failed); fail(); return;
      default:
        // The task is not told; it ends by its time-out.
        report_network_error("In socket select error handler. Bad state.", error);
        return;
    }
  }
  switch (event) {
    case fd_connect:
      set_state(connected);
      on_connected();
      return;
    case fd_write:
      write_step();
      return;
    case fd_read:
      read_step();
      return;
    case fd_accept:
      on_accept();
      return;
    case fd_close:
      drain();
      set_state(closed);
      if (elapsed_ == 0) elapsed_ = platform::now() - started_;
      on_peer_closed();
      return;
    default:
      return;
  }
}

void Net_connection::write_step() {
  std::int64_t remaining = outgoing_.length() - sent_;
  if (remaining > 0) {
    long n = write_bytes(outgoing_.c_str() + sent_, static_cast<long>(remaining));
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
      const int code = errno;
      if (failure_reason_.empty())
        failure_reason_ = "sending to " + peer_text() + " failed: " + Ref_string(std::strerror(code));
      report_network_error("Error in write", code);
      set_state(send_failed);
      fail();
      return;
    }
    sent_ += n;
  }
  if (outgoing_.length() - sent_ <= 0) {
    set_state(sent);
    on_sent();
  }
}

void Net_connection::take_received(const char* bytes, long n) {
  for (long at = 0; at < n; at += kRead_block)
    received_->append(bytes + at, n - at < kRead_block ? n - at : kRead_block);
}

void Net_connection::read_step() {
  // One receive takes up to kBlocks_per_event blocks; each block becomes its own chunk, as
  // if it had been read by its own step. With a read limit, no more is taken than the blocks
  // up to and including the one that reaches the limit.
  char bytes[kRead_block * kBlocks_per_event];
  long want = static_cast<long>(sizeof bytes);
  if (read_limit_ >= 1) {
    std::int64_t missing = read_limit_ - received_->length();
    std::int64_t blocks = missing <= 0 ? 1 : (missing + kRead_block - 1) / kRead_block;
    if (blocks < kBlocks_per_event) want = static_cast<long>(blocks * kRead_block);
  }
  long n = read_bytes(bytes, want);
  if (n < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      const int code = errno;
      if (failure_reason_.empty())
        failure_reason_ = "reading from " + peer_text() + " failed: " + Ref_string(std::strerror(code));
      report_network_error("Error in read", code);
      set_state(receive_failed);
      fail();
      return;
    }
    n = 0;
  }
  take_received(bytes, n);
  // An end of stream (n == 0) comes as fd_close.
  if (is_complete()) {
    set_state(received);
    on_received();
  }
}

}  // namespace orvalis

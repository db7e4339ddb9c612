#include "platform/host_resolver.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstring>
#include <mutex>

namespace orvalis::platform {

namespace {

struct Lookup_tag {
  Host_resolver* resolver;
  int handle;
};

}  // namespace

bool Host_resolver::ensure_channel() {
  if (channel_) return true;
  if (channel_failed_) return false;
  static std::once_flag library_once;
  std::call_once(library_once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
  ares_options options{};
  options.sock_state_cb = &Host_resolver::socket_state;
  options.sock_state_cb_data = this;
  options.timeout = 2000;  // milliseconds per try
  options.tries = 2;
  int mask = ARES_OPT_SOCK_STATE_CB | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES;
  if (ares_init_options(&channel_, &options, mask) != ARES_SUCCESS) {
    channel_ = nullptr;
    channel_failed_ = true;
    return false;
  }
  if (!servers_.empty()) ares_set_servers_ports_csv(channel_, servers_.c_str());
  return true;
}

void Host_resolver::close() {
  if (!channel_) return;
  lookups_.clear();
  ares_destroy(channel_);  // pending look-ups end with ARES_EDESTRUCTION and free their tags
  channel_ = nullptr;
}

int Host_resolver::set_name_servers(const char* servers) {
  servers_ = servers ? servers : "";
  if (channel_ && !servers_.empty()) {
    int rc = ares_set_servers_ports_csv(channel_, servers_.c_str());
    if (rc == ARES_ENOTIMP) {
      // The resolver keeps its servers while queries are pending: those end with an error.
      ares_cancel(channel_);
      rc = ares_set_servers_ports_csv(channel_, servers_.c_str());
    }
    return rc == ARES_SUCCESS ? 0 : rc;
  }
  return 0;
}

void Host_resolver::socket_state(void* data, ares_socket_t fd, int readable, int writable) {
  static_cast<Host_resolver*>(data)->watch_(fd, readable != 0, writable != 0);
}

void Host_resolver::lookup_done(void* arg, int status, int, struct hostent* host) {
  auto* tag = static_cast<Lookup_tag*>(arg);
  Host_resolver* self = tag->resolver;
  int handle = tag->handle;
  delete tag;
  if (status == ARES_EDESTRUCTION) return;
  std::uint32_t address = 0;
  int error = status == ARES_SUCCESS ? 0 : status;
  if (error == 0) {
    if (host && host->h_addrtype == AF_INET && host->h_length == 4 && host->h_addr_list &&
        host->h_addr_list[0])
      std::memcpy(&address, host->h_addr_list[0], 4);
    else
      error = ARES_ENODATA;
  }
  // The reply goes out at the loop's next turn, never from inside the resolver (which may
  // even answer from the hosts file before lookup() has returned).
  self->post_([self, handle, error, address] {
    auto it = self->lookups_.find(handle);
    if (it == self->lookups_.end()) return;  // cancelled
    Event_loop::Lookup_handler h = std::move(it->second);
    self->lookups_.erase(it);
    if (h) h(handle, error, address);
  });
}

int Host_resolver::lookup(const char* host, Event_loop::Lookup_handler handler) {
  if (!host || !ensure_channel()) return 0;
  int handle = next_lookup_++;
  if (next_lookup_ <= 0) next_lookup_ = 1;
  lookups_[handle] = std::move(handler);
  ares_gethostbyname(channel_, host, AF_INET, &Host_resolver::lookup_done,
                     new Lookup_tag{this, handle});
  return handle;
}

void Host_resolver::process(int fd, unsigned ready) {
  if (channel_)
    ares_process_fd(channel_, (ready & (POLLIN | POLLHUP | POLLERR)) ? fd : ARES_SOCKET_BAD,
                    (ready & POLLOUT) ? fd : ARES_SOCKET_BAD);
}

void Host_resolver::process_timeouts() {
  if (channel_) ares_process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
}

long Host_resolver::next_timeout_ms() {
  if (!pending()) return -1;
  timeval tv{};
  timeval* max = ares_timeout(channel_, nullptr, &tv);
  return max ? max->tv_sec * 1000 + max->tv_usec / 1000 : -1;
}

}  // namespace orvalis::platform

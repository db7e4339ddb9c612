// The epoll implementation of Event_loop: level-triggered epoll for sockets, a sorted scan of
// a few timers, an eventfd that wakes the loop for callbacks posted from other threads, and a
// c-ares channel whose own sockets sit in the same epoll set.
#include <ares.h>
#include <netdb.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/event_loop.h"

namespace orvalis::platform {

namespace {

std::int64_t steady_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

constexpr std::uint64_t kWake_tag = ~std::uint64_t{0};

class Epoll_loop final : public Event_loop {
 public:
  Epoll_loop();
  ~Epoll_loop() override;

  int arm_socket(int fd, unsigned events, Socket_handler handler) override;
  void forget_socket(int fd) override;
  int add_timer(int period_ms, Callback handler) override;
  void remove_timer(int id) override;
  void post(Callback callback) override;
  int lookup_host(const char* host, Lookup_handler handler) override;
  void cancel_lookup(int handle) override;
  int set_name_servers(const char* servers) override;
  bool run_once(int timeout_ms) override;
  void run() override;
  void stop() override { stopped_ = true; }

 private:
  struct Entry {
    bool in_use = false;
    bool registered = false;   // present in the epoll set
    bool resolver = false;     // a socket of the c-ares channel
    unsigned armed = 0;        // Socket_event bits
    std::uint32_t mask = 0;    // epoll bits registered
    std::uint32_t generation = 0;
    Socket_handler handler;
  };
  struct Timer {
    int id;
    int period_ms;
    std::int64_t due_ms;
    Callback handler;
  };
  struct Lookup {
    Lookup_handler handler;
  };
  struct Lookup_tag {
    Epoll_loop* loop;
    int handle;
  };

  Entry& entry(int fd) {
    if (fd >= static_cast<int>(entries_.size())) entries_.resize(fd + 16);
    return entries_[fd];
  }
  static std::uint32_t mask_for(unsigned armed);
  int update_epoll(int fd, Entry& e, std::uint32_t mask);
  void handle_ready(int fd, std::uint32_t generation, std::uint32_t events);
  bool still(int fd, std::uint32_t generation) const {
    return fd < static_cast<int>(entries_.size()) && entries_[fd].in_use &&
           entries_[fd].generation == generation;
  }
  void deliver(int fd, unsigned event, int error) {
    Socket_handler h = entries_[fd].handler;  // the handler may re-arm and replace it
    if (h) h(fd, event, error);
  }
  void run_timers();
  void run_posted();
  bool ensure_channel();
  static void resolver_socket_state(void* data, ares_socket_t fd, int readable, int writable);
  static void lookup_done(void* arg, int status, int timeouts, struct hostent* host);

  int epoll_fd_ = -1;
  int wake_fd_ = -1;
  std::vector<Entry> entries_;
  std::vector<Timer> timers_;
  int next_timer_id_ = 1;
  std::mutex posted_lock_;
  std::vector<Callback> posted_;
  std::atomic<bool> has_posted_{false};
  std::thread::id owner_;
  bool stopped_ = false;

  ares_channel channel_ = nullptr;
  bool channel_failed_ = false;
  std::string servers_;
  std::unordered_map<int, Lookup> lookups_;
  int next_lookup_ = 1;
};

Epoll_loop::Epoll_loop() : owner_(std::this_thread::get_id()) {
  epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (epoll_fd_ >= 0 && wake_fd_ >= 0) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWake_tag;
    epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &ev);
  }
}

Epoll_loop::~Epoll_loop() {
  if (channel_) {
    lookups_.clear();
    ares_destroy(channel_);  // pending look-ups end with ARES_EDESTRUCTION and free their tags
  }
  if (wake_fd_ >= 0) ::close(wake_fd_);
  if (epoll_fd_ >= 0) ::close(epoll_fd_);
}

std::uint32_t Epoll_loop::mask_for(unsigned armed) {
  std::uint32_t m = 0;
  if (armed & (event_read | event_accept)) m |= EPOLLIN;
  if (armed & (event_read | event_close)) m |= EPOLLRDHUP;
  if (armed & (event_write | event_connect)) m |= EPOLLOUT;
  return m;
}

int Epoll_loop::update_epoll(int fd, Entry& e, std::uint32_t mask) {
  if (mask == 0) {
    // Hang-ups are reported even with an empty mask; an unarmed socket leaves the set.
    if (e.registered) epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
    e.registered = false;
    e.mask = 0;
    return 0;
  }
  if (e.registered && e.mask == mask) return 0;
  epoll_event ev{};
  ev.events = mask;
  ev.data.u64 = static_cast<std::uint64_t>(static_cast<std::uint32_t>(fd)) |
                (static_cast<std::uint64_t>(e.generation) << 32);
  int op = e.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
  if (epoll_ctl(epoll_fd_, op, fd, &ev) != 0) {
    if (op == EPOLL_CTL_ADD && errno == EEXIST) {
      if (epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, fd, &ev) != 0) return errno;
    } else {
      return errno;
    }
  }
  e.registered = true;
  e.mask = mask;
  return 0;
}

int Epoll_loop::arm_socket(int fd, unsigned events, Socket_handler handler) {
  if (fd < 0) return EBADF;
  if (epoll_fd_ < 0) return EBADF;
  Entry& e = entry(fd);
  if (!e.in_use) {
    e.in_use = true;
    e.registered = false;
    e.mask = 0;
    ++e.generation;
  }
  e.resolver = false;
  e.armed = events;
  e.handler = std::move(handler);
  return update_epoll(fd, e, mask_for(events));
}

void Epoll_loop::forget_socket(int fd) {
  if (fd < 0 || fd >= static_cast<int>(entries_.size())) return;
  Entry& e = entries_[fd];
  if (!e.in_use) return;
  if (e.registered) epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
  e.in_use = false;
  e.registered = false;
  e.armed = 0;
  e.mask = 0;
  e.handler = nullptr;
}

int Epoll_loop::add_timer(int period_ms, Callback handler) {
  if (period_ms < 1 || !handler) return -1;
  int id = next_timer_id_++;
  timers_.push_back(Timer{id, period_ms, steady_ms() + period_ms, std::move(handler)});
  return id;
}

void Epoll_loop::remove_timer(int id) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it)
    if (it->id == id) {
      timers_.erase(it);
      return;
    }
}

void Epoll_loop::post(Callback callback) {
  {
    std::lock_guard<std::mutex> g(posted_lock_);
    posted_.push_back(std::move(callback));
  }
  has_posted_ = true;
  if (std::this_thread::get_id() != owner_ && wake_fd_ >= 0) {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_fd_, &one, sizeof one);
  }
}

void Epoll_loop::resolver_socket_state(void* data, ares_socket_t fd, int readable, int writable) {
  auto* self = static_cast<Epoll_loop*>(data);
  if (!readable && !writable) {
    self->forget_socket(fd);
    return;
  }
  Entry& e = self->entry(fd);
  if (!e.in_use) {
    e.in_use = true;
    e.registered = false;
    ++e.generation;
  }
  e.resolver = true;
  e.handler = nullptr;
  e.armed = 0;
  self->update_epoll(fd, e, (readable ? EPOLLIN : 0u) | (writable ? EPOLLOUT : 0u));
}

bool Epoll_loop::ensure_channel() {
  if (channel_) return true;
  if (channel_failed_) return false;
  static std::once_flag library_once;
  std::call_once(library_once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
  ares_options options{};
  options.sock_state_cb = &Epoll_loop::resolver_socket_state;
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

int Epoll_loop::set_name_servers(const char* servers) {
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

void Epoll_loop::lookup_done(void* arg, int status, int, struct hostent* host) {
  auto* tag = static_cast<Lookup_tag*>(arg);
  Epoll_loop* self = tag->loop;
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
  // even answer from the hosts file before lookup_host has returned).
  self->post([self, handle, error, address] {
    auto it = self->lookups_.find(handle);
    if (it == self->lookups_.end()) return;  // cancelled
    Lookup_handler h = std::move(it->second.handler);
    self->lookups_.erase(it);
    if (h) h(handle, error, address);
  });
}

int Epoll_loop::lookup_host(const char* host, Lookup_handler handler) {
  if (!host || !ensure_channel()) return 0;
  int handle = next_lookup_++;
  if (next_lookup_ <= 0) next_lookup_ = 1;
  lookups_[handle] = Lookup{std::move(handler)};
  ares_gethostbyname(channel_, host, AF_INET, &Epoll_loop::lookup_done,
                     new Lookup_tag{this, handle});
  return handle;
}

void Epoll_loop::cancel_lookup(int handle) { lookups_.erase(handle); }

void Epoll_loop::handle_ready(int fd, std::uint32_t generation, std::uint32_t events) {
  if (!still(fd, generation)) return;
  Entry& e = entries_[fd];
  if (e.resolver) {
    if (channel_)
      ares_process_fd(channel_, (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ? fd : ARES_SOCKET_BAD,
                      (events & EPOLLOUT) ? fd : ARES_SOCKET_BAD);
    return;
  }
  unsigned armed = e.armed;
  const bool trouble = events & (EPOLLERR | EPOLLHUP);

  if ((armed & event_connect) && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
    int error = 0;
    socklen_t len = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
    // A connect is reported once. The handler usually arms the socket again at once, so the
    // epoll set is brought in line only afterwards.
    e.armed &= ~static_cast<unsigned>(event_connect);
    deliver(fd, event_connect, error);
    if (still(fd, generation)) update_epoll(fd, entries_[fd], mask_for(entries_[fd].armed));
    return;
  }
  if ((events & EPOLLOUT) && (armed & event_write)) {
    deliver(fd, event_write, 0);
    if (!still(fd, generation)) return;
    armed = entries_[fd].armed;
  }
  if (!(events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR))) return;
  if (armed & event_accept) {
    int error = 0;
    if (trouble) {
      socklen_t len = sizeof error;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
    }
    deliver(fd, event_accept, error);
    return;
  }
  if (!(armed & (event_read | event_close))) {
    // Only a hang-up can bring us here on a socket armed for something else.
    if (trouble && !(armed & event_write)) update_epoll(fd, entries_[fd], 0);
    return;
  }
  const bool maybe_end = events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR);
  if (!maybe_end) {
    if (armed & event_read) deliver(fd, event_read, 0);
    return;
  }
  if ((events & EPOLLIN) && !(events & EPOLLERR) && (armed & event_read)) {
    // Bytes first; whether the stream has ended is asked once they have been taken.
    deliver(fd, event_read, 0);
    if (!still(fd, generation)) return;
    armed = entries_[fd].armed;
    if (!(armed & (event_read | event_close))) return;
  }
  // The peer may have ended the stream: look whether bytes remain before saying so.
  char probe;
  ssize_t n = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) {
    deliver(fd, (armed & event_read) ? event_read : event_close, 0);
    return;
  }
  int error = 0;
  if (n < 0) {
    error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) {
      if (!trouble) return;
      socklen_t len = sizeof error;
      error = 0;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
    }
  }
  if (armed & event_close) {
    deliver(fd, event_close, error);
  } else {
    // End of stream on a socket armed only for reading: say it once, then stop watching,
    // or a level-triggered loop would report it forever.
    update_epoll(fd, entries_[fd], 0);
    deliver(fd, event_read, error);
  }
}

void Epoll_loop::run_timers() {
  if (timers_.empty()) return;
  std::int64_t now = steady_ms();
  // Handlers may add or remove timers: work from the ids due now.
  std::vector<int> due;
  for (const Timer& t : timers_)
    if (t.due_ms <= now) due.push_back(t.id);
  for (int id : due) {
    for (Timer& t : timers_) {
      if (t.id != id) continue;
      t.due_ms = now + t.period_ms;
      Callback h = t.handler;
      h();
      break;
    }
  }
}

void Epoll_loop::run_posted() {
  if (!has_posted_.load()) return;
  std::vector<Callback> batch;
  {
    std::lock_guard<std::mutex> g(posted_lock_);
    batch.swap(posted_);
    has_posted_ = false;
  }
  for (Callback& c : batch) c();
}

bool Epoll_loop::run_once(int timeout_ms) {
  owner_ = std::this_thread::get_id();
  if (epoll_fd_ < 0) return false;
  std::int64_t wait = timeout_ms;
  if (has_posted_.load()) wait = 0;
  std::int64_t now = steady_ms();
  for (const Timer& t : timers_) {
    std::int64_t left = t.due_ms > now ? t.due_ms - now : 0;
    if (wait < 0 || left < wait) wait = left;
  }
  if (channel_ && !lookups_.empty()) {
    timeval tv{};
    if (timeval* max = ares_timeout(channel_, nullptr, &tv)) {
      std::int64_t left = max->tv_sec * 1000 + max->tv_usec / 1000;
      if (wait < 0 || left < wait) wait = left;
    }
  }
  epoll_event events[64];
  int n = epoll_wait(epoll_fd_, events, 64, static_cast<int>(wait));
  for (int i = 0; i < n; ++i) {
    std::uint64_t tag = events[i].data.u64;
    if (tag == kWake_tag) {
      std::uint64_t count;
      [[maybe_unused]] ssize_t r = ::read(wake_fd_, &count, sizeof count);
      continue;
    }
    handle_ready(static_cast<int>(tag & 0xffffffffu), static_cast<std::uint32_t>(tag >> 32),
                 events[i].events);
  }
  // Resolver time-outs and retries.
  if (channel_ && !lookups_.empty()) ares_process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
  run_timers();
  run_posted();
  bool stopped = stopped_;
  stopped_ = false;
  return !stopped;
}

void Epoll_loop::run() {
  while (run_once(-1)) {
  }
}

}  // namespace

std::unique_ptr<Event_loop> make_epoll_loop() { return std::make_unique<Epoll_loop>(); }

}  // namespace orvalis::platform

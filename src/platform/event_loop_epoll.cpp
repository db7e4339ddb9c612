// The epoll implementation of Event_loop: level-triggered epoll for sockets, a sorted scan of
// a few timers, an eventfd that wakes the loop for callbacks posted from other threads, and a
// c-ares channel whose own sockets sit in the same epoll set.
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/event_loop.h"
#include "platform/host_resolver.h"
#include "platform/socket_readiness.h"

namespace orvalis::platform {

namespace {

std::int64_t steady_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

static_assert(EPOLLIN == POLLIN && EPOLLOUT == POLLOUT && EPOLLRDHUP == POLLRDHUP &&
                  EPOLLHUP == POLLHUP && EPOLLERR == POLLERR,
              "readiness is handed out in poll bits");

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
  // One socket of the set while its readiness is handed out.
  class Ready final : public Ready_socket {
   public:
    Ready(Epoll_loop& loop, int fd, std::uint32_t generation)
        : loop_(loop), fd_(fd), generation_(generation) {}
    bool present() const override { return loop_.still(fd_, generation_); }
    unsigned armed() const override { return loop_.entries_[fd_].armed; }
    void drop_connect() override {
      loop_.entries_[fd_].armed &= ~static_cast<unsigned>(event_connect);
    }
    void deliver(unsigned event, int error) override { loop_.deliver(fd_, event, error); }
    void watch_armed() override {
      loop_.update_epoll(fd_, loop_.entries_[fd_], mask_for(loop_.entries_[fd_].armed));
    }
    void watch_nothing() override { loop_.update_epoll(fd_, loop_.entries_[fd_], 0); }

   private:
    Epoll_loop& loop_;
    int fd_;
    std::uint32_t generation_;
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
  void watch_resolver_socket(int fd, bool readable, bool writable);

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
  Host_resolver resolver_{[this](int fd, bool r, bool w) { watch_resolver_socket(fd, r, w); },
                          [this](Callback c) { post(std::move(c)); }};
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
  resolver_.close();  // its sockets leave the set while the set is still open
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

void Epoll_loop::watch_resolver_socket(int fd, bool readable, bool writable) {
  if (!readable && !writable) {
    forget_socket(fd);
    return;
  }
  Entry& e = entry(fd);
  if (!e.in_use) {
    e.in_use = true;
    e.registered = false;
    ++e.generation;
  }
  e.resolver = true;
  e.handler = nullptr;
  e.armed = 0;
  update_epoll(fd, e, (readable ? EPOLLIN : 0u) | (writable ? EPOLLOUT : 0u));
}

int Epoll_loop::lookup_host(const char* host, Lookup_handler handler) {
  return resolver_.lookup(host, std::move(handler));
}

void Epoll_loop::cancel_lookup(int handle) { resolver_.cancel(handle); }

int Epoll_loop::set_name_servers(const char* servers) { return resolver_.set_name_servers(servers); }

void Epoll_loop::handle_ready(int fd, std::uint32_t generation, std::uint32_t events) {
  if (!still(fd, generation)) return;
  if (entries_[fd].resolver) {
    resolver_.process(fd, events);
    return;
  }
  Ready ready(*this, fd, generation);
  dispatch_readiness(fd, events, ready);
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
  if (std::int64_t left = resolver_.next_timeout_ms(); left >= 0 && (wait < 0 || left < wait))
    wait = left;
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
  if (resolver_.pending()) resolver_.process_timeouts();
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

// The Qt implementation of Event_loop. Notifiers are made once per descriptor number and kept
// (only switched on and off), so a handler may forget and close its socket, or arm a new socket
// that got the same number, from inside its own activation.
#include "ui/qt_event_loop.h"

#include <ares.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace orvalis::ui {

namespace {

using platform::Event_loop;
using namespace platform;

class Qt_event_loop final : public Event_loop {
 public:
  Qt_event_loop();
  ~Qt_event_loop() override;

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
    bool resolver = false;  // a socket of the c-ares channel
    unsigned armed = 0;
    short watched = 0;      // POLLIN / POLLOUT the notifiers are on for
    Socket_handler handler;
    std::unique_ptr<QSocketNotifier> reading;
    std::unique_ptr<QSocketNotifier> writing;
  };
  struct Lookup_tag {
    Qt_event_loop* loop;
    int handle;
  };

  Entry& entry(int fd);
  static short watch_for(unsigned armed);
  void watch(int fd, short what);
  void activated(int fd);
  void handle_ready(int fd, short revents);
  bool still(int fd) const {
    return fd < static_cast<int>(entries_.size()) && entries_[fd] && entries_[fd]->in_use;
  }
  void deliver(int fd, unsigned event, int error) {
    Socket_handler h = entries_[fd]->handler;  // the handler may re-arm and replace it
    if (h) h(fd, event, error);
  }
  bool ensure_channel();
  void resolver_ready(int fd, short revents);
  static void resolver_socket_state(void* data, ares_socket_t fd, int readable, int writable);
  static void lookup_done(void* arg, int status, int timeouts, struct hostent* host);

  QObject context_;  // lives on the loop's thread: posted callbacks run in its turn
  std::vector<std::unique_ptr<Entry>> entries_;
  std::map<int, std::unique_ptr<QTimer>> timers_;
  int next_timer_id_ = 1;
  std::atomic<bool> stopped_{false};

  ares_channel channel_ = nullptr;
  bool channel_failed_ = false;
  std::string servers_;
  std::unordered_map<int, Lookup_handler> lookups_;
  int next_lookup_ = 1;
  QTimer resolver_timer_;  // time-outs and retries while look-ups are pending
};

Qt_event_loop::Qt_event_loop() {
  resolver_timer_.setInterval(100);
  QObject::connect(&resolver_timer_, &QTimer::timeout, &context_, [this] {
    if (channel_) ares_process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    if (lookups_.empty()) resolver_timer_.stop();
  });
}

Qt_event_loop::~Qt_event_loop() {
  resolver_timer_.stop();
  if (channel_) {
    lookups_.clear();
    ares_destroy(channel_);  // pending look-ups end with ARES_EDESTRUCTION and free their tags
  }
}

Qt_event_loop::Entry& Qt_event_loop::entry(int fd) {
  if (fd >= static_cast<int>(entries_.size())) entries_.resize(fd + 16);
  std::unique_ptr<Entry>& e = entries_[fd];
  if (!e) {
    e = std::make_unique<Entry>();
    e->reading = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    e->writing = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    e->reading->setEnabled(false);
    e->writing->setEnabled(false);
    QObject::connect(e->reading.get(), &QSocketNotifier::activated, &context_,
                     [this, fd] { activated(fd); });
    QObject::connect(e->writing.get(), &QSocketNotifier::activated, &context_,
                     [this, fd] { activated(fd); });
  }
  return *e;
}

short Qt_event_loop::watch_for(unsigned armed) {
  short m = 0;
  if (armed & (event_read | event_accept | event_close)) m |= POLLIN;
  if (armed & (event_write | event_connect)) m |= POLLOUT;
  return m;
}

void Qt_event_loop::watch(int fd, short what) {
  Entry& e = *entries_[fd];
  e.watched = what;
  e.reading->setEnabled(what & POLLIN);
  e.writing->setEnabled(what & POLLOUT);
}

int Qt_event_loop::arm_socket(int fd, unsigned events, Socket_handler handler) {
  if (fd < 0) return EBADF;
  Entry& e = entry(fd);
  e.in_use = true;
  e.resolver = false;
  e.armed = events;
  e.handler = std::move(handler);
  watch(fd, watch_for(events));
  return 0;
}

void Qt_event_loop::forget_socket(int fd) {
  if (!still(fd)) return;
  Entry& e = *entries_[fd];
  watch(fd, 0);
  e.in_use = false;
  e.resolver = false;
  e.armed = 0;
  e.handler = nullptr;
}

void Qt_event_loop::activated(int fd) {
  if (!still(fd)) return;
  // What the descriptor has now: the notifier only says that one side woke.
  pollfd p{fd, static_cast<short>(entries_[fd]->watched | POLLRDHUP), 0};
  if (::poll(&p, 1, 0) <= 0) return;
  if (entries_[fd]->resolver)
    resolver_ready(fd, p.revents);
  else
    handle_ready(fd, p.revents);
}

void Qt_event_loop::handle_ready(int fd, short events) {
  unsigned armed = entries_[fd]->armed;
  const bool trouble = events & (POLLERR | POLLHUP);

  if ((armed & event_connect) && (events & (POLLOUT | POLLERR | POLLHUP))) {
    int error = 0;
    socklen_t len = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
    // A connect is reported once; the handler usually arms the socket again at once.
    entries_[fd]->armed &= ~static_cast<unsigned>(event_connect);
    deliver(fd, event_connect, error);
    if (still(fd)) watch(fd, watch_for(entries_[fd]->armed));
    return;
  }
  if ((events & POLLOUT) && (armed & event_write)) {
    deliver(fd, event_write, 0);
    if (!still(fd)) return;
    armed = entries_[fd]->armed;
  }
  if (!(events & (POLLIN | POLLRDHUP | POLLHUP | POLLERR))) return;
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
    if (trouble && !(armed & event_write)) watch(fd, 0);
    return;
  }
  const bool maybe_end = events & (POLLRDHUP | POLLHUP | POLLERR);
  if (!maybe_end) {
    if (armed & event_read) deliver(fd, event_read, 0);
    return;
  }
  if ((events & POLLIN) && !(events & POLLERR) && (armed & event_read)) {
    // Bytes first; whether the stream has ended is asked once they have been taken.
    deliver(fd, event_read, 0);
    if (!still(fd)) return;
    armed = entries_[fd]->armed;
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
    // or the notifier would report it forever.
    watch(fd, 0);
    deliver(fd, event_read, error);
  }
}

int Qt_event_loop::add_timer(int period_ms, Callback handler) {
  if (period_ms < 1 || !handler) return -1;
  int id = next_timer_id_++;
  auto timer = std::make_unique<QTimer>();
  timer->setInterval(period_ms);
  timer->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer.get(), &QTimer::timeout, &context_, [this, id, handler] {
    if (timers_.count(id)) {
      Callback h = handler;  // the handler may remove its own timer
      h();
    }
  });
  timer->start();
  timers_[id] = std::move(timer);
  return id;
}

void Qt_event_loop::remove_timer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second->stop();
  // The timer may be the one whose handler is running: it goes at the next turn.
  it->second.release()->deleteLater();
  timers_.erase(it);
}

void Qt_event_loop::post(Callback callback) {
  QMetaObject::invokeMethod(&context_, std::move(callback), Qt::QueuedConnection);
}

void Qt_event_loop::resolver_ready(int fd, short revents) {
  if (channel_)
    ares_process_fd(channel_, (revents & (POLLIN | POLLHUP | POLLERR)) ? fd : ARES_SOCKET_BAD,
                    (revents & POLLOUT) ? fd : ARES_SOCKET_BAD);
}

void Qt_event_loop::resolver_socket_state(void* data, ares_socket_t fd, int readable,
                                          int writable) {
  auto* self = static_cast<Qt_event_loop*>(data);
  if (!readable && !writable) {
    self->forget_socket(fd);
    return;
  }
  Entry& e = self->entry(fd);
  e.in_use = true;
  e.resolver = true;
  e.handler = nullptr;
  e.armed = 0;
  self->watch(fd, static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0)));
}

bool Qt_event_loop::ensure_channel() {
  if (channel_) return true;
  if (channel_failed_) return false;
  static std::once_flag library_once;
  std::call_once(library_once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
  ares_options options{};
  options.sock_state_cb = &Qt_event_loop::resolver_socket_state;
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

int Qt_event_loop::set_name_servers(const char* servers) {
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

void Qt_event_loop::lookup_done(void* arg, int status, int, struct hostent* host) {
  auto* tag = static_cast<Lookup_tag*>(arg);
  Qt_event_loop* self = tag->loop;
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
  // The reply goes out at the loop's next turn, never from inside the resolver.
  self->post([self, handle, error, address] {
    auto it = self->lookups_.find(handle);
    if (it == self->lookups_.end()) return;  // cancelled
    Lookup_handler h = std::move(it->second);
    self->lookups_.erase(it);
    if (h) h(handle, error, address);
  });
}

int Qt_event_loop::lookup_host(const char* host, Lookup_handler handler) {
  if (!host || !ensure_channel()) return 0;
  int handle = next_lookup_++;
  if (next_lookup_ <= 0) next_lookup_ = 1;
  lookups_[handle] = std::move(handler);
  if (!resolver_timer_.isActive()) resolver_timer_.start();
  ares_gethostbyname(channel_, host, AF_INET, &Qt_event_loop::lookup_done,
                     new Lookup_tag{this, handle});
  return handle;
}

void Qt_event_loop::cancel_lookup(int handle) { lookups_.erase(handle); }

bool Qt_event_loop::run_once(int timeout_ms) {
  if (timeout_ms == 0) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  } else {
    // A wait with a limit: a single-shot timer wakes the wait when nothing else does.
    QTimer limit;
    limit.setSingleShot(true);
    if (timeout_ms > 0) limit.start(timeout_ms);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  bool stopped = stopped_.exchange(false);
  return !stopped;
}

void Qt_event_loop::run() {
  while (run_once(-1)) {
  }
}

}  // namespace

std::unique_ptr<platform::Event_loop> make_qt_event_loop() {
  return std::make_unique<Qt_event_loop>();
}

}  // namespace orvalis::ui

// The Qt implementation of Event_loop. Notifiers are made once per descriptor number and kept
// (only switched on and off), so a handler may forget and close its socket, or arm a new socket
// that got the same number, from inside its own activation.
#include "ui/qt_event_loop.h"

#include <poll.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <map>
#include <vector>

#include "platform/host_resolver.h"
#include "platform/socket_readiness.h"

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
  // One notified socket while its readiness is handed out.
  class Ready final : public platform::Ready_socket {
   public:
    Ready(Qt_event_loop& loop, int fd) : loop_(loop), fd_(fd) {}
    bool present() const override { return loop_.still(fd_); }
    unsigned armed() const override { return loop_.entries_[fd_]->armed; }
    void drop_connect() override {
      loop_.entries_[fd_]->armed &= ~static_cast<unsigned>(event_connect);
    }
    void deliver(unsigned event, int error) override { loop_.deliver(fd_, event, error); }
    void watch_armed() override { loop_.watch(fd_, watch_for(loop_.entries_[fd_]->armed)); }
    void watch_nothing() override { loop_.watch(fd_, 0); }

   private:
    Qt_event_loop& loop_;
    int fd_;
  };

  Entry& entry(int fd);
  static short watch_for(unsigned armed);
  void watch(int fd, short what);
  void activated(int fd);
  bool still(int fd) const {
    return fd < static_cast<int>(entries_.size()) && entries_[fd] && entries_[fd]->in_use;
  }
  void deliver(int fd, unsigned event, int error) {
    Socket_handler h = entries_[fd]->handler;  // the handler may re-arm and replace it
    if (h) h(fd, event, error);
  }
  void watch_resolver_socket(int fd, bool readable, bool writable);

  QObject context_;  // lives on the loop's thread: posted callbacks run in its turn
  std::vector<std::unique_ptr<Entry>> entries_;
  std::map<int, std::unique_ptr<QTimer>> timers_;
  int next_timer_id_ = 1;
  std::atomic<bool> stopped_{false};

  platform::Host_resolver resolver_{
      [this](int fd, bool r, bool w) { watch_resolver_socket(fd, r, w); },
      [this](Callback c) { post(std::move(c)); }};
  QTimer resolver_timer_;  // time-outs and retries while look-ups are pending
};

Qt_event_loop::Qt_event_loop() {
  resolver_timer_.setInterval(100);
  QObject::connect(&resolver_timer_, &QTimer::timeout, &context_, [this] {
    resolver_.process_timeouts();
    if (!resolver_.pending()) resolver_timer_.stop();
  });
}

Qt_event_loop::~Qt_event_loop() {
  resolver_timer_.stop();
  resolver_.close();  // its sockets are forgotten while the notifiers still exist
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
  if (entries_[fd]->resolver) {
    resolver_.process(fd, static_cast<unsigned short>(p.revents));
  } else {
    Ready ready(*this, fd);
    platform::dispatch_readiness(fd, static_cast<unsigned short>(p.revents), ready);
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

void Qt_event_loop::watch_resolver_socket(int fd, bool readable, bool writable) {
  if (!readable && !writable) {
    forget_socket(fd);
    return;
  }
  Entry& e = entry(fd);
  e.in_use = true;
  e.resolver = true;
  e.handler = nullptr;
  e.armed = 0;
  watch(fd, static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0)));
}

int Qt_event_loop::set_name_servers(const char* servers) {
  return resolver_.set_name_servers(servers);
}

int Qt_event_loop::lookup_host(const char* host, Lookup_handler handler) {
  int handle = resolver_.lookup(host, std::move(handler));
  if (handle && !resolver_timer_.isActive()) resolver_timer_.start();
  return handle;
}

void Qt_event_loop::cancel_lookup(int handle) { resolver_.cancel(handle); }

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

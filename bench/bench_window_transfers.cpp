// The window's responsiveness while the agent works: the main window runs offscreen over a
// new database with a topic window showing the topic being searched, and the agent searches it
// on 60 engines at once, each on its own loopback host (127.0.0.3 to 127.0.0.62) served by
// slow servers this program starts: every answer trickles out in ten pieces over a second.
// Each result page gives new documents on the other hosts, whose summaries keep the 60 hosts
// busy; every search and summary that ends updates the item list and the tree. A 10 ms timer
// on the same event loop records the time between its turns: the longest gap and the 99th
// percentile are the figures ("frames"; the limit is 100 ms).
//
// Agent time is a hand-moved clock, one second per 50 ms of real time, so the 30-second spacing
// between two requests to one host passes in 1.5 s and the run stays short; the transfers
// themselves take real time.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "agent/application.h"
#include "agent/task_manager.h"
#include "database/search_resource_store.h"
#include "database/topic_store.h"
#include "foundation/settings.h"
#include "net/network.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/message_sink.h"
#include "ui/child_frame.h"
#include "ui/controller_agent.h"
#include "ui/item_list_model.h"
#include "ui/main_frame.h"
#include "ui/qt_event_loop.h"

namespace {

using namespace orvalis;
using Clock = std::chrono::steady_clock;

constexpr int kHosts = 60;
constexpr int kLinks_per_result = 15;
constexpr int kPieces = 10;
constexpr auto kPiece_gap = std::chrono::milliseconds(100);

// Slow HTTP servers, one per loopback address, on one thread: each request is answered in
// kPieces pieces kPiece_gap apart, then the connection is closed.
class Slow_web {
 public:
  ~Slow_web() { stop(); }
  bool start() {
    for (int i = 0; i < kHosts; ++i) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      int on = 1;
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(0x7f000003 + i);
      if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 128) != 0) {
        ::close(fd);
        return false;
      }
      socklen_t n = sizeof a;
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
      listeners_.push_back(fd);
      bases_.push_back("http://127.0.0." + std::to_string(3 + i) + ":" + std::to_string(ntohs(a.sin_port)));
    }
    thread_ = std::thread([this] { run(); });
    return true;
  }
  void stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : listeners_) ::close(fd);
    listeners_.clear();
  }
  const std::string& base(int host) const { return bases_[host]; }
  long answered() const { return answered_; }

 private:
  struct Peer {
    int fd;
    std::string request;
    std::string answer;
    size_t sent = 0;
    int pieces = 0;
    Clock::time_point next{};
  };

  std::string page(const std::string& path) const {
    std::string body = "<html><head><title>Page " + path + "</title></head><body>";
    if (path.rfind("/search", 0) == 0) {
      // A result page: documents on the other hosts, new to the database every time.
      int n = counter_++;
      for (int k = 0; k < kLinks_per_result; ++k) {
        const std::string& host = bases_[(n * 7 + k) % kHosts];
        body += "<p><a href=\"" + host + "/doc/" + std::to_string(n) + "-" + std::to_string(k) +
                ".html\">Result " + std::to_string(k) + " about solar sails</a></p>";
      }
    } else {
      for (int s = 0; s < 12; ++s)
        body += "<p>The solar sail uses the pressure of sunlight on a thin reflective film. "
                "Engineers fold the membrane tightly and unfold it in orbit, where the light "
                "pushes the craft slowly but without fuel.</p>";
    }
    body += "</body></html>";
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
  }

  void run() {
    std::vector<Peer> peers;
    while (!stopping_) {
      std::vector<pollfd> fds;
      for (int fd : listeners_) fds.push_back({fd, POLLIN, 0});
      for (Peer& p : peers) fds.push_back({p.fd, static_cast<short>(p.answer.empty() ? POLLIN : 0), 0});
      ::poll(fds.data(), fds.size(), 10);
      for (size_t i = 0; i < listeners_.size(); ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        for (int c; (c = ::accept4(listeners_[i], nullptr, nullptr, SOCK_NONBLOCK)) >= 0;)
          peers.push_back({c, {}, {}, 0, 0, {}});
      }
      auto now = Clock::now();
      for (Peer& p : peers) {
        if (p.answer.empty()) {
          char buffer[4096];
          ssize_t n = ::read(p.fd, buffer, sizeof buffer);
          if (n == 0) p.pieces = -1;
          if (n > 0) p.request.append(buffer, static_cast<size_t>(n));
          if (p.request.find("\r\n\r\n") == std::string::npos) continue;
          size_t space = p.request.find(' ');
          p.answer = page(p.request.substr(space + 1, p.request.find(' ', space + 1) - space - 1));
          p.next = now;
        }
        if (p.pieces < 0 || now < p.next) continue;
        size_t piece = (p.answer.size() + kPieces - 1) / kPieces;
        size_t n = std::min(piece, p.answer.size() - p.sent);
        ssize_t w = ::send(p.fd, p.answer.data() + p.sent, n, MSG_NOSIGNAL);
        if (w > 0) p.sent += static_cast<size_t>(w);
        if (w < 0 && errno != EAGAIN) p.pieces = -1;
        p.next = now + kPiece_gap;
        if (p.sent == p.answer.size()) {
          ++answered_;
          p.pieces = -1;
        }
      }
      for (auto it = peers.begin(); it != peers.end();) {
        if (it->pieces < 0) {
          ::close(it->fd);
          it = peers.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (Peer& p : peers) ::close(p.fd);
  }

  std::vector<int> listeners_;
  std::vector<std::string> bases_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<long> answered_{0};
  mutable int counter_ = 0;
};

double thread_cpu_ms() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Quiet_sink : platform::Message_sink {
  void show(const std::string&, const std::string&) override { ++shown; }
  int shown = 0;
};

void BM_WindowFramesWith60TransfersInFlight(benchmark::State& state) {
  namespace fs = std::filesystem;
  const double seconds = static_cast<double>(state.range(0));
  fs::path home = fs::temp_directory_path() / ("orvalis-bench-window-" + std::to_string(::getpid()));
  fs::create_directories(home);
  setenv("ORVALIS_CONFIG_HOME", (home / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  setenv("ORVALIS_SHIPPED_DATA", ORVALIS_DATA_DIR, 1);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "bench_window";
  static char* argv[] = {name, nullptr};
  static QApplication* qt = new QApplication(argc, argv);
  (void)qt;

  Slow_web web;
  if (!web.start()) {
    state.SkipWithError("cannot bind the loopback addresses 127.0.0.3 to 127.0.0.62");
    return;
  }
  platform::Manual_clock agent_clock(1'700'000'000);
  platform::Scoped_clock installed(agent_clock);
  Quiet_sink sink;
  platform::set_message_sink(&sink);
  std::unique_ptr<platform::Event_loop> loop = ui::make_qt_event_loop();
  platform::set_current_event_loop(loop.get());
  std::vector<double> gaps;
  // The user-interface thread's own CPU time in each gap: a long gap with little of it was
  // spent waiting (the disk, or a machine busy with other work), not computing.
  std::vector<std::pair<double, double>> gap_cpu;
  int most_in_flight = 0, rows = 0;
  {
    ui::Controller_agent agent;
    agent.install_hooks();
    Application::instance().start({});
    network_limits().concurrent_requests = kHosts;
    ui::CMainFrame frame(&agent);
    frame.show();
    frame.new_database(QString::fromStdString((home / "bench.ov2").string()));
    for (int i = 0; i < kHosts; ++i) {
      Search_resource r;
      r.name = Ref_string(std::string_view("Slow " + std::to_string(i)));
      r.location = Url(Ref_string(std::string_view(web.base(i) + "/search")));
      r.search_field = "q";
      r.enabled = 1;
      r.category = "Bench";
      Search_resource_store().save_resource(r);
    }
    Topic_handle topic = Topic_store::shared().add_topic("solar sail");
    topic->category = "Bench";
    topic->is_user_topic = topic->is_user_top_level = 1;
    Topic_store::shared().save_topic(*topic);
    ui::CChildFrame* w = frame.active_topic_window();
    w->reload();
    w->select_topic(topic->concept_id);

    QTimer agent_time;  // agent time: one second per 50 ms
    QObject::connect(&agent_time, &QTimer::timeout, [&] { agent_clock.advance(1); });
    agent_time.start(50);
    QTimer frames;
    frames.setTimerType(Qt::PreciseTimer);
    QElapsedTimer since;
    double last_cpu = thread_cpu_ms();
    QObject::connect(&frames, &QTimer::timeout, [&] {
      double gap = static_cast<double>(since.nsecsElapsed()) / 1e6;
      double cpu = thread_cpu_ms();
      gaps.push_back(gap);
      gap_cpu.emplace_back(gap, cpu - last_cpu);
      last_cpu = cpu;
      since.restart();
      most_in_flight = std::max(most_in_flight, active_requests().count());
    });

    for (auto _ : state) {
      frame.run_command(ui::cmd_search_web);
      since.start();
      frames.start(10);
      auto end = Clock::now() + std::chrono::duration<double>(seconds);
      while (Clock::now() < end) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
      frames.stop();
    }
    rows = w->list_model()->rowCount();
    Task_manager::instance().stop_all();
  }
  Application::instance().exit();
  Application::instance().hooks() = Application::Hooks{};
  platform::set_current_event_loop(nullptr);
  platform::set_message_sink(nullptr);
  web.stop();
  fs::remove_all(home);

  if (gaps.empty()) {
    state.SkipWithError("the frame timer never ran");
    return;
  }
  std::sort(gaps.begin(), gaps.end());
  std::sort(gap_cpu.begin(), gap_cpu.end());
  double most_cpu = 0;
  for (const auto& g : gap_cpu) most_cpu = std::max(most_cpu, g.second);
  const double longest = gaps.back();
  const double p99 = gaps[std::min(gaps.size() - 1, static_cast<size_t>(0.99 * static_cast<double>(gaps.size())))];
  state.counters["frame_max_ms"] = longest;
  state.counters["frame_p99_ms"] = p99;
  state.counters["frame_max_cpu_ms"] = gap_cpu.back().second;
  state.counters["most_cpu_in_a_frame_ms"] = most_cpu;
  state.counters["frames"] = static_cast<double>(gaps.size());
  state.counters["most_in_flight"] = most_in_flight;
  state.counters["answers"] = static_cast<double>(web.answered());
  state.counters["list_rows"] = rows;
  std::fprintf(stderr,
               "frames %zu, longest %.1f ms (%.1f ms of CPU), 99th percentile %.1f ms, most CPU in "
               "one frame %.1f ms, most in flight %d, answers %ld, list rows %d\n",
               gaps.size(), longest, gap_cpu.back().second, p99, most_cpu, most_in_flight,
               web.answered(), rows);
  if (longest > 100) state.SkipWithError("a frame took longer than 100 ms");
}
BENCHMARK(BM_WindowFramesWith60TransfersInFlight)->Arg(20)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();

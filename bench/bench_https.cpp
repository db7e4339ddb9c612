// Throughput of https fetches against a local nginx (a certificate for "localhost" from a
// throw-away authority, trusted through SSL_CERT_FILE): 5,000 fetches of a 20 KB page with 60
// transfers in flight, started through activate_request (host spacing off), beside curl
// fetching the same addresses with --parallel --parallel-max 60 and --cacert.
// Counters: requests per second for both and their ratio. curl runs twice: as asked (it keeps
// connections open and reuses them, so most requests need no handshake) and with one HTTP/1.0
// connection per request, which is what this client does (one handshake per fetch, resumed
// when the server's ticket allows). CPU time per request is reported for all three because
// the machine's cores are shared with nginx.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "foundation/settings.h"
#include "net/network.h"
#include "net/network_task.h"
#include "platform/event_loop.h"
#include "test_servers.h"
#include "tls_test_authority.h"

namespace orvalis {
namespace {

constexpr int kFetches = 5000;
constexpr int kIn_flight = 60;
constexpr int kPage_bytes = 20 * 1024;

struct Peers {
  testing::Tls_test_authority authority;
  testing::Nginx_server nginx;
};

Peers& peers() {
  static Peers* p = [] {
    auto* s = new Peers;
    if (!s->authority.make()) {
      std::fprintf(stderr, "bench_https: openssl could not make certificates\n%s",
                   s->authority.log().c_str());
      std::exit(1);
    }
    // Before the first TLS context is made.
    ::setenv("SSL_CERT_FILE", s->authority.ca_file().c_str(), 1);
    if (!s->nginx.start_https(s->authority.localhost().cert, s->authority.localhost().key)) {
      std::fprintf(stderr, "bench_https: nginx could not be started\n");
      std::exit(1);
    }
    s->nginx.put("/page.html", std::string(kPage_bytes, 'p'));
    return s;
  }();
  return *p;
}

class Bench_task final : public Network_task {
 public:
  void process_result() override {}
};

// Keeps kIn_flight transfers going until kFetches have been started.
class Driver final : public Completion_listener {
 public:
  explicit Driver(std::string url) : url_(std::move(url)) {}
  void start_one() {
    Counted_handle<Bench_task> t = make_counted<Bench_task>();
    t->set_url(Ref_string(url_));
    t->connection()->set_timeout(60);
    t->set_completion_listener(Completion_listener_handle(this));
    ++started;
    activate_request(t);
  }
  void on_complete(Network_task& task) override {
    ++finished;
    if (task.status() != Network_task::succeeded) ++failures;
    if (started < kFetches) start_one();
  }
  int started = 0;
  int finished = 0;
  int failures = 0;

 private:
  std::string url_;
};

double cpu_seconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs curl over the same addresses; wall-clock seconds, or -1 when curl failed. Sets `cpu`
// to curl's CPU seconds.
double run_curl(const std::string& url, bool new_connection_each, double& cpu) {
  std::string dir = testing::make_temp_dir("orvalis-bench-curl-");
  std::string config = dir + "/urls.conf";
  {
    std::ofstream out(config);
    for (int i = 0; i < kFetches; ++i) out << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
  }
  std::string cmd = "curl --parallel --parallel-max " + std::to_string(kIn_flight) +
                    " --no-progress-meter --fail --cacert " + peers().authority.ca_file() +
                    " -K " + config;
  if (new_connection_each) cmd += " --http1.0 -H 'Connection: close'";
  cmd += " 2>/dev/null";
  double cpu0 = cpu_seconds(RUSAGE_CHILDREN);
  auto t0 = std::chrono::steady_clock::now();
  int rc = std::system(cmd.c_str());
  double s = seconds_since(t0);
  cpu = cpu_seconds(RUSAGE_CHILDREN) - cpu0;
  testing::remove_tree(dir);
  return rc == 0 ? s : -1;
}

void BM_https_fetch_5k_pages_60_in_flight(benchmark::State& state) {
  std::string url = peers().nginx.url("/page.html");
  Settings_cache::instance().set("ProxyEnabled", "no");
  Settings_cache::instance().set("UserAgent", "Orvalis 2.0");
  network_limits().concurrent_requests = kIn_flight;
  set_host_spacing_enabled(false);
  net_startup();
  for (auto _ : state) {
    auto driver = make_counted<Driver>(url);
    double cpu0 = cpu_seconds(RUSAGE_SELF);
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kIn_flight; ++i) driver->start_one();
    platform::Event_loop& loop = platform::current_event_loop();
    while (driver->finished < kFetches) loop.run_once(1000);
    double ours = seconds_since(t0);
    double ours_cpu = cpu_seconds(RUSAGE_SELF) - cpu0;
    state.SetIterationTime(ours);
    double reuse_cpu = 0, close_cpu = 0;
    double curl_reuse = run_curl(url, false, reuse_cpu);
    double curl_close = run_curl(url, true, close_cpu);
    state.counters["req_per_s"] = kFetches / ours;
    state.counters["cpu_us_per_req"] = ours_cpu * 1e6 / kFetches;
    state.counters["curl_cpu_us_per_req"] = reuse_cpu * 1e6 / kFetches;
    state.counters["curl_close_cpu_us_per_req"] = close_cpu * 1e6 / kFetches;
    state.counters["failures"] = driver->failures;
    if (curl_reuse > 0) {
      state.counters["curl_req_per_s"] = kFetches / curl_reuse;
      state.counters["ratio_vs_curl"] = curl_reuse / ours;
    }
    if (curl_close > 0) {
      state.counters["curl_close_req_per_s"] = kFetches / curl_close;
      state.counters["ratio_vs_curl_close"] = curl_close / ours;
    }
  }
  net_shutdown();
}
BENCHMARK(BM_https_fetch_5k_pages_60_in_flight)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvalis

BENCHMARK_MAIN();

// Throughput and memory of the network layer against a local nginx: 20,000 fetches of a
// 20 KB page with 60 transfers in flight, started through activate_request (host spacing
// off), beside curl fetching the same addresses with --parallel --parallel-max 60.
// Counters: requests per second for both and their ratio; peak heap bytes per connection
// beyond the page data (the heap is counted by replacing the global operator new/delete).
// curl runs twice: as asked (it keeps connections open and reuses them) and with one
// HTTP/1.0 connection per request, which is what this client does; CPU time per request is
// reported for all three because the machine's cores are shared with nginx. Also the header
// parse of a reply made of 1 MB of header lines.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include "foundation/settings.h"
#include "net/host_table.h"
#include "net/http_response.h"
#include "net/network.h"
#include "net/network_task.h"
#include "platform/event_loop.h"
#include "test_servers.h"

// The replaced operators pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<long long> heap_now{0};
std::atomic<long long> heap_peak{0};

void count_alloc(void* p) {
  if (!p) return;
  long long now = heap_now += static_cast<long long>(malloc_usable_size(p));
  long long peak = heap_peak.load();
  while (now > peak && !heap_peak.compare_exchange_weak(peak, now)) {
  }
}
}  // namespace

void* operator new(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  count_alloc(p);
  return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept {
  if (!p) return;
  heap_now -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace orvalis {
namespace {

constexpr int kFetches = 20000;
constexpr int kIn_flight = 60;
constexpr int kPage_bytes = 20 * 1024;

testing::Nginx_server& server() {
  static testing::Nginx_server* nginx = [] {
    auto* s = new testing::Nginx_server;
    if (!s->start()) {
      std::fprintf(stderr, "bench_net: nginx could not be started\n");
      std::exit(1);
    }
    s->put("/page.html", std::string(kPage_bytes, 'p'));
    return s;
  }();
  return *nginx;
}

class Bench_task final : public Network_task {
 public:
  void process_result() override {
    if (status() == succeeded && connection()) bytes = connection()->received_buffer()->length();
  }
  std::int64_t bytes = 0;
};

// Keeps kIn_flight transfers going until kFetches have been started.
class Driver final : public Completion_listener {
 public:
  explicit Driver(std::string url) : url_(std::move(url)) {}
  void start_one() {
    Counted_handle<Bench_task> t = make_counted<Bench_task>();
    if (hold) held.append(Network_task_handle(t));
    t->set_url(Ref_string(url_));
    t->connection()->set_timeout(60);
    t->set_completion_listener(Completion_listener_handle(this));
    ++started;
    activate_request(t);
  }
  void on_complete(Network_task& task) override {
    ++finished;
    auto& b = static_cast<Bench_task&>(task);
    if (task.status() != Network_task::succeeded) ++failures;
    response_bytes = b.bytes ? b.bytes : response_bytes;
    if (started < kFetches) start_one();
  }
  bool hold = false;  // keep every task (and its page) until the driver goes
  Ref_list<Network_task_handle> held;
  int started = 0;
  int finished = 0;
  int failures = 0;
  std::int64_t response_bytes = 0;

 private:
  std::string url_;
};

// CPU seconds (user + system) of this process, or of its finished children.
double cpu_seconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs curl over the same addresses; wall-clock seconds, or -1 when curl failed. Adds curl's
// CPU seconds to `cpu`.
double run_curl(const std::string& url, bool new_connection_each, double& cpu) {
  std::string dir = testing::make_temp_dir("orvalis-bench-curl-");
  std::string config = dir + "/urls.conf";
  {
    std::ofstream out(config);
    for (int i = 0; i < kFetches; ++i) out << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
  }
  std::string cmd = "curl --parallel --parallel-max " + std::to_string(kIn_flight) +
                    " --no-progress-meter -K " + config;
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

void prepare() {
  Settings_cache::instance().set("ProxyEnabled", "no");
  Settings_cache::instance().set("UserAgent", "Orvalis 2.0");
  set_host_spacing_enabled(false);
  net_startup();
}

void run_fetches(Driver& driver) {
  for (int i = 0; i < kIn_flight; ++i) driver.start_one();
  platform::Event_loop& loop = platform::current_event_loop();
  while (driver.finished < kFetches) loop.run_once(1000);
}

void BM_fetch_20k_pages_60_in_flight(benchmark::State& state) {
  prepare();
  std::string url = server().url("/page.html");
  for (auto _ : state) {
    auto driver = make_counted<Driver>(url);
    double cpu0 = cpu_seconds(RUSAGE_SELF);
    auto t0 = std::chrono::steady_clock::now();
    run_fetches(*driver);
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
}
BENCHMARK(BM_fetch_20k_pages_60_in_flight)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Peak heap of 60 transfers started together, each kept with its page until all have ended,
// per connection, beyond the response bytes each one holds (status line, headers, 20 KB).
void BM_memory_60_in_flight(benchmark::State& state) {
  prepare();
  std::string url = server().url("/page.html");
  for (auto _ : state) {
    auto driver = make_counted<Driver>(url);
    // Warm up the layer's tables and the loop's socket table first.
    run_fetches(*driver);
    auto measured = make_counted<Driver>(url);
    measured->hold = true;
    long long base = heap_now.load();
    heap_peak = base;
    for (int i = 0; i < kIn_flight; ++i) measured->start_one();
    measured->started = kFetches;  // no replacements: exactly 60 in flight, then drain
    platform::Event_loop& loop = platform::current_event_loop();
    while (measured->finished < kIn_flight) loop.run_once(1000);
    long long peak = heap_peak.load() - base;
    double per_connection = static_cast<double>(peak) / kIn_flight;
    state.counters["peak_heap_bytes"] = static_cast<double>(peak);
    state.counters["bytes_per_connection"] = per_connection;
    state.counters["response_bytes"] = static_cast<double>(measured->response_bytes);
    state.counters["beyond_page_per_connection"] =
        per_connection - static_cast<double>(measured->response_bytes);
  }
}
BENCHMARK(BM_memory_60_in_flight)->Iterations(1)->Unit(benchmark::kMillisecond);

// The header parse of a hostile reply: 1 MB of short header lines, each a new name.
void BM_parse_megabyte_of_header_lines(benchmark::State& state) {
  std::string text = "HTTP/1.0 200 OK\r\n";
  for (int i = 0; text.size() < 1048576; ++i) text += "X-" + std::to_string(i) + ": v\r\n";
  text += "\r\nbody";
  for (auto _ : state) {
    Http_response_handle r = parse_response(text.data(), static_cast<std::int64_t>(text.size()));
    benchmark::DoNotOptimize(r->headers.count());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_parse_megabyte_of_header_lines)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvalis

BENCHMARK_MAIN();

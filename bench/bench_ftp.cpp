// Listing and retrieving 1,000 files of 20 KB, one after another, from a local FTP server
// (pyftpdlib on 127.0.0.1, active mode), through Ftp_connection and the network layer; and the
// same listing and files with curl in one invocation (active mode too, so both make one data
// connection per file; curl keeps its control connection between files, we log in per file).
// Each benchmark reports files per second; the last line printed is the ratio.
//
//   build/ftp-bench/bench/bench_ftp
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "net/network.h"
#include "net/network_task.h"
#include "platform/event_loop.h"

namespace {

constexpr int kFiles = 1000;
constexpr int kFile_bytes = 20 * 1024;

class Ftp_fixture {
 public:
  Ftp_fixture() {
    dir_ = std::filesystem::temp_directory_path() / ("orvalis-bench-ftp-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_ / "files");
    std::string content(kFile_bytes, 'x');
    for (int i = 0; i < kFile_bytes; i += 64) content[i] = '\n';
    for (int i = 1; i <= kFiles; ++i) std::ofstream(dir_ / "files" / ("f" + std::to_string(i))) << content;
    port_ = free_port();
    pid_ = ::fork();
    if (pid_ == 0) {
      int null_fd = ::open("/dev/null", O_RDWR);
      ::dup2(null_fd, 0);
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
      std::string script = std::string(ORVALIS_SOURCE_DIR) + "/tests/support/ftp_server.py";
      std::string port = std::to_string(port_), root = dir_.string();
      ::execl("/usr/bin/python3", "python3", script.c_str(), port.c_str(), root.c_str(), nullptr);
      ::_exit(127);
    }
    for (int i = 0; i < 300 && !accepting(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ~Ftp_fixture() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string url(const std::string& path) const {
    return "ftp://127.0.0.1:" + std::to_string(port_) + path;
  }
  int port() const { return port_; }

 private:
  static int free_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
  }
  bool accepting() const {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port_));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
  }
  std::filesystem::path dir_;
  int port_ = 0;
  pid_t pid_ = -1;
};

Ftp_fixture& server() {
  static Ftp_fixture f;
  return f;
}

class Bench_task : public orvalis::Network_task {
 public:
  void process_result() override {
    ended = true;
    if (status() == succeeded) bytes = connection()->received_buffer()->length();
  }
  bool ended = false;
  std::int64_t bytes = 0;
};

// One transfer through the network layer, the loop run until it ends; the bytes received.
std::int64_t transfer(const std::string& url) {
  auto task = orvalis::make_counted<Bench_task>();
  task->set_url(orvalis::Ref_string(url));
  task->connection()->set_timeout(30);
  orvalis::activate_request(task);
  orvalis::platform::Event_loop& loop = orvalis::platform::current_event_loop();
  while (!task->ended) loop.run_once(1000);
  return task->bytes;
}

double orvalis_rate = 0, curl_rate = 0;

void BM_orvalis_ftp_list_and_retrieve(benchmark::State& state) {
  Ftp_fixture& f = server();
  orvalis::set_host_spacing_enabled(false);
  orvalis::Collecting_error_handler errors;
  orvalis::net_startup();
  std::int64_t bytes = 0;
  for (auto _ : state) {
    if (transfer(f.url("/files/")) <= 0) state.SkipWithError("listing failed");
    for (int i = 1; i <= kFiles; ++i) {
      std::int64_t n = transfer(f.url("/files/f" + std::to_string(i)));
      if (n != kFile_bytes + kFile_bytes / 64) {  // TYPE a: each LF arrives as CR LF
        state.SkipWithError("a file did not arrive whole");
        return;
      }
      bytes += n;
    }
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
  state.SetBytesProcessed(bytes);
  state.counters["files_per_s"] = benchmark::Counter(static_cast<double>(state.iterations() * kFiles),
                                                     benchmark::Counter::kIsRate);
}

void BM_curl_ftp_list_and_retrieve(benchmark::State& state) {
  Ftp_fixture& f = server();
  std::string command = "curl -s -P 127.0.0.1 " + f.url("/files/") + " \"" +
                        f.url("/files/f[1-" + std::to_string(kFiles) + "]") + "\" > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("curl failed");
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
  state.counters["files_per_s"] = benchmark::Counter(static_cast<double>(state.iterations() * kFiles),
                                                     benchmark::Counter::kIsRate);
}

BENCHMARK(BM_orvalis_ftp_list_and_retrieve)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_curl_ftp_list_and_retrieve)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

class Rate_reporter : public benchmark::ConsoleReporter {
 public:
  Rate_reporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      double seconds = r.GetAdjustedRealTime() / 1000.0;  // per iteration, in milliseconds
      if (seconds <= 0) continue;
      double rate = kFiles / seconds;
      if (r.benchmark_name().find("orvalis") != std::string::npos) orvalis_rate = rate;
      if (r.benchmark_name().find("curl") != std::string::npos) curl_rate = rate;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Rate_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (orvalis_rate > 0 && curl_rate > 0)
    std::printf("files per second: orvalis %.0f, curl %.0f, ratio orvalis/curl %.2f\n", orvalis_rate,
                curl_rate, orvalis_rate / curl_rate);
  benchmark::Shutdown();
  return 0;
}

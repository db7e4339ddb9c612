// What compression saves and what the page encodings cost.
//
// BM_fetch_pages: 1,000 real documentation pages (cmake-doc's HTML, or the folder named by
// ORVALIS_BENCH_HTML_DIR) served by a local nginx with gzip on, fetched through
// activate_request with 20 transfers in flight (host spacing off), once asking for compressed
// replies and once not. Counters: body bytes over the wire (nginx's log), wall time per run, and
// the processor time spent decoding (zlib, all decoders).
//
// BM_convert: pages in windows-1251 and Shift_JIS (a real documentation page's markup with its
// paragraphs replaced by Russian or Japanese text, converted with iconv) read to UTF-8, in MB/s
// of input; BM_scan_utf8 is the HTML scanner over the same pages once converted, for comparison.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/page_encoding.h"
#include "foundation/settings.h"
#include "net/content_decoder.h"
#include "net/host_table.h"
#include "net/network.h"
#include "net/network_task.h"
#include "platform/event_loop.h"
#include "test_servers.h"
#include "text/html_scanner.h"

namespace orvalis {
namespace {

constexpr int kPages = 1000;
constexpr int kIn_flight = 20;

std::string html_folder() {
  if (const char* dir = std::getenv("ORVALIS_BENCH_HTML_DIR")) return dir;
  return "/usr/share/doc/cmake-data/html";
}

// The first kPages HTML files of the folder, by path, relative to it.
std::vector<std::string>& page_paths() {
  static std::vector<std::string> paths = [] {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(html_folder(), ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (it->is_regular_file() && it->path().extension() == ".html")
        found.push_back(std::filesystem::relative(it->path(), html_folder()).string());
    std::sort(found.begin(), found.end());
    if (found.size() > static_cast<size_t>(kPages)) found.resize(kPages);
    return found;
  }();
  return paths;
}

testing::Nginx_server& server() {
  static testing::Nginx_server* nginx = [] {
    auto* s = new testing::Nginx_server;
    const std::string log = std::filesystem::temp_directory_path().string() + "/orvalis-bench-gzip.log";
    std::remove(log.c_str());
    if (!s->start("    gzip on; gzip_http_version 1.0; gzip_comp_level 6;\n"
                  "    access_log " + log + ";\n"
                  "    location /doc/ { alias " + html_folder() + "/; }\n")) {
      std::fprintf(stderr, "bench_compression: nginx could not be started\n");
      std::exit(1);
    }
    return s;
  }();
  return *nginx;
}

// The sum of the body bytes sent ($body_bytes_sent, the 10th field of the combined format)
// since the log was last read.
long long bytes_sent_since_last() {
  static std::streamoff read = 0;
  std::ifstream in(std::filesystem::temp_directory_path().string() + "/orvalis-bench-gzip.log");
  in.seekg(read);
  long long total = 0;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string f;
    for (int i = 0; i < 10 && fields >> f; ++i) {
    }
    total += std::atoll(f.c_str());
  }
  in.clear();
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (end >= 0) read = end;
  return total;
}

class Page_task final : public Network_task {
 public:
  void process_result() override {
    ++*done;
    if (status() == succeeded && connection()) *body_bytes += connection()->received_buffer()->length();
  }
  int* done = nullptr;
  long long* body_bytes = nullptr;
};

void BM_fetch_pages(benchmark::State& state) {
  const bool compressed = state.range(0) == 1;
  const std::vector<std::string>& paths = page_paths();
  if (paths.size() < static_cast<size_t>(kPages)) {
    state.SkipWithError("fewer than 1,000 HTML pages found (install cmake-doc or set ORVALIS_BENCH_HTML_DIR)");
    return;
  }
  server();
  net_startup();
  set_host_spacing_enabled(false);
  network_limits().concurrent_requests = kIn_flight;
  network_limits().max_document_bytes = 16 << 20;
  Settings_cache::instance().set("AcceptCompression", compressed ? "Yes" : "No");
  bytes_sent_since_last();
  long long wire = 0, decoded = 0;
  const std::int64_t cpu_before = Content_decoder::total_decode_microseconds();
  double seconds = 0;
  for (auto _ : state) {
    int done = 0;
    long long body_bytes = 0;
    size_t next = 0;
    const auto t0 = std::chrono::steady_clock::now();
    platform::Event_loop& loop = platform::current_event_loop();
    while (done < kPages) {
      while (next < paths.size() && static_cast<int>(next) - done < kIn_flight) {
        auto task = make_counted<Page_task>();
        task->done = &done;
        task->body_bytes = &body_bytes;
        task->set_url(Ref_string(std::string_view(server().url("/doc/" + paths[next]))));
        task->connection()->set_timeout(60);
        activate_request(task);
        ++next;
      }
      loop.run_once(100);
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    decoded += body_bytes;
    // nginx writes its log line as it ends each request.
    wire += bytes_sent_since_last();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["wire_MB_per_run"] = static_cast<double>(wire) / runs / 1e6;
  state.counters["received_MB_per_run"] = static_cast<double>(decoded) / runs / 1e6;
  state.counters["wall_s_per_run"] = seconds / runs;
  state.counters["decode_cpu_ms_per_run"] =
      static_cast<double>(Content_decoder::total_decode_microseconds() - cpu_before) / runs / 1000.0;
}
BENCHMARK(BM_fetch_pages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// A real page's markup with every paragraph's text replaced by `sentence`, in `encoding`.
std::string foreign_page(const char* sentence, const char* encoding) {
  std::ifstream in(html_folder() + "/manual/cmake.1.html");
  std::stringstream all;
  all << in.rdbuf();
  std::string page = all.str();
  if (page.empty()) page = "<html><body><p>x</p></body></html>";
  std::string out;
  size_t at = 0;
  for (;;) {
    size_t open = page.find("<p>", at);
    size_t close = open == std::string::npos ? open : page.find("</p>", open);
    if (close == std::string::npos) break;
    out += page.substr(at, open + 3 - at);
    for (int i = 0; i < 4; ++i) out += sentence;
    at = close;
  }
  out += page.substr(at);
  // Page bytes in the encoding, by way of iconv's own conversion out of UTF-8.
  std::string utf8 = out;
  std::string name = encoding_for_label(encoding);
  std::string converted;
  // No encoder is exposed by the engine: the test bytes are made with iconv(1).
  const std::string tmp = std::filesystem::temp_directory_path().string() + "/orvalis-bench-page.html";
  {
    std::ofstream f(tmp, std::ios::binary);
    f << utf8;
  }
  const std::string command = "iconv -c -f UTF-8 -t " + name + " " + tmp;
  FILE* p = popen(command.c_str(), "r");
  char block[65536];
  size_t n;
  while (p && (n = fread(block, 1, sizeof block, p)) > 0) converted.append(block, n);
  if (p) pclose(p);
  std::remove(tmp.c_str());
  return converted;
}

const std::string& page_in(int which) {
  static const std::string cyrillic = foreign_page(
      "Программа читает страницы на любом языке и хранит их текст как UTF-8. ", "windows-1251");
  static const std::string japanese = foreign_page(
      "このプログラムはどの言語のページも読み、その文章をUTF-8として保存します。", "shift_jis");
  return which == 0 ? cyrillic : japanese;
}

void BM_convert(benchmark::State& state) {
  const std::string& page = page_in(static_cast<int>(state.range(0)));
  const char* label = state.range(0) == 0 ? "windows-1251" : "shift_jis";
  const std::string content_type = std::string("text/html; charset=") + label;
  for (auto _ : state) benchmark::DoNotOptimize(page_to_utf8(page, content_type));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
  state.SetLabel(std::string(label) + ", " + std::to_string(page.size()) + " bytes");
}
BENCHMARK(BM_convert)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_scan_utf8(benchmark::State& state) {
  const char* label = state.range(0) == 0 ? "windows-1251" : "shift_jis";
  const std::string utf8 = page_to_utf8(page_in(static_cast<int>(state.range(0))),
                                        std::string("text/html; charset=") + label);
  auto page = make_counted<Byte_buffer>();
  page->append(utf8.data(), static_cast<std::int64_t>(utf8.size()));
  for (auto _ : state) {
    Html_scanner scanner(page, 0);
    scanner.run();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * utf8.size()));
  state.SetLabel(std::string("the ") + label + " page as UTF-8, " + std::to_string(utf8.size()) + " bytes");
}
BENCHMARK(BM_scan_utf8)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orvalis

BENCHMARK_MAIN();

// HTML scanning and summarizing figures on real pages: the HTML documentation that Debian
// packages install (cmake-doc first, then the rest of /usr/share/doc; ORVALIS_BENCH_HTML_DIR
// names another folder), up to 16 MB, at least 5 MB.
//  - scan: one scanner pass per page without collecting sentences (what the page readers do);
//  - scan_collecting: the same with sentence collection (what the sentence selection does);
//  - gumbo: libgumbo parsing the same pages into its tree, when it was found at build time;
//    the program prints the scanner's speed as a multiple of gumbo's at the end;
//  - summarize_30k: summarize_page on the real page nearest 30 KB (median of repetitions).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/byte_buffer.h"
#include "text/html_scanner.h"
#include "text/summarizer.h"
#include "text/word_tagger.h"

#ifdef ORVALIS_HAVE_GUMBO
#include <gumbo.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace orvalis;

constexpr std::size_t corpus_limit = 16u << 20;
constexpr std::size_t corpus_minimum = 5u << 20;

struct Corpus {
  std::vector<std::string> pages;
  std::vector<std::string> paths;
  std::vector<Byte_buffer_handle> buffers;
  std::size_t bytes = 0;
  std::string nearest_30k;
  std::string nearest_30k_path;
};

void add_folder(Corpus& c, const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const fs::path& p = it->path();
    if (it->is_regular_file(ec) && (p.extension() == ".html" || p.extension() == ".htm"))
      files.push_back(p);
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& p : files) {
    if (c.bytes >= corpus_limit) return;
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    if (text.empty()) continue;
    c.bytes += text.size();
    c.pages.push_back(std::move(text));
    c.paths.push_back(p.string());
  }
}

const Corpus& corpus() {
  static const Corpus c = [] {
    Corpus c;
    if (const char* dir = std::getenv("ORVALIS_BENCH_HTML_DIR")) {
      add_folder(c, dir);
    } else {
      add_folder(c, "/usr/share/doc/cmake-data/html");
      if (c.bytes < corpus_limit) {
        Corpus rest;
        add_folder(rest, "/usr/share/doc");
        for (size_t i = 0; i < rest.pages.size() && c.bytes < corpus_limit; ++i) {
          if (rest.paths[i].find("/cmake-data/html/") != std::string::npos) continue;
          c.bytes += rest.pages[i].size();
          c.pages.push_back(std::move(rest.pages[i]));
          c.paths.push_back(rest.paths[i]);
        }
      }
    }
    std::size_t best = 0;
    for (size_t i = 0; i < c.pages.size(); ++i) {
      const std::string& p = c.pages[i];
      auto b = make_counted<Byte_buffer>();
      b->append(p.data(), static_cast<std::int64_t>(p.size()));
      b->contents();  // joined once, outside the timing
      c.buffers.push_back(b);
      auto distance = [](std::size_t n) { return n > 30000 ? n - 30000 : 30000 - n; };
      if (c.nearest_30k.empty() || distance(p.size()) < distance(best)) {
        best = p.size();
        c.nearest_30k = p;
        c.nearest_30k_path = c.paths[i];
      }
    }
    std::fprintf(stderr, "corpus: %zu pages, %.1f MB; summarized page: %s (%zu bytes)\n",
                 c.pages.size(), c.bytes / 1048576.0, c.nearest_30k_path.c_str(),
                 c.nearest_30k.size());
    return c;
  }();
  return c;
}

bool corpus_ready(benchmark::State& state) {
  if (corpus().bytes >= corpus_minimum) return true;
  state.SkipWithError("fewer than 5 MB of HTML pages found (install cmake-doc, or set "
                      "ORVALIS_BENCH_HTML_DIR)");
  return false;
}

void BM_scan(benchmark::State& state, int collect) {
  if (!corpus_ready(state)) return;
  for (auto _ : state) {
    for (const Byte_buffer_handle& page : corpus().buffers) {
      Html_scanner scanner(page, collect);
      scanner.run();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus().bytes));
}
BENCHMARK_CAPTURE(BM_scan, scan, 0)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_scan, scan_collecting, 1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

#ifdef ORVALIS_HAVE_GUMBO
void BM_gumbo(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  for (auto _ : state) {
    for (const std::string& page : corpus().pages) {
      GumboOutput* out = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
      benchmark::DoNotOptimize(out->root);
      gumbo_destroy_output(&kGumboDefaultOptions, out);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus().bytes));
}
BENCHMARK(BM_gumbo)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#endif

void BM_summarize_30k(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  auto page = make_counted<Byte_buffer>();
  page->append(corpus().nearest_30k.data(), static_cast<std::int64_t>(corpus().nearest_30k.size()));
  Word_tagger tagger(ORVALIS_DATA_DIR);
  for (auto _ : state) {
    Page_summary s = summarize_page(page, "", tagger);
    benchmark::DoNotOptimize(s.extract.count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page->length()));
}
BENCHMARK(BM_summarize_30k)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ReportAggregatesOnly(true);

// Console output as usual, plus the scanner's speed as a multiple of gumbo's.
class Ratio_reporter : public benchmark::ConsoleReporter {
 public:
  Ratio_reporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end() && !r.error_occurred) rates_[r.benchmark_name()] = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto scan = rates_.find("BM_scan/scan/min_time:2.000");
    auto gumbo = rates_.find("BM_gumbo/min_time:2.000");
    if (scan != rates_.end() && gumbo != rates_.end() && gumbo->second > 0)
      std::printf("scanner %.1f MB/s, gumbo %.1f MB/s: scanner/gumbo = %.1fx\n",
                  scan->second / 1048576.0, gumbo->second / 1048576.0,
                  scan->second / gumbo->second);
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

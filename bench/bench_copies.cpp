// What keeping a copy of each page costs, on real pages: the HTML documentation of cmake-doc
// (or the folder ORVALIS_BENCH_HTML_DIR names), up to 16 MB of pages in path order, as
// bench_text reads them.
//  - compress: the readable text (what a copy keeps) and the HTML of the first 1,000 pages,
//    compressed with zstd and zlib at several levels; counters: ratio (raw / compressed) and
//    MB/s of raw input. Decompression speed is printed beside it.
//  - summarize_30k: summarize_page on the page nearest 30 KB (as bench_text measures it);
//  - copy_30k: what the summarize job adds for that page (the readable text of its blocks, the
//    hash and the compression; storing the copy in a Topic database that already holds copies
//    of 10,000 documents), each time with a text that differs by its last word so that a copy
//    is kept every time, and what writing the search index's rows costs later; see BM_copy_30k.
// The database is made in a temporary folder (ORVALIS_BENCH_DIR) and deleted at the end.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/document_store.h"
#include "database/page_copy_store.h"
#include "database/page_search_index.h"
#include "database/schema.h"
#include "foundation/byte_buffer.h"
#include "text/block_classifier.h"
#include "text/page_text.h"
#include "text/summarizer.h"
#include "text/word_tagger.h"

namespace {
namespace fs = std::filesystem;
using namespace orvalis;

constexpr std::size_t kCorpus_limit = 16u << 20;
constexpr std::size_t kCompressed_pages = 1000;
constexpr int kStored_documents = 10000;

struct Corpus {
  std::vector<std::string> html;
  std::vector<std::string> text;  // the readable text of each page
  std::string nearest_30k;
};

std::string readable_of(const std::string& page) {
  auto b = make_counted<Byte_buffer>();
  b->append(page.data(), static_cast<std::int64_t>(page.size()));
  Page_text t = read_page_text(b);
  classify_blocks(t);
  return readable_text(t);
}

const Corpus& corpus() {
  static const Corpus c = [] {
    Corpus c;
    const char* dir = std::getenv("ORVALIS_BENCH_HTML_DIR");
    const fs::path folder = dir ? dir : "/usr/share/doc/cmake-data/html";
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it); it.increment(ec))
      if (it->is_regular_file(ec) && (it->path().extension() == ".html" || it->path().extension() == ".htm"))
        files.push_back(it->path());
    std::sort(files.begin(), files.end());
    std::size_t bytes = 0;
    for (const fs::path& p : files) {
      if (bytes >= kCorpus_limit) break;
      std::ifstream in(p, std::ios::binary);
      std::stringstream s;
      s << in.rdbuf();
      std::string page = s.str();
      if (page.empty()) continue;
      bytes += page.size();
      auto distance = [](std::size_t n) { return n > 30000 ? n - 30000 : 30000 - n; };
      if (c.nearest_30k.empty() || distance(page.size()) < distance(c.nearest_30k.size())) c.nearest_30k = page;
      if (c.html.size() < kCompressed_pages) {
        c.text.push_back(readable_of(page));
        c.html.push_back(std::move(page));
      }
    }
    std::fprintf(stderr, "corpus: %zu pages compressed, summarized page of %zu bytes\n", c.html.size(),
                 c.nearest_30k.size());
    return c;
  }();
  return c;
}

bool corpus_ready(benchmark::State& state) {
  if (corpus().html.size() >= 100) return true;
  state.SkipWithError("fewer than 100 HTML pages found (install cmake-doc, or set ORVALIS_BENCH_HTML_DIR)");
  return false;
}

// ---- Compression: zstd and zlib, ratio and speed ----

enum Codec { zstd = 0, zlib = 1 };

std::string pack(Codec codec, int level, const std::string& in) {
  if (codec == zstd) {
    std::string out(ZSTD_compressBound(in.size()), '\0');
    out.resize(ZSTD_compress(out.data(), out.size(), in.data(), in.size(), level));
    return out;
  }
  uLongf n = compressBound(static_cast<uLong>(in.size()));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(in.data()),
            static_cast<uLong>(in.size()), level);
  out.resize(n);
  return out;
}

void unpack(Codec codec, const std::string& in, std::string& out) {
  if (codec == zstd) {
    ZSTD_decompress(out.data(), out.size(), in.data(), in.size());
    return;
  }
  uLongf n = static_cast<uLongf>(out.size());
  uncompress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(in.data()),
             static_cast<uLong>(in.size()));
}

// Arguments: codec, level, 0 the readable text / 1 the HTML.
void BM_compress(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  const Codec codec = static_cast<Codec>(state.range(0));
  const int level = static_cast<int>(state.range(1));
  const std::vector<std::string>& pages = state.range(2) ? corpus().html : corpus().text;
  std::size_t raw = 0, packed = 0;
  for (auto _ : state) {
    raw = packed = 0;
    for (const std::string& p : pages) {
      const std::string out = pack(codec, level, p);
      raw += p.size();
      packed += out.size();
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw));
  state.counters["ratio"] = packed ? static_cast<double>(raw) / packed : 0;
  // Decompression, timed once outside the loop.
  std::vector<std::string> packs;
  for (const std::string& p : pages) packs.push_back(pack(codec, level, p));
  const auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < pages.size(); ++i) {
    std::string out(pages[i].size(), '\0');
    unpack(codec, packs[i], out);
    benchmark::DoNotOptimize(out.data());
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.counters["inflate_MB/s"] = seconds > 0 ? raw / 1048576.0 / seconds : 0;
  state.SetLabel(std::string(codec == zstd ? "zstd" : "zlib") + (state.range(2) ? " html" : " text"));
}
BENCHMARK(BM_compress)
    ->ArgsProduct({{zstd}, {1, 3, 9, 19}, {0, 1}})
    ->ArgsProduct({{zlib}, {1, 6, 9}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// ---- What a copy adds to summarizing a page ----

void BM_summarize_30k(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  auto page = make_counted<Byte_buffer>();
  page->append(corpus().nearest_30k.data(), static_cast<std::int64_t>(corpus().nearest_30k.size()));
  Word_tagger tagger(ORVALIS_DATA_DIR);
  for (auto _ : state) {
    Page_summary s = summarize_page(page, "", tagger);
    benchmark::DoNotOptimize(s.extract.count());
  }
}
BENCHMARK(BM_summarize_30k)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ReportAggregatesOnly(true);

class Bench_file {
 public:
  Bench_file() {
    const char* base = std::getenv("ORVALIS_BENCH_DIR");
    std::string pattern = ((base ? fs::path(base) : fs::temp_directory_path()) / "orvalis-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    const std::string path = (dir_ / "copies.ov2").string();
    if (!create_database(Ref_string(path)) || !db.open(Ref_string(path))) std::abort();
    // Documents with one copy each, cycling through the corpus's texts.
    Db_transaction t(db);
    Db_statement add(db, "INSERT INTO url_master (address, title) VALUES (?1, ?2)");
    for (int i = 0; i < kStored_documents + 2; ++i) {
      add.reset();
      add.bind(1, "http://127.0.0.1/page" + std::to_string(i) + ".html").bind(2, "Page " + std::to_string(i)).run();
    }
    t.commit();
    Page_copy_store store(db);
    for (int i = 1; i <= kStored_documents; ++i) {
      const std::string& text = corpus().text[static_cast<size_t>(i) % corpus().text.size()];
      store.add_copy(i, Page_copy_store::prepare(text + " " + std::to_string(i), nullptr, "UTF-8", 200, i),
                     std::int64_t{1} << 40);
    }
  }
  ~Bench_file() {
    db.close();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Database db;

 private:
  fs::path dir_;
};

// What keeping a copy adds to the summarize job, by argument:
//  0 the worker's part, besides the summary: the readable text of the blocks, its hash and its
//    compression (prepare), no database;
//  1 the job's write before copies were kept: the document's row, in a file without copies'
//    index (the baseline);
//  2 the job's write now, the page's text changed: the row, the copy, and the document noted
//    for the search index;
//  3 the same for a page visited again unchanged (no new copy);
//  4 the search index's rows of such documents, written later by catch_up, 16 to a transaction:
//    per_document is the time a document costs there, off the summarize job's path;
//  6 the same for documents fetched for the first time (their rows held only a title before);
//  5 for comparison, the row written with each document at once (the job's whole write when the
//    index row was part of it).
// The cost added to summarizing a page is 0 + (2 - 1) on its path, and 4 off it.
void BM_copy_30k(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  static Bench_file indexed, plain;
  static const bool dropped = [] {
    plain.db.execute("DROP TABLE IF EXISTS page_text_index");
    return true;
  }();
  benchmark::DoNotOptimize(dropped);
  const int what = static_cast<int>(state.range(0));
  Bench_file& file = what == 1 ? plain : indexed;
  auto page = make_counted<Byte_buffer>();
  page->append(corpus().nearest_30k.data(), static_cast<std::int64_t>(corpus().nearest_30k.size()));
  Page_text text = read_page_text(page);
  classify_blocks(text);
  Page_copy_store store(file.db);
  Document_store documents(file.db);
  Page_search_index index(file.db);
  index.build();
  constexpr std::int32_t document = kStored_documents + 1;
  constexpr int batch = Page_search_index::catch_up_batch_size;
  static std::int64_t round = 0;  // across repetitions: every text differs from the last
  // The job's write for document `id`: its summary changed, and its text unless `same`.
  auto write = [&](std::int32_t id, bool same, bool with_copy) {
    ++round;
    std::string readable = readable_text(text);
    if (!same) readable += " " + std::to_string(round);
    const Page_copy copy = Page_copy_store::prepare(readable, nullptr, "UTF-8", 200, round);
    if (what == 0) {
      benchmark::DoNotOptimize(copy.text.data());
      return true;
    }
    Document doc;
    if (!documents.load_document(doc, id)) return false;
    if (!same) doc.abstract = Ref_list<Ref_string>{Ref_string("Round " + std::to_string(round) + ".")};
    return documents.save_document(doc) &&
           (!with_copy || store.add_copy(id, copy, std::int64_t{1} << 40) != Page_copy_store::Added::failed);
  };
  for (auto _ : state) {
    bool saved = true;
    if (what == 4 || what == 6) {
      state.PauseTiming();
      std::vector<std::int32_t> ids;
      for (int i = 0; i < batch; ++i) {
        if (what == 4) {
          ids.push_back(kStored_documents - batch + 1 + i);
          continue;
        }
        Document_handle added = documents.add_document(
            Ref_string("http://127.0.0.1/new" + std::to_string(round) + "-" + std::to_string(i)), "New page", 0, 0);
        ids.push_back(added ? added->url_id : 0);
      }
      if (what == 6) index.build();  // their rows with the title, as the search left them
      for (std::int32_t id : ids) saved = saved && write(id, false, true);
      state.ResumeTiming();
      saved = saved && index.catch_up(std::chrono::hours(1)).indexed == batch;
    } else {
      saved = write(document, what == 3, what != 1);
      if (saved && what == 5) saved = index.build().indexed == 1;
    }
    if (!saved) {
      state.SkipWithError("the document was not written");
      return;
    }
  }
  if (what == 4 || what == 6)
    state.counters["per_document"] =
        benchmark::Counter(batch, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_copy_30k)->DenseRange(0, 6)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();

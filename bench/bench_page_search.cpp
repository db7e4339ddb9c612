// Full-text search figures on a real file: ORVALIS_BENCH_DOCS documents (default 100,000), each
// with a title, an extract, key terms and 20 KB of page text, all made of the demo web's
// articles and the text benchmark's pages (runs of their words in their order, so words keep
// their real frequencies and neighbours; no random letters). The file lies in
// ORVALIS_BENCH_DIR (default the temporary folder) and is deleted at the end.
//   - BM_IndexAll: the file's size with the documents alone, with a kept copy of each page's
//     text (as the agent keeps them, compressed), and with the index too; and the time to build
//     the index over all of them as the first writable open of a file without one does (a
//     batch of documents per transaction, each page's text read back from its copy);
//   - BM_Find/<kind>: 50 queries of one kind (a word, two words, a phrase, a prefix, and a
//     word found in nearly every document), run as `find documents` runs them (the best 20
//     with snippets, the newest 10,000 matches ranked): the p50 and p95 latency in milliseconds as counters.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/page_copy_store.h"
#include "database/page_search_index.h"
#include "database/schema.h"
#include "demo_web/demo_corpus.h"

namespace {

using namespace orvalis;

constexpr std::size_t text_bytes = 20 * 1024;

int document_count() {
  const char* n = std::getenv("ORVALIS_BENCH_DOCS");
  return n ? std::max(1, std::atoi(n)) : 100000;
}

// The words of the corpus in their order, lower case (what the tokenizer matches), and the
// original runs to cut document texts from.
struct Corpus {
  std::vector<std::string> words;
  std::string text;  // every source text, one after another
};

std::string without_tags(const std::string& html) {
  std::string out;
  bool in_tag = false;
  for (char c : html) {
    if (c == '<') in_tag = true;
    if (!in_tag) out += c;
    if (c == '>') {
      in_tag = false;
      out += ' ';
    }
  }
  return out;
}

const Corpus& corpus() {
  static const Corpus c = [] {
    Corpus c;
    for (const demo::Article& a : demo::corpus()) c.text += a.title + ".\n" + a.text + "\n";
    std::ifstream list(std::string(ORVALIS_SOURCE_DIR) + "/bench/text_corpus/pages.txt");
    for (std::string line; std::getline(list, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string layout, path;
      fields >> layout >> path;
      if (path.empty()) continue;
      if (path[0] != '/') path = std::string(ORVALIS_SOURCE_DIR) + "/" + path;
      std::ifstream page(path);
      std::stringstream all;
      all << page.rdbuf();
      c.text += without_tags(all.str()) + "\n";
    }
    std::string word;
    for (char ch : c.text + " ") {
      unsigned char u = static_cast<unsigned char>(ch);
      if (std::isalnum(u) || u >= 0x80) {
        word += static_cast<char>(std::tolower(u));
      } else if (!word.empty()) {
        c.words.push_back(word);
        word.clear();
      }
    }
    return c;
  }();
  return c;
}

// Runs of the corpus's text from random places, up to `bytes`.
std::string text_of(std::mt19937& random, std::size_t bytes) {
  const std::string& text = corpus().text;
  std::string out;
  std::uniform_int_distribution<std::size_t> at(0, text.size() - 400);
  while (out.size() < bytes) {
    std::size_t from = at(random);
    while (from > 0 && text[from - 1] != ' ' && text[from - 1] != '\n') --from;
    out.append(text, from, std::min<std::size_t>(300, bytes - out.size()));
    out += ' ';
  }
  return out;
}

std::string words_of(std::mt19937& random, int count) {
  const std::vector<std::string>& words = corpus().words;
  std::uniform_int_distribution<std::size_t> at(0, words.size() - 1);
  std::string out;
  for (int i = 0; i < count; ++i) out += (i ? " " : "") + words[at(random)];
  return out;
}

std::int64_t size_on_disk(Database& db, const std::string& path) {
  db.execute("PRAGMA wal_checkpoint(TRUNCATE)");
  std::error_code ec;
  return static_cast<std::int64_t>(std::filesystem::file_size(path, ec));
}

class Bench_file {
 public:
  Bench_file() {
    // ORVALIS_BENCH_FILE names a file an earlier run kept: the queries run on it, unchanged.
    if (const char* kept = std::getenv("ORVALIS_BENCH_FILE")) {
      path = kept;
      reused = true;
      if (!db.open(Ref_string(path))) std::abort();
      return;
    }
    const char* base = std::getenv("ORVALIS_BENCH_DIR");
    std::string pattern =
        ((base ? std::filesystem::path(base) : std::filesystem::temp_directory_path()) /
         "orvalis-bench-XXXXXX")
            .string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    path = (dir_ / "search.ov2").string();
    if (!create_database(Ref_string(path))) std::abort();
    if (!db.open(Ref_string(path))) std::abort();
  }
  ~Bench_file() {
    db.close();
    // ORVALIS_BENCH_KEEP=1 leaves the file for a look with other tools or a later run.
    if (reused || std::getenv("ORVALIS_BENCH_KEEP")) return;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  Database db;
  std::string path;
  bool reused = false;

 private:
  std::filesystem::path dir_;
};

Bench_file& file() {
  static Bench_file f;
  return f;
}

void BM_IndexAll(benchmark::State& state) {
  Bench_file& f = file();
  if (f.reused) {
    state.SkipWithError("the file of an earlier run is searched as it is");
    return;
  }
  const int count = document_count();
  std::mt19937 random(20);
  {
    Db_transaction t(f.db);
    Db_statement add(f.db,
                     "INSERT INTO url_master (address, title, abstract, summary) VALUES (?1, ?2, ?3, ?4)");
    for (int i = 0; i < count; ++i) {
      add.bind(1, "http://site" + std::to_string(i % 997) + ".example/page/" + std::to_string(i))
          .bind(2, words_of(random, 6))
          .bind(3, text_of(random, 600))
          .bind(4, words_of(random, 25));
      add.run();
      add.reset();
    }
    t.commit();
  }
  const std::int64_t documents_only = size_on_disk(f.db, f.path);
  // Each document's copy as the agent keeps it (zstd), written while the file has no index, as
  // in a file made before the index: the index is then built as the first writable open does.
  f.db.execute("DROP TABLE page_text_index; DROP TABLE page_text_index_state");
  Page_copy_store::ensure_tables(f.db);
  {
    std::mt19937 texts(21);
    Db_statement add(f.db,
                     "INSERT INTO page_copies (url_id, time_fetched, status, content_hash, compression,"
                     " encoding, text_bytes, text, stored_bytes) VALUES (?1, 1, 200, ?2, ?3, 'UTF-8', ?4, ?5, ?6)");
    for (int first = 1; first <= count; first += 1000) {
      Db_transaction t(f.db);
      for (int id = first; id < first + 1000 && id <= count; ++id) {
        const Page_copy c = Page_copy_store::prepare(text_of(texts, text_bytes), nullptr, "UTF-8", 200, 1);
        add.bind(1, id).bind(2, c.hash).bind(3, c.compression).bind(4, c.text_bytes);
        add.bind_blob(5, c.text).bind(6, static_cast<std::int64_t>(c.text.size()));
        add.run();
        add.reset();
      }
      t.commit();
    }
  }
  const std::int64_t with_copies = size_on_disk(f.db, f.path);
  double seconds = 0;
  bool complete = false;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    complete = Page_search_index(f.db).build().complete;
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  if (!complete) state.SkipWithError("the index was not built");
  const std::int64_t with_index = size_on_disk(f.db, f.path);
  state.counters["documents"] = count;
  state.counters["index_s"] = seconds;
  state.counters["docs_per_s"] = count / seconds;
  state.counters["MB_text"] = static_cast<double>(count) * text_bytes / 1e6;
  state.counters["MB_documents"] = static_cast<double>(documents_only) / 1e6;
  state.counters["MB_with_copies"] = static_cast<double>(with_copies) / 1e6;
  state.counters["MB_with_copies_and_index"] = static_cast<double>(with_index) / 1e6;
}
BENCHMARK(BM_IndexAll)->Iterations(1)->Unit(benchmark::kSecond);

enum Kind { one_word, two_words, phrase, prefix, common_word };

std::vector<std::string> queries(Kind kind) {
  const std::vector<std::string>& words = corpus().words;
  // Content words: four letters or more, letters only (the corpus's words also hold quotes
  // and dashes outside ASCII, which the index takes as separators).
  std::vector<std::string> content;
  std::map<std::string, int> counts;
  for (const std::string& w : words)
    if (w.size() >= 4 && std::all_of(w.begin(), w.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
      ++counts[w];
  for (const auto& [w, n] : counts) content.push_back(w);
  std::vector<std::pair<int, std::string>> by_count;
  for (const auto& [w, n] : counts) by_count.emplace_back(-n, w);
  std::sort(by_count.begin(), by_count.end());
  std::mt19937 random(30 + kind);
  std::uniform_int_distribution<std::size_t> any(0, content.size() - 1), at(0, words.size() - 2);
  std::vector<std::string> out;
  while (out.size() < 50) {
    switch (kind) {
      case one_word: out.push_back(content[any(random)]); break;
      case two_words: out.push_back(content[any(random)] + " " + content[any(random)]); break;
      case phrase: {
        std::size_t i = at(random);
        out.push_back("\"" + words[i] + " " + words[i + 1] + "\"");
        break;
      }
      case prefix: {
        // Four to six letters of a word of six or more.
        const std::string& w = content[any(random)];
        if (w.size() >= 6) out.push_back(w.substr(0, 4 + out.size() % 3) + "*");
        break;
      }
      case common_word: out.push_back(by_count[out.size() % 10].second); break;
    }
  }
  return out;
}

double thread_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void BM_Find(benchmark::State& state) {
  Bench_file& f = file();
  Page_search_index index(f.db);
  const std::vector<std::string> texts = queries(static_cast<Kind>(state.range(0)));
  for (const std::string& q : texts) index.search(q);  // warm the cache
  std::vector<double> ms, cpu_ms;
  std::int64_t hits = 0;
  std::string slowest;
  for (auto _ : state) {
    for (const std::string& q : texts) {
      auto t0 = std::chrono::steady_clock::now();
      const double c0 = thread_cpu_ms();
      hits += static_cast<std::int64_t>(index.search(q).size());
      cpu_ms.push_back(thread_cpu_ms() - c0);
      ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
      if (ms.back() >= *std::max_element(ms.begin(), ms.end())) slowest = q;
      if (std::getenv("ORVALIS_BENCH_VERBOSE")) fprintf(stderr, "%8.1f ms  %s\n", ms.back(), q.c_str());
    }
  }
  state.SetLabel("slowest: " + slowest);
  std::sort(ms.begin(), ms.end());
  std::sort(cpu_ms.begin(), cpu_ms.end());
  // CPU time as well: on a machine shared with other work the wall-clock figures wait for it.
  state.counters["p50_cpu_ms"] = cpu_ms[cpu_ms.size() / 2];
  state.counters["p95_cpu_ms"] = cpu_ms[cpu_ms.size() * 95 / 100];
  state.counters["p50_ms"] = ms[ms.size() / 2];
  state.counters["p95_ms"] = ms[ms.size() * 95 / 100];
  state.counters["max_ms"] = ms.back();
  state.counters["hits_per_query"] = static_cast<double>(hits) / static_cast<double>(ms.size());
}
BENCHMARK(BM_Find)
    ->ArgName("kind")  // 0 a word, 1 two words, 2 a phrase, 3 a prefix, 4 a very common word
    ->DenseRange(0, 4)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

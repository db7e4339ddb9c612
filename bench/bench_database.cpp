// Topic database figures on a real file in a temporary folder:
//   - add document + link document for 100,000 distinct addresses, each call its own
//     transaction as the stores do it, and the same inside one outer transaction (with the
//     ratio of the two rates);
//   - documents of topic for a topic of 10,000 documents;
//   - find documents over 100,000 documents with 1 KB extracts.
// The connection runs in WAL mode with synchronous=NORMAL. That is the right setting for a
// desktop database: a commit appends to the WAL without waiting for the disk, and the WAL is
// synced at each checkpoint, so a power cut can lose the last few commits but never leaves a
// damaged file; synchronous=FULL would sync every one of the thousands of small commits a
// search makes.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <random>
#include <string>

#include "database/database.h"
#include "database/document_store.h"
#include "database/schema.h"
#include "foundation/error_handler.h"

namespace {

using namespace orvalis;

class Temp_database {
 public:
  Temp_database() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvalis-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    path_ = (dir_ / "bench.ov2").string();
    if (!create_database(Ref_string(path_))) std::abort();
    if (!db.open(Ref_string(path_))) std::abort();
  }
  ~Temp_database() {
    db.close();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  Database db;

 private:
  std::filesystem::path dir_;
  std::string path_;
};

constexpr int address_count = 100000;
double rate_each_transaction = 0;

Ref_string address_of(int i) {
  return Ref_string(
      ("http://site" + std::to_string(i % 997) + ".example/page/" + std::to_string(i)).c_str());
}

void add_and_link_all(Database& db, Document_store& store) {
  for (int i = 0; i < address_count; ++i) {
    Document_handle d = store.add_document(address_of(i), "A title of a page", 12, 3);
    Document_link link;
    link.query = "volcano";
    link.search_resource = "Demo Web";
    link.relevant = 1;
    if (!d || !store.link_document(1, d->url_id, link, false)) std::abort();
  }
  (void)db;
}

void BM_AddAndLink_EachItsOwnTransaction(benchmark::State& state) {
  Collecting_error_handler errors;
  for (auto _ : state) {
    state.PauseTiming();
    {
      Temp_database t;
      Document_store store(t.db);
      state.ResumeTiming();
      auto start = std::chrono::steady_clock::now();
      add_and_link_all(t.db, store);
      double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      rate_each_transaction = address_count / seconds;
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  state.counters["docs_per_s"] = rate_each_transaction;
}
BENCHMARK(BM_AddAndLink_EachItsOwnTransaction)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_AddAndLink_OneOuterTransaction(benchmark::State& state) {
  Collecting_error_handler errors;
  double rate = 0;
  for (auto _ : state) {
    state.PauseTiming();
    {
      Temp_database t;
      Document_store store(t.db);
      state.ResumeTiming();
      auto start = std::chrono::steady_clock::now();
      t.db.begin_transaction();
      add_and_link_all(t.db, store);
      t.db.commit();
      double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      rate = address_count / seconds;
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  state.counters["docs_per_s"] = rate;
  if (rate_each_transaction > 0) state.counters["ratio_to_each"] = rate / rate_each_transaction;
}
BENCHMARK(BM_AddAndLink_OneOuterTransaction)->Iterations(1)->Unit(benchmark::kMillisecond);

// Sentences of words from a fixed vocabulary, about `bytes` long.
std::string extract(std::mt19937& rng, std::size_t bytes) {
  static const char* words[] = {"volcano", "lava",   "ash",     "eruption", "magma",  "crater",
                                "island",  "ocean",  "plate",   "tectonic", "basalt", "the",
                                "of",      "and",    "a",       "river",    "delta",  "glacier",
                                "ice",     "summit", "village", "science",  "report", "survey"};
  std::string text;
  std::uniform_int_distribution<std::size_t> pick(0, std::size(words) - 1);
  int in_sentence = 0;
  while (text.size() < bytes) {
    text += words[pick(rng)];
    if (++in_sentence == 14) {
      text += ".\n";
      in_sentence = 0;
    } else {
      text += ' ';
    }
  }
  return text;
}

// Fills url_master with `count` documents carrying 1 KB extracts; every 100th has "fumarole".
void fill_documents(Database& db, int count, int topic, std::size_t extract_bytes) {
  std::mt19937 rng(7);
  db.begin_transaction();
  Db_statement doc(db,
                   "INSERT INTO url_master (address, title, size, num_anchors, num_images,"
                   " abstract, summary) VALUES (?1, ?2, 20000, 40, 5, ?3, ?4)");
  Db_statement link(db,
                    "INSERT INTO concept_urls (concept_id, url_id, query, search_resource,"
                    " relevant) VALUES (?1, ?2, 'volcano', 'Demo Web', 1)");
  for (int i = 0; i < count; ++i) {
    std::string abstract = extract(rng, extract_bytes);
    if (i % 100 == 50) abstract += " fumarole";
    doc.bind(1, address_of(i)).bind(2, "A title of a page about volcanoes");
    doc.bind(3, std::string_view(abstract)).bind(4, "volcano,lava,ash,crater,magma");
    doc.run();
    doc.reset();
    if (topic) {
      link.bind(1, topic).bind(2, db.last_insert_rowid());
      link.run();
      link.reset();
    }
  }
  db.commit();
}

void BM_DocumentsOfTopic_10000(benchmark::State& state) {
  Collecting_error_handler errors;
  Temp_database t;
  fill_documents(t.db, 10000, 1, 1024);
  Document_store store(t.db);
  for (auto _ : state) {
    Ref_list<Topic_document> docs = store.documents_of_topic(1, false);
    if (docs.count() != 10000) std::abort();
    benchmark::DoNotOptimize(docs);
    // Letting go of the list is the caller's business, not the query's: not timed.
    state.PauseTiming();
    docs = Ref_list<Topic_document>();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DocumentsOfTopic_10000)->Unit(benchmark::kMillisecond);

void BM_FindDocuments_100000(benchmark::State& state) {
  Collecting_error_handler errors;
  Temp_database t;
  fill_documents(t.db, 100000, 0, 1024);
  Document_store store(t.db);
  const char* text = state.range(0) ? "fumarole" : "no such words anywhere";
  std::size_t found = 0;
  for (auto _ : state) {
    Ref_list<Document_handle> docs = store.find_documents(text);
    found = static_cast<std::size_t>(docs.count());
    benchmark::DoNotOptimize(docs);
  }
  state.counters["found"] = static_cast<double>(found);
}
BENCHMARK(BM_FindDocuments_100000)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

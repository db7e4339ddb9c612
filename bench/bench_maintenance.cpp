// Organizing and compaction figures on real files in a temporary folder:
//   - the proposals for a topic of 10,000 summarized documents (the database read and the
//     whole proposal walk, as the Organize by Content command runs them); each document holds
//     40 key terms drawn from a shared vocabulary with a skewed (Zipf-like) frequency, as pages
//     on one subject share a few phrases and differ in many;
//   - the compaction of a database of 100,000 documents (1 KB extract, 30 key terms each), a
//     fifth of which no topic refers to any longer: the time, the file size before and after,
//     and the documents removed.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "agent/topic_organizer.h"
#include "database/database.h"
#include "database/maintenance.h"
#include "database/schema.h"
#include "database/topic_store.h"
#include "foundation/error_handler.h"

namespace {

using namespace orvalis;

class Temp_folder {
 public:
  Temp_folder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvalis-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
  }
  ~Temp_folder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Phrases of one to three words over a vocabulary of 3000 words, and a skewed draw from them.
class Key_terms {
 public:
  Key_terms() : rng_(7) {
    std::uniform_int_distribution<int> letter('a', 'z'), length(4, 9), words(1, 3);
    std::vector<std::string> vocabulary(3000);
    for (std::string& w : vocabulary)
      for (int n = length(rng_); n > 0; --n) w += static_cast<char>(letter(rng_));
    std::uniform_int_distribution<std::size_t> pick(0, vocabulary.size() - 1);
    phrases_.resize(20000);
    for (std::string& p : phrases_)
      for (int n = words(rng_); n > 0; --n) p += (p.empty() ? "" : " ") + vocabulary[pick(rng_)];
  }
  // The stored summary of one document: `count` key terms, one a line.
  std::string summary(int count) {
    std::string s;
    for (int i = 0; i < count; ++i) {
      // Log-uniform: a few phrases are in many documents, most are rare.
      double v = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
      std::size_t index = std::min(phrases_.size() - 1,
                                   static_cast<std::size_t>(std::pow(double(phrases_.size()), v)) - 1);
      s += (i ? "\n" : "") + phrases_[index];
    }
    return s;
  }

 private:
  std::mt19937 rng_;
  std::vector<std::string> phrases_;
};

// `documents` documents with summaries; those with index below `linked` belong to topic 1.
void fill(Database& db, int documents, int linked, int terms, int extract_bytes) {
  Key_terms key_terms;
  db.execute("INSERT INTO concept_master (name) VALUES ('Subject')");
  Db_transaction t(db);
  Db_statement add(db, "INSERT INTO url_master (address, title, abstract, summary) VALUES (?1, ?2, ?3, ?4)");
  Db_statement link(db, "INSERT INTO concept_urls (concept_id, url_id, query) VALUES (1, ?1, 'q')");
  const std::string extract(static_cast<std::size_t>(extract_bytes), 'e');
  for (int i = 0; i < documents; ++i) {
    add.bind(1, "http://site" + std::to_string(i % 997) + ".example/page/" + std::to_string(i))
        .bind(2, "Page " + std::to_string(i))
        .bind(3, extract)
        .bind(4, key_terms.summary(terms));
    add.run();
    add.reset();
    if (i < linked) {
      link.bind(1, db.last_insert_rowid()).run();
      link.reset();
    }
  }
  t.commit();
}

void BM_Proposals_10000_Documents(benchmark::State& state) {
  Temp_folder folder;
  std::string path = folder.file("organize.ov2");
  if (!create_database(Ref_string(path)) || !Database::shared().open(Ref_string(path))) std::abort();
  fill(Database::shared(), 10000, 10000, 40, 200);
  Topic_handle topic = Topic_store::shared().topic(1);
  std::size_t proposals = 0;
  for (auto _ : state) {
    std::vector<Organize_proposal> p = Topic_organizer::propose(*topic);
    proposals = p.size();
    benchmark::DoNotOptimize(p);
  }
  state.counters["proposals"] = static_cast<double>(proposals);
  Database::shared().close();
}
BENCHMARK(BM_Proposals_10000_Documents)->Unit(benchmark::kMillisecond);

void BM_Compaction_100000_Documents(benchmark::State& state) {
  Temp_folder folder;
  std::string path = folder.file("compact.ov2");
  Compaction_figures figures;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(path);
    if (!create_database(Ref_string(path))) std::abort();
    {
      Database db;
      if (!db.open(Ref_string(path))) std::abort();
      fill(db, 100000, 80000, 30, 1024);
    }
    Maintenance_prompts prompts;
    prompts.confirm = [](const Ref_string&, const Ref_string&) { return true; };
    state.ResumeTiming();
    if (compact_database(Ref_string(path), prompts, &figures) != Maintenance_result::done) std::abort();
  }
  state.counters["MB_before"] = static_cast<double>(figures.size_before) / 1e6;
  state.counters["MB_after"] = static_cast<double>(figures.size_after) / 1e6;
  state.counters["removed"] = static_cast<double>(figures.orphans_removed);
}
BENCHMARK(BM_Compaction_100000_Documents)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Generated page figures, on a real database file and pages folder in a temporary folder:
//   - topics.htm for 10,000 topics (their live document counts read in one query);
//   - the page of a topic of 5,000 documents, each with a three-sentence extract (the documents
//     read from the database, sorted and written);
//   - the element writers: table rows of links, images, cells and bold text appended to the
//     writer's buffers, in bytes of page text per second.
// Targets: at most 200 ms for each page, at least 1 GB/s for the element writers.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "database/database.h"
#include "database/document_store.h"
#include "database/schema.h"
#include "database/topic_store.h"
#include "reports/html_writer.h"
#include "reports/topic_index.h"

namespace {

using namespace orvalis;

class Bench_site {
 public:
  Bench_site() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvalis-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    std::filesystem::create_directories(dir_ / "pages");
    std::string path = (dir_ / "bench.ov2").string();
    if (!create_database(Ref_string(path)) || !db.open(Ref_string(path))) std::abort();
    options.database = &db;
    options.pages_folder = Ref_string((dir_ / "pages").string());
    options.user_name = "Bench";
    options.now = 1'700'000'000;
  }
  ~Bench_site() {
    db.close();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  Database db;
  Publish_options options;

 private:
  std::filesystem::path dir_;
};

void BM_topics_page_10000_topics(benchmark::State& state) {
  Bench_site site;
  Topic_store topics(site.db);
  Document_store documents(site.db);
  Ref_list<Topic_handle> list;
  site.db.begin_transaction();
  for (int i = 0; i < 10000; ++i) {
    Topic_handle t = topics.add_topic(Ref_string(("Topic number " + std::to_string(i) + " & more").c_str()));
    t->time_last_modified = Db_date::at(site.options.now - (i % 3) * 86400);
    topics.save_topic(*t);
    for (int j = 0; j < i % 4; ++j) {
      Document_handle d = documents.add_document(
          Ref_string(("http://site" + std::to_string(i) + ".example/" + std::to_string(j)).c_str()), "t", -1, -1);
      Document_link link;
      documents.link_document(t->concept_id, d->url_id, link, false);
    }
    list.append(t);
  }
  site.db.commit();
  for (auto _ : state)
    if (!write_topics_page(list, site.options)) state.SkipWithError("topics.htm not written");
}
BENCHMARK(BM_topics_page_10000_topics)->Unit(benchmark::kMillisecond);

void BM_topic_page_5000_documents(benchmark::State& state) {
  Bench_site site;
  Topic_store topics(site.db);
  Document_store documents(site.db);
  site.db.begin_transaction();
  Topic_handle topic = topics.add_topic("Big topic");
  for (int i = 0; i < 5000; ++i) {
    std::string n = std::to_string(i);
    Document_handle d = documents.add_document(Ref_string(("http://example.org/page/" + n + "?q=a&b=c").c_str()),
                                               Ref_string(("Document <" + n + "> about \"things\"").c_str()), -1, -1);
    d->abstract = {"The first sentence of the extract says what the page is about.",
                   "A second one adds a detail & a number: " + Ref_string(n.c_str()) + ".",
                   "The third closes the extract."};
    d->num_anchors = i % 50;
    d->num_images = i % 7;
    d->time_last_retrieved = Db_date::at(site.options.now - 3600);
    if (i % 10 == 0) d->annotation = "Worth reading again.";
    documents.save_document(*d);
    Document_link link;
    link.relevant = i % 5;
    documents.link_document(topic->concept_id, d->url_id, link, false);
  }
  site.db.commit();
  for (auto _ : state)
    if (publish_topic_page(*topic, site.options).empty()) state.SkipWithError("topic page not written");
}
BENCHMARK(BM_topic_page_5000_documents)->Unit(benchmark::kMillisecond);

void BM_element_writers(benchmark::State& state) {
  Html_writer w;
  std::size_t bytes = 0;
  Html_cell wide;
  wide.column_span = 4;
  for (auto _ : state) {
    w.start();
    for (int i = 0; i < 20000; ++i) {
      w.indent(1);
      w.row();
      w.cell();
      w.link("http://example.org/a/long/address/of/a/document?with=query&and=more", "The title of the document",
             "_top");
      w.image("images/new.gif", "", 0, "New");
      w.end_cell();
      w.right_cell();
      w.bold("12");
      w.end_cell();
      w.cell(wide);
      w.append("<BLOCKQUOTE>An extract sentence of ordinary length, as the pages carry them.</BLOCKQUOTE>");
      w.end_cell();
      w.end_row();
    }
    bytes += w.text_length();
    w.free();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_element_writers)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Exchange figures: reading a 10 MB feed of each kind (RSS 2.0, RSS 1.0, Atom 1.0, JSON Feed;
// bytes per second), and the JSON export and import of a topic of 100,000 documents between real
// files in a temporary folder.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "database/database.h"
#include "database/schema.h"
#include "exchange/feed_parser.h"
#include "exchange/json_value.h"
#include "exchange/topic_exchange.h"

namespace {

using namespace orvalis;

// A feed of about 10 MB of the kind `kind` (0 RSS 2.0, 1 RSS 1.0, 2 Atom, 3 JSON Feed).
std::string feed_of(int kind) {
  const std::string text = "Solar sails use the pressure of light &amp; need thin, large films to gain speed. ";
  std::string out;
  switch (kind) {
    case 0: out = "<rss version=\"2.0\"><channel><title>Bench</title>"; break;
    case 1: out = "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\"><channel><title>Bench</title></channel>"; break;
    case 2: out = "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Bench</title>"; break;
    default: out = "{\"version\": \"https://jsonfeed.org/version/1.1\", \"title\": \"Bench\", \"items\": ["; break;
  }
  for (int i = 0; out.size() < 10 * 1024 * 1024; ++i) {
    const std::string n = std::to_string(i);
    std::string body;
    for (int k = 0; k < 6; ++k) body += text;
    switch (kind) {
      case 0:
        out += "<item><title>Entry " + n + "</title><link>/e/" + n + "</link><description><![CDATA[<p>" + body +
               "</p>]]></description><pubDate>Tue, 14 Nov 2023 22:13:20 GMT</pubDate></item>";
        break;
      case 1:
        out += "<item rdf:about=\"https://b.example/e/" + n + "\"><title>Entry " + n + "</title><link>https://b.example/e/" + n +
               "</link><description>" + body + "</description></item>";
        break;
      case 2:
        out += "<entry><id>urn:e:" + n + "</id><title>Entry " + n + "</title><link href=\"/e/" + n +
               "\"/><updated>2023-11-14T22:13:20Z</updated><content type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\"><p>" +
               body + "</p></div></content></entry>";
        break;
      default:
        out += std::string(i ? "," : "") + "{\"id\": \"" + n + "\", \"url\": \"/e/" + n + "\", \"title\": \"Entry " + n +
               "\", \"content_text\": \"" + body + "\", \"date_published\": \"2023-11-14T22:13:20Z\"}";
        break;
    }
  }
  switch (kind) {
    case 0: out += "</channel></rss>"; break;
    case 1: out += "</rdf:RDF>"; break;
    case 2: out += "</feed>"; break;
    default: out += "]}"; break;
  }
  return out;
}

void BM_parse_feed(benchmark::State& state) {
  const std::string feed = feed_of(static_cast<int>(state.range(0)));
  std::size_t entries = 0;
  for (auto _ : state) {
    exchange::Parsed_feed f = exchange::parse_feed(feed, "https://b.example/feed");
    if (!f.error.empty()) state.SkipWithError(f.error.c_str());
    entries = f.entries.size();
    benchmark::DoNotOptimize(f);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * feed.size()));
  state.counters["entries"] = static_cast<double>(entries);
  state.SetLabel(std::array<const char*, 4>{"RSS 2.0", "RSS 1.0", "Atom 1.0", "JSON Feed"}[static_cast<std::size_t>(state.range(0))]);
}
BENCHMARK(BM_parse_feed)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// A folder with a database of one topic linking 100,000 documents, removed at the end.
class Big_database {
 public:
  Big_database() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvalis-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir = pattern;
    path = dir + "/bench.ov2";
    if (!create_database(Ref_string(path))) std::abort();
    Database db;
    if (!db.open(Ref_string(path))) std::abort();
    db.execute(
        "BEGIN;"
        "INSERT INTO concept_master (concept_id, name) VALUES (1, 'Bench');"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)"
        " INSERT INTO url_master (url_id, address, title, abstract, summary)"
        " SELECT i, 'https://b.example/d/' || i, 'Document ' || i,"
        " 'Solar sails use the pressure of light.' || char(10) || 'They need thin, large films.',"
        " 'solar sail' || char(10) || 'light pressure' FROM n;"
        "INSERT INTO concept_urls (concept_id, url_id, relevant, date_created) SELECT 1, url_id, 1, 1700000000 FROM url_master;"
        "COMMIT;");
  }
  ~Big_database() { std::filesystem::remove_all(dir); }
  std::string dir, path;
};

void BM_export_json_100000_documents(benchmark::State& state) {
  Big_database big;
  Database db;
  if (!db.open(Ref_string(big.path))) std::abort();
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::ofstream out(big.dir + "/out.json", std::ios::binary | std::ios::trunc);
    exchange::write_topics_json(db, {}, out);
    bytes = static_cast<std::size_t>(out.tellp());
  }
  state.counters["json_MB"] = static_cast<double>(bytes) / 1e6;
  db.close();
}
BENCHMARK(BM_export_json_100000_documents)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_import_json_100000_documents(benchmark::State& state) {
  Big_database big;
  {
    Database db;
    if (!db.open(Ref_string(big.path))) std::abort();
    std::ofstream out(big.dir + "/in.json", std::ios::binary | std::ios::trunc);
    exchange::write_topics_json(db, {}, out);
  }
  for (auto _ : state) {
    state.PauseTiming();
    const std::string target = big.dir + "/target.ov2";
    std::filesystem::remove(target);
    if (!create_database(Ref_string(target))) std::abort();
    Database db;
    if (!db.open(Ref_string(target))) std::abort();
    std::ifstream in(big.dir + "/in.json", std::ios::binary);
    state.ResumeTiming();
    const exchange::Import_report r = exchange::import_topics(db, in);
    if (!r.ok()) state.SkipWithError(r.error.c_str());
    state.counters["documents"] = static_cast<double>(r.documents_added);
  }
}
BENCHMARK(BM_import_json_100000_documents)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

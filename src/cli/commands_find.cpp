// "find documents QUERY": the full-text search of the documents, and the catching up of the
// index when a database is opened for writing.
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <unordered_set>

#include "cli/clean_output.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "database/document_store.h"
#include "database/page_search_index.h"
#include "foundation/character_count.h"
#include "foundation/error_handler.h"

namespace orvalis::cli {

namespace {

// A byte offset of UTF-8 text as a count of characters (what JSON readers index by).
long long character_offset(std::string_view text, std::size_t bytes) {
  return static_cast<long long>(character_count(text.substr(0, std::min(bytes, text.size()))));
}

void print_hits_json(Context& c, const std::vector<Search_hit>& hits) {
  Json_writer j(c.out);
  j.begin_array();
  for (const Search_hit& h : hits) {
    j.begin_object()
        .field("id", h.url_id)
        .field("address", h.address.view())
        .field("title", h.title.view())
        .field("snippet", std::string_view(h.snippet));
    j.key("marks").begin_array();
    for (auto [begin, end] : h.marks)
      j.begin_array()
          .value(character_offset(h.snippet, begin))
          .value(character_offset(h.snippet, end))
          .end_array();
    j.end_array().end_object();
  }
  j.end_array().finish();
}

void print_hits(Context& c, const std::vector<Search_hit>& hits) {
  const bool bold = ::isatty(STDOUT_FILENO) == 1;
  for (const Search_hit& h : hits) {
    c.out << h.url_id << '\t' << h.address << '\t' << h.title << "\n    ";
    std::size_t at = 0;
    for (auto [begin, end] : h.marks) {
      c.out << std::string_view(h.snippet).substr(at, begin - at);
      if (bold) Clean_output::write_code(c.out, "\x1b[1m");
      c.out << std::string_view(h.snippet).substr(begin, end - begin);
      if (bold) Clean_output::write_code(c.out, "\x1b[0m");
      at = end;
    }
    c.out << std::string_view(h.snippet).substr(at) << '\n';
  }
}

// The documents whose texts hold `text` literally, as find did before the index.
void print_like_matches(Context& c, const std::string& text, std::int32_t topic_id) {
  Ref_list<Document_handle> found = Document_store().find_documents(Ref_string(std::string_view(text)));
  if (topic_id > 0) {
    std::unordered_set<std::int32_t> linked;
    for (const Topic_document& d : Document_store().documents_of_topic(topic_id, false))
      linked.insert(d.document->url_id);
    Ref_list<Document_handle> kept;
    for (const Document_handle& d : found)
      if (linked.count(d->url_id)) kept.append(d);
    found = kept;
  }
  print_documents(c, found);
}

}  // namespace

int find_documents(Context& c, const std::string& query, std::int32_t topic_id) {
  Page_search_index index;
  bool indexed = false;
  try {
    indexed = index.current();
  } catch (const Db_error& e) {
    report_db_error(e);
  }
  if (!indexed) {
    print_like_matches(c, query, topic_id);
    return 0;
  }
  std::vector<Search_hit> hits;
  try {
    hits = index.search(query, topic_id);
  } catch (const Search_query_error& e) {
    throw Usage_error{e.what};
  } catch (const Db_error& e) {
    report_db_error(e);
    return 1;
  }
  if (c.json)
    print_hits_json(c, hits);
  else
    print_hits(c, hits);
  return 0;
}

void catch_up_search_index(std::ostream& err) {
  const bool live = ::isatty(STDERR_FILENO) == 1;
  bool shown = false;
  std::int64_t last_done = 0, last_total = 0;
  try {
    Page_search_index(Database::shared()).build([&](std::int64_t done, std::int64_t total) {
      last_done = done;
      last_total = total;
      if (live) {
        err << "\rIndexing documents for search: " << done << " of " << total << std::flush;
        shown = true;
      }
      return true;
    });
  } catch (const Db_error& e) {
    // What was indexed stays; searches go the old way until the index covers every document.
    report_db_error(e);
  }
  if (shown)
    err << "\n";
  else if (last_total > 0)
    err << "Indexed " << last_done << " of " << last_total << " documents for search.\n";
}

}  // namespace orvalis::cli

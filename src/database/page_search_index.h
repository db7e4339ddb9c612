// Page_search_index is the full-text index of the documents of a Topic database: an SQLite FTS5
// table, "page_text_index", whose row of a document (rowid = url_id) holds its title, extract,
// key terms, the text of its latest kept copy and its address. A search takes FTS5's query language (words,
// "phrases", prefix*, AND, OR, NOT, NEAR), ranks by BM25 with the title weighted far above the
// extract and key terms and those above the body, and gives each hit a snippet whose matched
// words are marked. When a query matches more than ranked_at_most documents, the newest of
// them are the ones ranked, so that a common word costs no more than a rare one. The rank is
// BM25 computed by a function of our own given to each connection (orvalis_rank), which
// estimates how common each phrase is from its first documents instead of reading all of
// them. A prefix needs three letters: shorter ones match too many words to search quickly.
//
// The index is derived data and is kept current by explicit calls (no triggers: a received
// file may not run code of its own). Writing a document's row tokenizes its whole body, which
// costs more than summarizing the page, so the stores do not write rows: the document store
// (title, extract, key terms) and the copy store (a new copy's text) note the document in
// "page_text_index_pending" (update_document), and the rows of the noted documents are written
// later, many to a transaction, by build(): while the agent is idle (catch_up, a slice of time
// at each of its ticks), at the next writable open, and before a search (current()).
// Compaction drops the rows of the documents it deletes (remove_orphan_rows).
// "page_text_index_state" remembers the highest url_id up to which the rows were built from the
// documents. Documents are numbered upwards, so a database made before the index, or
// one whose documents were added by a program that does not keep it, is brought up to date by
// build() too, a batch of documents per transaction: a process killed
// while it runs loses at most the batch it was writing, and the next build resumes after the
// last batch committed. A search uses the index only when it covers every document as it is
// (ready()); otherwise, and when SQLite lacks FTS5, the index table is not ours, or the file is
// read-only and its index is behind, callers search the old way (Document_store::find_documents).
// An index of an earlier layout is dropped and built again by build().
//
// Thread: the thread that owns the connection. Errors are thrown as Db_error except where said.
// REQUIRES: the database outlives the index object.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "database/database.h"
#include "foundation/ref_string.h"

namespace orvalis {

// One document found by a search. The snippet is plain text; marks are the byte ranges
// [begin, end) of the matched words in it.
struct Search_hit {
  std::int32_t url_id = 0;
  Ref_string address;
  Ref_string title;
  std::string snippet;
  std::vector<std::pair<std::size_t, std::size_t>> marks;
};

// A search text that FTS5 cannot read; `what` is our own words, never SQLite's.
struct Search_query_error {
  std::string what;
};

class Page_search_index {
 public:
  static constexpr const char* table_name = "page_text_index";
  static constexpr const char* state_table_name = "page_text_index_state";
  static constexpr const char* pending_table_name = "page_text_index_pending";
  // Documents written per transaction by build(), and by catch_up (a transaction of 16 pages of
  // 30 KB takes about 5 ms).
  static constexpr int default_batch_size = 256;
  static constexpr int catch_up_batch_size = 16;
  // A query that matches more documents ranks the newest this many (by url_id): ranking
  // costs about a microsecond a document, and a word found in most of a million documents
  // would otherwise take a second.
  static constexpr int default_ranked_at_most = 10000;

  explicit Page_search_index(Database& db = Database::shared()) : db_(db) {}

  // True when the SQLite library has FTS5.
  static bool fts5_available(Database& db);
  // Makes the empty index and its state in an open, writable file that has none (inside the
  // caller's transaction when there is one). False, without change, when FTS5 is missing.
  static bool create(Database& db);

  // The index table exists and is the one this program makes.
  bool exists();
  // exists() and every document has its row as the document is now: searches may use it.
  bool ready();
  // Writes the rows that are behind when the file is writable (build()), then ready(): what a
  // search asks first.
  bool current();

  // Progress of build(): documents done so far and in all; returning false stops the build
  // after the batch in hand (it is kept).
  using Progress = std::function<bool(std::int64_t done, std::int64_t total)>;
  struct Build_result {
    bool complete = false;  // every document is indexed now
    std::int64_t indexed = 0;
  };
  // Makes the index when the file has none, indexes the documents it does not cover yet and
  // writes again the rows of the documents noted since (each with the text of its latest kept
  // copy as its body), in batches of `batch_size` documents, one transaction each;
  // `max_batches` > 0 stops after that many (as a kill would). Nothing happens on a read-only
  // file or without FTS5.
  Build_result build(const Progress& progress = {}, int batch_size = default_batch_size,
                     int max_batches = 0);
  // build() for about `budget` of time at most (a batch begun is finished): the agent's work
  // while it waits on the network.
  Build_result catch_up(std::chrono::milliseconds budget);

  // Notes that the row of document `url_id` is to be written again from its url_master row
  // (title, extract, key terms) and its latest copy's text, or dropped when the document is
  // gone. Nothing happens when the index does not exist. Inside the caller's transaction.
  void update_document(std::int64_t url_id);
  // update_document for each of `url_ids`, in one transaction.
  void update_documents(const std::vector<std::int64_t>& url_ids);
  void remove_document(std::int64_t url_id);
  // Drops the rows of documents that no longer exist; the number dropped.
  std::int64_t remove_orphan_rows();

  // The best `limit` documents for `query`, best first; topic_id > 0 keeps those with a live
  // link to that topic. Throws Search_query_error for a query FTS5 cannot read.
  std::vector<Search_hit> search(std::string_view query, std::int32_t topic_id = 0,
                                 int limit = default_limit);
  static constexpr int default_limit = 20;
  // How many of the newest matching documents search() ranks (tests make it small).
  int ranked_at_most = default_ranked_at_most;

 private:
  // Writes the row of a document (see update_document) inside the caller's transaction.
  void write_row(std::int64_t url_id);
  void run_search(const std::string& text, std::int32_t topic_id, int limit,
                  std::vector<Search_hit>& hits);
  // The statements that made the index table and its state table (empty for a missing one), in
  // one look at the schema: exists() runs at every document written.
  struct Table_sql {
    std::string index;
    std::string state;
    std::string pending;  // of the table of noted documents (made at a file's first write)
    // The tables are the ones this program makes (a file without the table of noted documents
    // yet is one of the last version).
    bool ours() const;
    // The tables are those an earlier version of this program made.
    bool made_earlier() const;
  };
  Table_sql table_sql();

  Database& db_;
};

// Why `query` cannot be a search text, in our words, or empty when FTS5 may read it (the check
// catches what FTS5 would report with its own text: unbalanced quotes and parentheses, an
// operator without its operands, a column filter).
std::string search_query_problem(std::string_view query);

}  // namespace orvalis

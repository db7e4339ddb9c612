#include "database/page_search_index.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "database/page_copy_store.h"

namespace orvalis {

namespace {

// The index as this program makes it. A table of that name with other SQL (made elsewhere, or
// by a later version) is left alone and not used.
// Prefixes of three to five letters have their own entries: a query such as conve* then reads
// one list instead of merging those of every word that begins so, which every statement that
// reads the prefix would do again, at a cost that grows with the file.
constexpr std::string_view index_sql =
    "CREATE VIRTUAL TABLE page_text_index USING fts5(title, extract, terms, body, address,"
    " tokenize = 'unicode61 remove_diacritics 2', prefix = '3 4 5')";
// Indexes that earlier versions made: build() replaces them.
constexpr std::string_view earlier_index_sql[] = {
    "CREATE VIRTUAL TABLE page_text_index USING fts5(title, extract, terms, body, address,"
    " tokenize = 'unicode61 remove_diacritics 2', prefix = '3')",
    "CREATE VIRTUAL TABLE page_text_index USING fts5(title, extract, terms, body, address,"
    " tokenize = 'unicode61 remove_diacritics 2', prefix = '3 4')",
};
constexpr std::string_view state_sql =
    "CREATE TABLE page_text_index_state (indexed_through INTEGER NOT NULL)";
// The documents whose rows are to be written again (a file made before it gets it at its first
// write).
constexpr std::string_view pending_sql =
    "CREATE TABLE IF NOT EXISTS page_text_index_pending (url_id INTEGER PRIMARY KEY)";
// What the schema then holds.
constexpr std::string_view pending_stored_sql =
    "CREATE TABLE page_text_index_pending (url_id INTEGER PRIMARY KEY)";

// BM25 weights of title, extract, key terms, body and address: a word of the title counts as
// much as ten of the body, the summary's own words four times, the address's twice.
constexpr const char* rank_function = "orvalis_rank(10.0, 4.0, 4.0, 1.0, 2.0)";
constexpr std::string_view rank_function_name = "orvalis_rank";

// Documents counted, at most, to learn how common a phrase of the query is.
constexpr sqlite3_int64 phrase_count_sample = 1000;

// What orvalis_rank learns once a query: each phrase's inverse document frequency and the
// average length of a document in tokens.
struct Rank_data {
  std::vector<double> idf;
  std::vector<double> frequency;  // of each phrase in the row in hand, weighted by column
  double average_length = 1;
};

struct Phrase_count {
  sqlite3_int64 rows = 0;
  sqlite3_int64 last_rowid = 0;
};

int count_phrase_row(const Fts5ExtensionApi* api, Fts5Context* fts, void* user) {
  auto* count = static_cast<Phrase_count*>(user);
  count->last_rowid = api->xRowid(fts);
  return ++count->rows >= phrase_count_sample ? SQLITE_DONE : SQLITE_OK;
}

int rank_data(const Fts5ExtensionApi* api, Fts5Context* fts, Rank_data*& data) {
  data = static_cast<Rank_data*>(api->xGetAuxdata(fts, 0));
  if (data) return SQLITE_OK;
  auto made = std::make_unique<Rank_data>();
  sqlite3_int64 rows = 0, tokens = 0;
  int rc = api->xRowCount(fts, &rows);
  if (rc == SQLITE_OK) rc = api->xColumnTotalSize(fts, -1, &tokens);
  if (rc != SQLITE_OK) return rc;
  rows = std::max<sqlite3_int64>(rows, 1);
  made->average_length = std::max(1.0, static_cast<double>(tokens) / static_cast<double>(rows));
  const int phrases = api->xPhraseCount(fts);
  // With one phrase its frequency scales every score alike: the order needs no count.
  if (phrases == 1) made->idf.push_back(1.0);
  for (int i = 0; i < phrases && phrases > 1; ++i) {
    // BM25's own count reads every document that holds the phrase, which for a phrase of
    // common words in a large file costs more than ranking the documents themselves. The
    // first documents that hold it, in id order, tell how common it is, as ids are given in
    // order: found n by id r, it is in about n * rows / r of them.
    Phrase_count count;
    rc = api->xQueryPhrase(fts, i, &count, count_phrase_row);
    if (rc != SQLITE_OK) return rc;
    double n = static_cast<double>(count.rows);
    if (count.rows >= phrase_count_sample && count.last_rowid > 0)
      n = std::min(static_cast<double>(rows),
                   n * static_cast<double>(rows) / static_cast<double>(count.last_rowid));
    const double r = static_cast<double>(rows);
    made->idf.push_back(std::max(1e-6, std::log((r - n + 0.5) / (n + 0.5))));
  }
  made->frequency.resize(made->idf.size());
  rc = api->xSetAuxdata(fts, made.get(), [](void* p) { delete static_cast<Rank_data*>(p); });
  if (rc != SQLITE_OK) return rc;
  data = made.release();
  return SQLITE_OK;
}

// orvalis_rank(weight of column 0, weight of column 1, ...): Okapi BM25 (k1 1.2, b 0.75), as
// FTS5's bm25() ranks but with the phrases' document counts estimated (rank_data), negated so
// that the best row sorts first.
void rank_row(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result,
              int weights, sqlite3_value** weight) {
  constexpr double k1 = 1.2, b = 0.75;
  Rank_data* data = nullptr;
  int rc = rank_data(api, fts, data);
  int instances = 0, length = 0;
  if (rc == SQLITE_OK) rc = api->xInstCount(fts, &instances);
  if (rc == SQLITE_OK) rc = api->xColumnSize(fts, -1, &length);
  if (rc != SQLITE_OK) {
    sqlite3_result_error_code(result, rc);
    return;
  }
  std::fill(data->frequency.begin(), data->frequency.end(), 0.0);
  for (int i = 0; i < instances; ++i) {
    int phrase = 0, column = 0, offset = 0;
    if ((rc = api->xInst(fts, i, &phrase, &column, &offset)) != SQLITE_OK) {
      sqlite3_result_error_code(result, rc);
      return;
    }
    if (phrase < 0 || static_cast<std::size_t>(phrase) >= data->frequency.size()) continue;
    data->frequency[static_cast<std::size_t>(phrase)] +=
        column < weights ? sqlite3_value_double(weight[column]) : 1.0;
  }
  const double norm = k1 * (1 - b + b * length / data->average_length);
  double score = 0;
  for (std::size_t i = 0; i < data->idf.size(); ++i) {
    const double f = data->frequency[i];
    if (f > 0) score += data->idf[i] * f * (k1 + 1) / (f + norm);
  }
  sqlite3_result_double(result, -score);
}

// Gives the connection orvalis_rank; false when FTS5 cannot be reached.
bool add_rank_function(Database& db) {
  fts5_api* api = nullptr;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db.handle(), "SELECT fts5(?1)", -1, &s, nullptr) != SQLITE_OK) {
    sqlite3_finalize(s);
    return false;
  }
  sqlite3_bind_pointer(s, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
  sqlite3_step(s);
  sqlite3_finalize(s);
  if (!api || api->iVersion < 2) return false;
  return api->xCreateFunction(api, rank_function_name.data(), nullptr, rank_row, nullptr) ==
         SQLITE_OK;
}

// Marks around matched words in snippets: control characters, which stored texts never hold.
constexpr char mark_open = '\x02';
constexpr char mark_close = '\x03';

// Text as it is indexed: control characters (our snippet marks among them) become blanks.
std::string indexed_text(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') c = ' ';
  return out;
}

bool word_byte(unsigned char c) {
  return c >= 0x80 || c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
         (c >= 'A' && c <= 'Z');
}

bool all_word_bytes(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return word_byte(c); });
}

// A piece between blanks, parentheses and commas that FTS5 reads as it is: an operator, a word,
// a prefix (word*), a first-word anchor (^word), a column filter (title:) or a "+".
bool plain_piece(std::string_view p) {
  if (p == "AND" || p == "OR" || p == "NOT" || p == "NEAR" || p == "+" || p == "*") return true;
  if (std::size_t colon = p.find(':'); colon != std::string_view::npos)
    return all_word_bytes(p.substr(0, colon)) &&
           (colon + 1 == p.size() || plain_piece(p.substr(colon + 1)));
  if (p.starts_with('^')) p.remove_prefix(1);
  if (p.ends_with('*')) p.remove_suffix(1);
  return all_word_bytes(p);
}

// The query with every piece that FTS5 would refuse as a bare word (e-mail, covid-19, a.b.c)
// turned into the phrase it stands for, so that people may type such words as they are.
std::string readable_query(std::string_view query) {
  std::string out;
  std::size_t i = 0;
  while (i < query.size()) {
    char c = query[i];
    if (c == '"') {
      std::size_t end = query.find('"', i + 1);
      while (end != std::string_view::npos && end + 1 < query.size() && query[end + 1] == '"')
        end = query.find('"', end + 2);
      if (end == std::string_view::npos) end = query.size() - 1;
      out.append(query.substr(i, end - i + 1));
      i = end + 1;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n' || c == '(' || c == ')' || c == ',' || c == '{' ||
        c == '}') {
      out += c;
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < query.size() && std::string_view(" \t\n(),\"{}").find(query[end]) ==
                                     std::string_view::npos)
      ++end;
    std::string_view piece = query.substr(i, end - i);
    i = end;
    if (plain_piece(piece)) {
      out.append(piece);
      continue;
    }
    bool prefix = piece.size() > 1 && piece.ends_with('*');
    if (prefix) piece.remove_suffix(1);
    out += '"';
    out.append(piece);
    out += '"';
    if (prefix) out += '*';
  }
  return out;
}

// What FTS5 said about a query, in our words.
std::string query_error_text(std::string_view sqlite_text) {
  if (sqlite_text.find("no such column") != std::string_view::npos)
    return "The search text names a part of a document that does not exist: a word followed by"
           " ':' must be title, extract, terms, body or address.";
  if (sqlite_text.find("unterminated") != std::string_view::npos)
    return "The search text has a '\"' that is not closed.";
  return "The search text is not a query that can be read: AND, OR and NOT need words on both"
         " sides, NEAR takes phrases in parentheses (NEAR(one two, 5)), and * may only end a"
         " word.";
}

void split_snippet(std::string_view marked, Search_hit& hit) {
  hit.snippet.reserve(marked.size());
  std::size_t open = std::string::npos;
  for (char c : marked) {
    if (c == mark_open) {
      open = hit.snippet.size();
    } else if (c == mark_close) {
      if (open != std::string::npos && open < hit.snippet.size())
        hit.marks.emplace_back(open, hit.snippet.size());
      open = std::string::npos;
    } else {
      hit.snippet += (c == '\n' || c == '\t') ? ' ' : c;
    }
  }
}

}  // namespace

bool Page_search_index::fts5_available(Database& db) {
  Db_statement s(db, "SELECT sqlite_compileoption_used('ENABLE_FTS5')");
  if (s.step() && s.integer(0) == 1) return true;
  // A library may have FTS5 built in without the option (a loadable build): ask it.
  Db_statement m(db, "SELECT 1 FROM pragma_module_list WHERE name = 'fts5'");
  return m.step();
}

bool Page_search_index::create(Database& db) {
  if (!fts5_available(db)) return false;
  Db_transaction t(db);
  db.execute(index_sql);
  db.execute(state_sql);
  db.execute(pending_sql);
  db.execute("INSERT INTO page_text_index_state (indexed_through) VALUES (0)");
  t.commit();
  return true;
}

Page_search_index::Table_sql Page_search_index::table_sql() {
  Table_sql out;
  Db_statement s(db_, "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name IN (?1, ?2, ?3)");
  s.bind(1, table_name).bind(2, state_table_name).bind(3, pending_table_name);
  while (s.step()) {
    const std::string_view name = s.text_view(0);
    if (name == pending_table_name)
      out.pending = std::string(s.text_view(1));
    else
      (name == table_name ? out.index : out.state) = std::string(s.text_view(1));
  }
  return out;
}

bool Page_search_index::Table_sql::ours() const {
  return index == index_sql && state == state_sql && (pending.empty() || pending == pending_stored_sql);
}

bool Page_search_index::exists() { return table_sql().ours(); }

bool Page_search_index::Table_sql::made_earlier() const {
  return state == state_sql &&
         std::find(std::begin(earlier_index_sql), std::end(earlier_index_sql), index) !=
             std::end(earlier_index_sql);
}

bool Page_search_index::ready() {
  const Table_sql sql = table_sql();
  if (!sql.ours()) return false;
  Db_statement s(db_,
                 "SELECT NOT EXISTS (SELECT 1 FROM url_master WHERE url_id >"
                 " (SELECT max(indexed_through) FROM page_text_index_state))");
  if (!s.step() || s.integer(0) != 1) return false;
  if (sql.pending.empty()) return true;
  Db_statement p(db_, "SELECT NOT EXISTS (SELECT 1 FROM page_text_index_pending)");
  return p.step() && p.integer(0) == 1;
}

bool Page_search_index::current() {
  if (!db_.is_read_only()) build();
  return ready();
}

Page_search_index::Build_result Page_search_index::catch_up(std::chrono::milliseconds budget) {
  const auto until = std::chrono::steady_clock::now() + budget;
  return build([until](std::int64_t, std::int64_t) { return std::chrono::steady_clock::now() < until; },
               catch_up_batch_size);
}

Page_search_index::Build_result Page_search_index::build(const Progress& progress,
                                                         int batch_size, int max_batches) {
  Build_result result;
  if (db_.is_read_only()) {
    result.complete = ready();
    return result;
  }
  Table_sql sql = table_sql();
  if (!sql.ours()) {
    if (sql.made_earlier()) {
      Db_transaction t(db_);
      db_.execute("DROP TABLE page_text_index");
      db_.execute("DROP TABLE page_text_index_state");
      t.commit();
      sql.index.clear();
      sql.state.clear();
    }
    // A table of those names that is not ours stays as it is, and searches go the old way.
    if (!sql.index.empty() || !sql.state.empty() || (!sql.pending.empty() && sql.pending != pending_stored_sql) ||
        !create(db_))
      return result;
  }
  std::int64_t through = 0;
  {
    Db_statement s(db_, "SELECT max(indexed_through) FROM page_text_index_state");
    if (s.step()) through = s.integer(0);
  }
  // A file of the last version gets the table of noted documents here (create() makes it).
  if (sql.pending.empty()) db_.execute(pending_sql);
  // The documents past the mark (all of them in a file indexed for the first time), then those
  // written since their rows were: the work of both, in batches.
  std::int64_t total = 0;
  {
    Db_statement s(db_,
                   "SELECT (SELECT count(*) FROM url_master WHERE url_id > ?1) +"
                   " (SELECT count(*) FROM page_text_index_pending WHERE url_id <= ?1)");
    s.bind(1, through);
    if (s.step()) total = s.integer(0);
  }
  if (total == 0) {
    result.complete = true;
    return result;
  }
  if (batch_size < 1) batch_size = 1;
  Db_statement past_mark(db_, "SELECT url_id FROM url_master WHERE url_id > ?1 ORDER BY url_id LIMIT ?2");
  Db_statement pending(db_, "SELECT url_id FROM page_text_index_pending ORDER BY url_id LIMIT ?1");
  for (int batch = 0;; ++batch) {
    if (max_batches > 0 && batch >= max_batches) return result;
    std::vector<std::int64_t> ids;
    past_mark.reset();
    past_mark.bind(1, through).bind(2, batch_size);
    while (past_mark.step()) ids.push_back(past_mark.integer(0));
    const bool marked = !ids.empty();
    if (!marked) {
      pending.reset();
      pending.bind(1, batch_size);
      while (pending.step()) ids.push_back(pending.integer(0));
    }
    if (ids.empty()) break;
    Db_transaction t(db_);
    for (std::int64_t id : ids) write_row(id);
    if (marked) {
      Db_statement(db_, "DELETE FROM page_text_index_pending WHERE url_id > ?1 AND url_id <= ?2")
          .bind(1, through)
          .bind(2, ids.back())
          .run();
      through = ids.back();
      Db_statement(db_, "UPDATE page_text_index_state SET indexed_through = ?1").bind(1, through).run();
    } else {
      Db_statement done(db_, "DELETE FROM page_text_index_pending WHERE url_id = ?1");
      for (std::int64_t id : ids) {
        done.reset();
        done.bind(1, id).run();
      }
    }
    t.commit();
    result.indexed += static_cast<std::int64_t>(ids.size());
    if (progress && !progress(result.indexed, std::max(total, result.indexed))) return result;
  }
  result.complete = true;
  return result;
}

void Page_search_index::update_document(std::int64_t url_id) { update_documents({url_id}); }

void Page_search_index::update_documents(const std::vector<std::int64_t>& url_ids) {
  if (url_ids.empty()) return;
  const Table_sql sql = table_sql();
  if (!sql.ours()) return;
  // One note needs no transaction of its own (a savepoint inside the store's would cost more
  // than the note).
  std::optional<Db_transaction> t;
  if (url_ids.size() > 1) t.emplace(db_);
  if (sql.pending.empty()) db_.execute(pending_sql);
  Db_statement mark(db_, "INSERT OR IGNORE INTO page_text_index_pending (url_id) VALUES (?1)");
  for (std::int64_t id : url_ids) {
    mark.reset();
    mark.bind(1, id).run();
  }
  if (t) t->commit();
}

void Page_search_index::remove_document(std::int64_t url_id) {
  const Table_sql sql = table_sql();
  if (!sql.ours()) return;
  Db_statement(db_, "DELETE FROM page_text_index WHERE rowid = ?1").bind(1, url_id).run();
  if (!sql.pending.empty())
    Db_statement(db_, "DELETE FROM page_text_index_pending WHERE url_id = ?1").bind(1, url_id).run();
}

std::int64_t Page_search_index::remove_orphan_rows() {
  const Table_sql sql = table_sql();
  if (!sql.ours()) return 0;
  if (!sql.pending.empty())
    db_.execute("DELETE FROM page_text_index_pending WHERE url_id NOT IN (SELECT url_id FROM url_master)");
  std::vector<std::int64_t> orphans;
  {
    Db_statement s(db_,
                   "SELECT rowid FROM page_text_index EXCEPT SELECT url_id FROM url_master");
    while (s.step()) orphans.push_back(s.integer(0));
  }
  Db_statement remove(db_, "DELETE FROM page_text_index WHERE rowid = ?1");
  for (std::int64_t id : orphans) {
    remove.reset();
    remove.bind(1, id).run();
  }
  return static_cast<std::int64_t>(orphans.size());
}

void Page_search_index::write_row(std::int64_t url_id) {
  Db_statement document(db_, "SELECT title, abstract, summary, address FROM url_master WHERE url_id = ?1");
  document.bind(1, url_id);
  if (!document.step()) {
    Db_statement(db_, "DELETE FROM page_text_index WHERE rowid = ?1").bind(1, url_id).run();
    return;
  }
  std::string title = indexed_text(document.text_view(0));
  std::string extract = indexed_text(document.text_view(1));
  std::string terms = indexed_text(document.text_view(2));
  std::string address = indexed_text(document.text_view(3));
  // The body is the text of the document's latest kept copy (none: no body).
  const std::optional<std::string> text = Page_copy_store(db_).latest_text(static_cast<std::int32_t>(url_id));
  std::string body = text ? indexed_text(*text) : std::string();
  Db_statement old(db_, "SELECT title, extract, terms, address, body FROM page_text_index WHERE rowid = ?1");
  old.bind(1, url_id);
  // A row that already says all this (a page visited again, unchanged) costs a look, not a
  // delete and an insert that tokenize the whole body twice.
  if (old.step() && old.text_view(0) == title && old.text_view(1) == extract && old.text_view(2) == terms &&
      old.text_view(3) == address && old.text_view(4) == body)
    return;
  old.reset();
  Db_statement(db_, "DELETE FROM page_text_index WHERE rowid = ?1").bind(1, url_id).run();
  Db_statement add(db_,
                   "INSERT INTO page_text_index (rowid, title, extract, terms, body, address)"
                   " VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
  add.bind(1, url_id)
      .bind(2, std::string_view(title))
      .bind(3, std::string_view(extract))
      .bind(4, std::string_view(terms))
      .bind(5, std::string_view(body))
      .bind(6, std::string_view(address));
  add.run();
}

std::string search_query_problem(std::string_view query) {
  bool blank = std::all_of(query.begin(), query.end(),
                           [](char c) { return c == ' ' || c == '\t' || c == '\n'; });
  if (blank) return "The search text is empty.";
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < query.size(); ++i) {
    const char c = query[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '(') ++depth;
    if (c == ')' && --depth < 0)
      return "The search text closes a parenthesis that was not opened.";
    if (c == '*') {
      // The letters the prefix is made of (inside the phrase when it ends one: "solar s"*).
      std::size_t end = i > 0 && query[i - 1] == '"' ? i - 1 : i;
      int letters = 0;
      while (end > 0 && word_byte(static_cast<unsigned char>(query[end - 1]))) {
        if ((static_cast<unsigned char>(query[end - 1]) & 0xC0) != 0x80) ++letters;
        --end;
      }
      if (letters < 3)
        return "A word ending in * needs at least three letters before the *: a shorter"
               " beginning matches too many words to search quickly.";
    }
  }
  if (quoted) return "The search text has a '\"' that is not closed.";
  if (depth > 0) return "The search text opens a parenthesis that is not closed.";
  return {};
}

std::vector<Search_hit> Page_search_index::search(std::string_view query, std::int32_t topic_id,
                                                  int limit) {
  if (std::string problem = search_query_problem(query); !problem.empty())
    throw Search_query_error{problem};
  const std::string text = readable_query(query);
  for (bool retried = false;; retried = true) {
    std::vector<Search_hit> hits;
    try {
      run_search(text, topic_id, limit, hits);
      return hits;
    } catch (const Db_error& e) {
      // The rank function is the connection's own: a connection that has not been given it
      // yet gets it, and the search runs again.
      if (!retried && hits.empty() &&
          std::string_view(e.what()).find(rank_function_name) != std::string_view::npos &&
          add_rank_function(db_))
        continue;
      // FTS5 reads the query when the statement first runs; its complaints are plain errors.
      if (e.primary_code() == SQLITE_ERROR && hits.empty())
        throw Search_query_error{query_error_text(e.what())};
      throw;
    }
  }
}

void Page_search_index::run_search(const std::string& text, std::int32_t topic_id, int limit,
                                   std::vector<Search_hit>& hits) {
  const std::string in_topic = topic_id > 0 ? " AND page_text_index.rowid IN (SELECT url_id FROM"
                                              " concept_urls WHERE concept_id = ?2 AND"
                                              " date_deleted IS NULL)"
                                            : "";
  // Ranking costs a little for every document that matches: when more than ranked_at_most
  // match, the newest of them are ranked.
  if (text.find('*') == std::string::npos) {
    // One walk from the newest match down ranks them, and the best are then read one by one
    // with their snippets, which for words and phrases is a seek in each list.
    Db_statement best(db_, "SELECT id FROM (SELECT page_text_index.rowid AS id, rank AS score"
                           " FROM page_text_index WHERE page_text_index MATCH ?1 AND rank MATCH ?4" +
                               in_topic + " ORDER BY page_text_index.rowid DESC LIMIT ?3)"
                           " ORDER BY score, id LIMIT ?5");
    best.bind(1, std::string_view(text)).bind(3, ranked_at_most).bind(4, rank_function).bind(5, limit);
    if (topic_id > 0) best.bind(2, topic_id);
    std::vector<std::int64_t> ids;
    while (best.step()) ids.push_back(best.integer(0));
    Db_statement one(db_,
                     "SELECT url_master.address, url_master.title,"
                     " snippet(page_text_index, -1, char(2), char(3), '…', 24)"
                     " FROM page_text_index CROSS JOIN url_master"
                     " ON url_master.url_id = page_text_index.rowid"
                     " WHERE page_text_index MATCH ?1 AND page_text_index.rowid = ?2");
    for (std::int64_t id : ids) {
      one.reset();
      one.bind(1, std::string_view(text)).bind(2, id);
      if (!one.step()) continue;
      Search_hit hit;
      hit.url_id = static_cast<std::int32_t>(id);
      hit.address = one.text(0);
      hit.title = one.text(1);
      split_snippet(one.text_view(2), hit);
      hits.push_back(std::move(hit));
    }
    return;
  }
  // A prefix of more letters than the index keeps is merged from the lists of all the words it
  // begins, anew by every statement that reads it, so seeks cost as much as walks: the lowest id
  // of the newest matches is found by a walk from the newest down, and the ranked statement
  // gives the best with their snippets.
  Db_statement newest(db_, "SELECT page_text_index.rowid FROM page_text_index"
                           " WHERE page_text_index MATCH ?1" + in_topic +
                           " ORDER BY page_text_index.rowid DESC LIMIT 1 OFFSET ?3");
  newest.bind(1, std::string_view(text)).bind(3, ranked_at_most - 1);
  if (topic_id > 0) newest.bind(2, topic_id);
  const std::int64_t lowest = newest.step() ? newest.integer(0) : 0;
  // The index is the outer loop and gives its rows in rank order, so SQLite needs no sorter and
  // makes snippets only for the rows it returns.
  Db_statement s(db_,
                 "SELECT page_text_index.rowid, url_master.address, url_master.title,"
                 " snippet(page_text_index, -1, char(2), char(3), '…', 24)"
                 " FROM page_text_index CROSS JOIN url_master"
                 " ON url_master.url_id = page_text_index.rowid"
                 " WHERE page_text_index MATCH ?1 AND rank MATCH ?4 AND page_text_index.rowid >= ?3" +
                     in_topic + " ORDER BY rank LIMIT ?5");
  s.bind(1, std::string_view(text)).bind(3, lowest).bind(4, rank_function).bind(5, limit);
  if (topic_id > 0) s.bind(2, topic_id);
  while (s.step()) {
    Search_hit hit;
    hit.url_id = s.number(0);
    hit.address = s.text(1);
    hit.title = s.text(2);
    split_snippet(s.text_view(3), hit);
    hits.push_back(std::move(hit));
  }
}

}  // namespace orvalis

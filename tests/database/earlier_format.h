// Files of the earlier format, as the tests and benchmarks make them: an SQLite file holding the
// earlier tables. What this schema knows of that format: topics in concept_master with a
// `type` (now the facet) and one `time_last_visit`; the user's own topics listed in
// concept_home; documents in url_master with up to six extract sentences in abstract_0 ..
// abstract_5 and six key terms in summary_0 .. summary_5, and their notes apart in
// url_annotation; links in concept_urls without rating or relevance; relations, terms and search
// resources much as now (no form_url yet); and the program's texts in ui_text, the table by
// which the format is recognised. Dates are whole seconds since 1970, as in current files.
// The one place this schema is written down.
#pragma once

#include <sqlite3.h>

#include <string>

namespace orvalis::testing {

inline constexpr const char* earlier_format_schema = R"sql(
CREATE TABLE concept_master (concept_id INTEGER PRIMARY KEY, name TEXT, definition TEXT,
  type INTEGER, category TEXT, time_last_visit INTEGER);
CREATE TABLE concept_home (concept_id INTEGER);
CREATE TABLE concept_relations (concept_id INTEGER, related_id INTEGER, relationship_type TEXT);
CREATE TABLE concept_terms (concept_id INTEGER, term TEXT);
CREATE TABLE concept_urls (concept_id INTEGER, url_id INTEGER, date_deleted INTEGER,
  date_created INTEGER, search_resource TEXT, query TEXT, num_votes INTEGER);
CREATE TABLE search_resources (name TEXT, location TEXT, field_values TEXT, search_field TEXT,
  ignore_substrings TEXT, request_type TEXT, enabled INTEGER, category TEXT, username TEXT,
  password TEXT);
CREATE TABLE url_master (url_id INTEGER PRIMARY KEY, address TEXT, title TEXT, size INTEGER,
  time_last_retrieved INTEGER, timeout_count INTEGER, num_anchors INTEGER, num_images INTEGER,
  abstract_0 TEXT, abstract_1 TEXT, abstract_2 TEXT, abstract_3 TEXT, abstract_4 TEXT,
  abstract_5 TEXT, summary_0 TEXT, summary_1 TEXT, summary_2 TEXT, summary_3 TEXT,
  summary_4 TEXT, summary_5 TEXT);
CREATE TABLE url_annotation (url_id INTEGER, note_text TEXT);
CREATE TABLE ui_text (text_id INTEGER PRIMARY KEY, text TEXT);
INSERT INTO ui_text VALUES (1, 'Orvalis 1.0');
)sql";

// Makes an earlier-format file at `path` and runs `rows` (SQL inserts) in it. Returns "" or
// SQLite's error.
inline std::string make_earlier_file(const std::string& path, const std::string& rows = "") {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    std::string e = sqlite3_errmsg(db);
    sqlite3_close(db);
    return e;
  }
  std::string sql = std::string("BEGIN;") + earlier_format_schema + rows + "COMMIT;";
  char* error = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  std::string text = rc == SQLITE_OK ? "" : (error ? error : "error");
  sqlite3_free(error);
  sqlite3_close(db);
  return text;
}

}  // namespace orvalis::testing

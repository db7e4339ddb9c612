#include "database/schema.h"

#include <sqlite3.h>

#include <cctype>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "database/database.h"
#include "database/document.h"
#include "database/page_search_index.h"
#include "foundation/error_handler.h"

namespace orvalis {

namespace {

#define BYTE(f) " " f " INTEGER CHECK (" f " BETWEEN 0 AND 255)"
#define NONEMPTY(f) " " f " TEXT CHECK (length(" f ") > 0)"
#define NONEMPTY_NOCASE(f) " " f " TEXT COLLATE NOCASE CHECK (length(" f ") > 0)"

// concept_urls.date_created: unixepoch() arrived in SQLite 3.38; older libraries take the
// strftime form, which gives the same whole seconds.
const char* date_created_default() {
  return sqlite3_libversion_number() >= 3038000 ? "(unixepoch())"
                                                : "(CAST(strftime('%s', 'now') AS INTEGER))";
}

std::string concept_urls_table() {
  return std::string(
             "CREATE TABLE concept_urls ("
             " concept_id INTEGER,"
             " url_id INTEGER,"
             " date_deleted INTEGER,"
             " date_created INTEGER DEFAULT ") +
         date_created_default() +
         ","
         " search_resource TEXT,"
         " query TEXT,"
         " rating INTEGER,"
         " num_votes INTEGER,"
         " relevant INTEGER)";
}

const char* const statements[] = {
    "CREATE TABLE concept_master ("
    " concept_id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT COLLATE NOCASE,"
    " definition TEXT,"
    " time_last_modified INTEGER," BYTE("facet") ","
    " category TEXT,"
    " time_last_queried INTEGER,"
    " time_last_summarized INTEGER,"
    " query_time_spec TEXT,"
    " summarize_time_spec TEXT," BYTE("query_enabled") "," BYTE("summary_enabled") "," BYTE(
        "is_top_level") "," BYTE("is_user_topic") "," BYTE("is_user_top_level") ")",
    "CREATE UNIQUE INDEX TopicIdIndex ON concept_master (concept_id)",
    "CREATE INDEX TopicNameIndex ON concept_master (name)",

    "CREATE TABLE concept_relations ("
    " concept_id INTEGER,"
    " related_id INTEGER,"
    " relationship_type TEXT CHECK (length(relationship_type) BETWEEN 1 AND 2))",
    "CREATE INDEX TopicRelationIndex1 ON concept_relations (concept_id)",
    "CREATE INDEX TopicRelationIndex2 ON concept_relations (related_id)",

    "CREATE TABLE concept_terms ("
    " concept_id INTEGER," NONEMPTY("term") ")",
    "CREATE INDEX TopicTermIndex ON concept_terms (concept_id)",

    nullptr,  // concept_urls: its default depends on the SQLite version
    "CREATE INDEX UrlRelationIndex1 ON concept_urls (concept_id)",
    "CREATE INDEX UrlRelationIndex2 ON concept_urls (url_id)",

    "CREATE TABLE search_resources (" NONEMPTY_NOCASE("name") "," NONEMPTY("location") ","
    " field_values TEXT," NONEMPTY("search_field") ","
    " ignore_substrings TEXT," NONEMPTY("request_type") ","
    " enabled INTEGER,"
    " category TEXT,"
    " username TEXT,"
    " password TEXT,"
    " form_url TEXT)",
    "CREATE INDEX ResourceNameIndex ON search_resources (name)",

    "CREATE TABLE url_master ("
    " url_id INTEGER PRIMARY KEY AUTOINCREMENT," NONEMPTY("address") ","
    " title TEXT,"
    " size INTEGER,"
    " time_last_retrieved INTEGER," BYTE("timeout_count") ","
    " num_anchors INTEGER,"
    " num_images INTEGER,"
    " abstract TEXT,"
    " summary TEXT,"
    " annotation TEXT)",
    "CREATE INDEX MainUrlIndex ON url_master (url_id)",
    "CREATE INDEX UrlNameIndex ON url_master (address)",
    nullptr,
};

#undef BYTE
#undef NONEMPTY
#undef NONEMPTY_NOCASE

constexpr int statement_count = sizeof statements / sizeof statements[0] - 1;
constexpr int concept_urls_slot = 8;

}  // namespace

namespace {

// The CREATE TABLE statement of `table` in the current layout.
std::string create_statement(const std::string& table) {
  std::string head = "CREATE TABLE " + table + " (";
  for (int i = 0; i < statement_count; ++i)
    if (statements[i] && std::string_view(statements[i]).starts_with(head)) return statements[i];
  return {};
}

// Rebuilds `table` in the current layout, rows, counter and indexes kept: SQLite cannot change
// the collation of a column in place.
void rebuild_table(Database& db, const std::string& table, const char* const* indexes) {
  std::string columns;
  {
    Db_statement s(db, "SELECT name FROM pragma_table_info(?1) ORDER BY cid");
    s.bind(1, std::string_view(table));
    while (s.step()) columns += (columns.empty() ? "" : ", ") + std::string(s.text_view(0));
  }
  std::int64_t counter = -1;
  if (db.has_table("sqlite_sequence")) {
    Db_statement s(db, "SELECT seq FROM sqlite_sequence WHERE name = ?1");
    s.bind(1, std::string_view(table));
    if (s.step()) counter = s.integer(0);
  }
  std::string create = create_statement(table);
  create.replace(0, ("CREATE TABLE " + table).size(), "CREATE TABLE " + table + "_upgrade");
  db.execute(create);
  db.execute("INSERT INTO " + table + "_upgrade (" + columns + ") SELECT " + columns + " FROM " +
             table + " ORDER BY rowid");
  db.execute("DROP TABLE " + table);
  db.execute("ALTER TABLE " + table + "_upgrade RENAME TO " + table);
  for (const char* const* index = indexes; *index; ++index) db.execute(*index);
  if (counter >= 0) {
    Db_statement s(db, "UPDATE sqlite_sequence SET seq = max(seq, ?2) WHERE name = ?1");
    s.bind(1, std::string_view(table)).bind(2, counter);
    s.run();
  }
}

// Stores the addresses of `column` of `table` with their scheme and host in lower case.
void normalize_addresses(Database& db, const char* table, const char* column) {
  std::vector<std::pair<std::int64_t, std::string>> changed;
  {
    Db_statement s(db, std::string("SELECT rowid, ") + column + " FROM " + table);
    while (s.step()) {
      Ref_string stored = s.text(1);
      Ref_string normal = normalized_address(stored);
      if (!(normal == stored)) changed.emplace_back(s.integer(0), normal.str());
    }
  }
  Db_statement update(db, std::string("UPDATE ") + table + " SET " + column +
                              " = ?2 WHERE rowid = ?1");
  for (const auto& [rowid, address] : changed) {
    update.bind(1, rowid).bind(2, std::string_view(address));
    update.run();
    update.reset();
  }
}

// Decodes the character references of every stored extract and key term.
void decode_stored_sentences(Database& db) {
  std::vector<std::tuple<std::int64_t, std::string, std::string>> changed;
  {
    Db_statement s(db, "SELECT url_id, abstract, summary FROM url_master"
                       " WHERE instr(abstract, '&') > 0 OR instr(summary, '&') > 0");
    while (s.step()) changed.emplace_back(s.integer(0), decoded_sentences(s.text_view(1)),
                                          decoded_sentences(s.text_view(2)));
  }
  // NULL stays NULL: only a text holding "&" is rewritten.
  Db_statement update(db, "UPDATE url_master SET"
                          " abstract = CASE WHEN instr(abstract, '&') > 0 THEN ?2 ELSE abstract END,"
                          " summary = CASE WHEN instr(summary, '&') > 0 THEN ?3 ELSE summary END"
                          " WHERE url_id = ?1");
  for (const auto& [id, abstract, summary] : changed) {
    update.bind(1, id).bind(2, std::string_view(abstract)).bind(3, std::string_view(summary));
    update.run();
    update.reset();
  }
}

}  // namespace

void upgrade_schema(Database& db) {
  std::int64_t version = 0;
  {
    Db_statement s(db, "PRAGMA user_version");
    if (s.step()) version = s.integer(0);
  }
  if (version >= schema_version) return;
  Db_transaction t(db);
  if (version < 1) {
    // Version 0 compared names by case and kept addresses as they came.
    static const char* const topic_indexes[] = {
        "CREATE UNIQUE INDEX TopicIdIndex ON concept_master (concept_id)",
        "CREATE INDEX TopicNameIndex ON concept_master (name)", nullptr};
    static const char* const resource_indexes[] = {
        "CREATE INDEX ResourceNameIndex ON search_resources (name)", nullptr};
    rebuild_table(db, "concept_master", topic_indexes);
    rebuild_table(db, "search_resources", resource_indexes);
    normalize_addresses(db, "url_master", "address");
    normalize_addresses(db, "search_resources", "location");
  }
  // Versions 0 and 1 kept extracts and key terms with their pages' character references.
  if (version < 2) decode_stored_sentences(db);
  db.execute("PRAGMA user_version = " + std::to_string(schema_version));
  t.commit();
}

bool create_database(const Ref_string& path) {
  Database db;
  try {
    db.open_file(path.str(), Database::Mode::create);
    Db_transaction t(db);
    db.execute("PRAGMA application_id = " + std::to_string(Database::application_id));
    db.execute("PRAGMA user_version = " + std::to_string(schema_version));
    for (int i = 0; i < statement_count; ++i)
      db.execute(i == concept_urls_slot ? concept_urls_table() : std::string(statements[i]));
    Page_search_index::create(db);  // empty: a new file's documents are indexed as they come
    t.commit();
    db.close();
    return true;
  } catch (const Db_error& e) {
    report_error(format_db_error(e));
    return false;
  }
}

namespace {

// The triggers and views this program makes, by name and exact SQL: any other one in a file
// is refused. A layer that adds one lists it here.
struct Schema_object {
  const char* type;  // "trigger" or "view"
  const char* name;
  const char* sql;
};
const Schema_object our_objects[] = {
    {nullptr, nullptr, nullptr},
};

bool ours(std::string_view type, std::string_view name, std::string_view sql) {
  for (const Schema_object& o : our_objects)
    if (o.type && type == o.type && name == o.name && sql == o.sql) return true;
  return false;
}

// The tables every command reads.
constexpr const char* read_tables[] = {"concept_master", "concept_relations", "concept_terms",
                                       "concept_urls", "search_resources", "url_master"};

}  // namespace

std::string schema_refusal(Database& db) {
  Db_statement s(db, "SELECT type, name, sql FROM sqlite_master WHERE type IN ('trigger', 'view')"
                     " ORDER BY rowid");
  while (s.step()) {
    const std::string type(s.text_view(0)), name(s.text_view(1));
    if (!ours(type, name, s.text_view(2)))
      return "it holds a " + type + " named '" + name +
             "' that Orvalis did not make, and a database file must not run code of its own";
  }
  for (const char* table : read_tables) {
    Db_statement t(db, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    t.bind(1, table);
    if (!t.step()) continue;  // the format check says what is missing
    std::string sql(t.text_view(0));
    for (char& c : sql) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (sql.starts_with("CREATE VIRTUAL"))
      return std::string("its table ") + table + " is a virtual table, not one Orvalis made";
  }
  return {};
}

Database_format check_database_format(const Ref_string& path, std::string* refusal) {
  Database db;
  try {
    db.open_file(path.str(), Database::Mode::read_only);
    try {
      db.has_table("concept_master");
    } catch (const Db_error& e) {
      // A WAL file that is read-only in a folder we cannot write: SQLite cannot set up its
      // shared-memory file, so it is read as it lies on disk.
      if (e.primary_code() != SQLITE_READONLY && e.primary_code() != SQLITE_CANTOPEN) throw;
      db.open_file(path.str(), Database::Mode::read_only_immutable);
    }
    // Looked at first: a view standing for one of our tables is named as what it is.
    if (std::string why = schema_refusal(db); !why.empty()) {
      if (refusal) *refusal = why;
      return format_other;
    }
    for (const char* table : {"concept_master", "search_resources", "url_master", "concept_terms"})
      if (!db.has_table(table)) return format_other;
    if (db.has_table("ui_text")) return format_other;
    // Some other program's file that happens to hold tables of these names.
    Db_statement id(db, "PRAGMA application_id");
    if (id.step() && id.integer(0) != 0 && id.integer(0) != Database::application_id)
      return format_other;
    return format_current;
  } catch (const Db_error& e) {
    if (e.primary_code() == SQLITE_NOTADB) return format_other;
    report_error(format_db_error(e));
    return format_failed;
  }
}

}  // namespace orvalis

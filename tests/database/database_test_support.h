// Helpers of the database tests: a fresh Topic database in a temporary folder, opened on a
// connection of the test's own, and raw SQL for checks that must not go through the code.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "database/database.h"
#include "database/db_error.h"
#include "database/schema.h"
#include "database/search_resource.h"
#include "database/topic.h"
#include "foundation/error_handler.h"
#include "test_support.h"

namespace orvalis::testing {

// Runs SQL on a raw SQLite connection (for files that are not ours, and for checks that must
// not go through the code under test).
inline void raw_sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  std::string text = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << text;
}

// One integer from a query on a connection of the database under test.
inline std::int64_t scalar(Database& db, const std::string& sql) {
  Db_statement s(db, sql);
  if (!s.step()) return -1;
  return s.integer(0);
}

inline std::string scalar_text(Database& db, const std::string& sql) {
  Db_statement s(db, sql);
  if (!s.step()) return "<no row>";
  return std::string(s.text_view(0));
}

// Every row of a query, fields joined by "|" (NULL as "null"), each row ended by ";".
inline std::string rows(Database& db, const std::string& sql) {
  std::string out;
  Db_statement q(db, sql);
  while (q.step()) {
    for (int i = 0; i < q.column_count(); ++i)
      out += (i ? "|" : "") + (q.is_null(i) ? std::string("null") : std::string(q.text_view(i)));
    out += ";";
  }
  return out;
}

// Every field of a search resource on one line: name|enabled|location|fields|search field|
// ignored texts|request type|category|form page|user name|password.
inline std::string fields_of(const Search_resource& r) {
  std::string out = r.name.str() + "|" + std::to_string(r.enabled) + "|" + r.location.text().str() + "|";
  for (const Name_value& nv : r.field_values) out += nv.name.str() + "=" + nv.value.str() + ",";
  out += "|" + r.search_field.str() + "|" + join(r.ignore_substrings, Ref_string(",")).str() + "|" +
         request_type_text(r.request_kind) + "|" + r.category.str() + "|" + r.form_url.str() + "|" +
         r.username.str() + "|" + r.password.str();
  return out;
}

// A date as its seconds, or "null" / "invalid".
inline std::string date_text(const Db_date& d) {
  return d.is_valid() ? std::to_string(d.seconds) : d.is_null() ? "null" : "invalid";
}

// Every stored field of a topic on one line: name|definition|facet|category|modified|queried|
// summarized|query schedule|summary schedule|query on|summary on|top|user topic|user top|terms.
inline std::string fields_of(const Topic& t) {
  return t.name.str() + "|" + t.definition.str() + "|" + std::to_string(t.facet) + "|" + t.category.str() +
         "|" + date_text(t.time_last_modified) + "|" + date_text(t.time_last_queried) + "|" +
         date_text(t.time_last_summarized) + "|" + t.query_time_spec.str() + "|" +
         t.summarize_time_spec.str() + "|" + std::to_string(t.query_enabled) +
         std::to_string(t.summary_enabled) + std::to_string(t.is_top_level) +
         std::to_string(t.is_user_topic) + std::to_string(t.is_user_top_level) + "|" +
         join(t.terms, Ref_string(",")).str();
}

// A test with a fresh Topic database open on `db`, and collected error messages.
class Database_test : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_db_error_reporter();
    path = dir.file("topics.ov2");
    ASSERT_TRUE(create_database(Ref_string(path)));
    ASSERT_TRUE(db.open(Ref_string(path)));
  }
  void TearDown() override {
    db.close();
    set_db_recovery_hook(nullptr);
    reset_db_error_reporter();
  }

  std::vector<std::string> messages() const { return errors.texts(); }

  Temp_dir dir{"orvalis-db-"};
  Message_recorder errors;
  std::string path;
  Database db;
};

}  // namespace orvalis::testing

// Helpers of the database tests: a temporary folder per test, removed afterwards, and a fresh
// Topic database opened on a connection of the test's own.
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
#include "foundation/error_handler.h"

namespace orvalis::testing {

class Temp_dir {
 public:
  Temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvalis-db-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    path_ = made;
  }
  ~Temp_dir() {
    std::error_code ec;
    // Read-only files and folders made by a test must not keep their folder alive.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  Temp_dir(const Temp_dir&) = delete;
  Temp_dir& operator=(const Temp_dir&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

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

  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const Ref_string& m : errors.messages()) out.push_back(m.str());
    return out;
  }

  Temp_dir dir;
  Collecting_error_handler errors;
  std::string path;
  Database db;
};

}  // namespace orvalis::testing

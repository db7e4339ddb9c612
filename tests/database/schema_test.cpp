#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "database/record_set.h"
#include "database_test_support.h"

namespace orvalis::testing {
namespace {

using Schema = Database_test;

TEST_F(Schema, CreationFailureReportsCodeAndDescriptionAndReturnsFalse) {
  EXPECT_FALSE(create_database(Ref_string(dir.file("no-such-folder/x.ov2"))));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].rfind("0xe unable to open database file", 0), 0u) << messages()[0];

  // Tables that exist already: the transaction rolls back, nothing half made.
  std::string other = dir.file("other.ov2");
  raw_sql(other, "CREATE TABLE url_master (x)");
  EXPECT_FALSE(create_database(Ref_string(other)));
  EXPECT_EQ(messages().back(), "0x1 table url_master already exists");
  Database check;
  check.open_file(other, Database::Mode::read_only);
  EXPECT_FALSE(check.has_table("concept_master"));
}

// ---- format check and open on files of every kind ----

class Format : public ::testing::Test {
 protected:
  void SetUp() override { reset_db_error_reporter(); }
  void TearDown() override { reset_db_error_reporter(); }
  std::vector<std::string> messages() const { return errors.texts(); }
  Database_format check(const std::string& p) { return check_database_format(Ref_string(p)); }

  Temp_dir dir;
  Message_recorder errors;
};

// One row per kind of file: what the format check says of it, and whether it opens for work. A
// file that does not open is left byte for byte as it was (no WAL switch), and a missing one is
// not made.
TEST_F(Format, FilesOfEveryKind) {
  using Make = void (*)(const std::string&);
  const struct {
    const char* what;
    Make make;
    Database_format format;
    const char* check_says;  // what the check reports ("": nothing)
    bool opens;
    const char* open_says;  // a part of what a refused open reports ("": not looked at)
  } cases[] = {
      {"current", [](const std::string& p) { create_database(Ref_string(p)); }, format_current, "",
       true, ""},
      {"current tables beside ui_text",
       [](const std::string& p) {
         create_database(Ref_string(p));
         raw_sql(p, "CREATE TABLE ui_text (id INTEGER, text TEXT); CREATE TABLE concept_home (concept_id);"
                    "CREATE TABLE url_annotation (url_id, note_text)");
       },
       format_other, "", false, ""},
      {"the earlier format",
       [](const std::string& p) {
         raw_sql(p, "CREATE TABLE concept_master (concept_id, name); CREATE TABLE search_resources (name);"
                    "CREATE TABLE url_master (url_id, address); CREATE TABLE concept_terms (concept_id);"
                    "CREATE TABLE concept_home (concept_id); CREATE TABLE url_annotation (url_id, note_text);"
                    "CREATE TABLE ui_text (id, text)");
       },
       format_other, "", false, ""},
      {"a table missing",
       [](const std::string& p) {
         create_database(Ref_string(p));
         raw_sql(p, "DROP TABLE concept_terms");
       },
       format_other, "", false, ""},
      {"another program's database",
       [](const std::string& p) { raw_sql(p, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('keep me')"); },
       format_other, "", false, "File is not a valid Orvalis database."},
      // A received file runs no code of its own: no trigger or view but ours, no table read
      // through a view or a virtual table; extra tables are kept.
      {"a trigger of its own",
       [](const std::string& p) {
         create_database(Ref_string(p));
         raw_sql(p, "CREATE TRIGGER spin AFTER INSERT ON concept_master BEGIN SELECT 1; END");
       },
       format_other, "", false, "holds a trigger named 'spin' that Orvalis did not make"},
      {"a view for one of our tables",
       [](const std::string& p) {
         create_database(Ref_string(p));
         raw_sql(p, "DROP TABLE concept_relations; CREATE VIEW concept_relations AS SELECT 1 AS concept_id");
       },
       format_other, "", false, "holds a view named 'concept_relations'"},
      {"a virtual table for one of ours",
       [](const std::string& p) {
         create_database(Ref_string(p));
         raw_sql(p, "DROP TABLE concept_terms; CREATE VIRTUAL TABLE concept_terms USING fts5(concept_id, term)");
       },
       format_other, "", false, "its table concept_terms is a virtual table"},
      {"an extra table", [](const std::string& p) {
         create_database(Ref_string(p));
         raw_sql(p, "CREATE TABLE page_health (engine TEXT)");
       },
       format_current, "", true, ""},
      {"a letter", [](const std::string& p) { write_file(p, std::string(4096, 'x') + "not a database\n"); },
       format_other, "", false, "file is not a database"},
      {"an empty file", [](const std::string& p) { write_file(p, ""); }, format_other, "", false, ""},
      {"no file", [](const std::string&) {}, format_failed, "0xe unable to open database file", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string p = dir.file(std::string(c.what) + ".ov2");
    c.make(p);
    const bool existed = std::filesystem::exists(p);
    const std::string bytes = read_file(p);
    reset_db_error_reporter();  // no message held back as a repeat of the last row's
    const std::size_t before = messages().size();
    EXPECT_EQ(check(p), c.format);
    if (*c.check_says) {
      ASSERT_EQ(messages().size(), before + 1);
      EXPECT_EQ(messages().back().rfind(c.check_says, 0), 0u) << messages().back();
    } else {
      EXPECT_EQ(messages().size(), before) << messages().back();
    }
    Database db;
    EXPECT_EQ(db.open(Ref_string(p)), c.opens);
    if (c.opens) continue;
    EXPECT_FALSE(db.is_open());
    if (*c.open_says) {
      ASSERT_GT(messages().size(), before);
      EXPECT_NE(messages().back().find(c.open_says), std::string::npos) << messages().back();
    }
    EXPECT_EQ(std::filesystem::exists(p), existed);
    EXPECT_EQ(read_file(p), bytes) << "a file that does not open is left as it was";
  }
}

TEST_F(Format, TruncatedFileNeverCrashesAndLosesNothingElse) {
  std::string p = dir.file("t.ov2");
  ASSERT_TRUE(create_database(Ref_string(p)));
  {
    Database db;
    ASSERT_TRUE(db.open(Ref_string(p)));
    for (int i = 0; i < 300; ++i)
      db.execute("INSERT INTO url_master (address, abstract) VALUES ('http://a/" +
                 std::to_string(i) + "', '" + std::string(500, 'z') + "')");
    db.execute("PRAGMA wal_checkpoint(TRUNCATE)");
  }
  auto size = std::filesystem::file_size(p);
  ASSERT_GT(size, 20000u);

  // Cut in the middle of the data: SQLite finds the file shorter than its header says; the
  // check fails with the engine's message and the file is not opened for work.
  std::filesystem::resize_file(p, size / 2);
  EXPECT_EQ(check(p), format_failed);
  Database db;
  EXPECT_FALSE(db.open(Ref_string(p)));

  // Cut inside the 100-byte header: SQLite calls that damage, and the message says so.
  db.close();
  std::filesystem::resize_file(p, 60);
  std::size_t before = messages().size();
  EXPECT_EQ(check(p), format_failed);
  ASSERT_EQ(messages().size(), before + 1);
  EXPECT_EQ(messages().back(), "0xb database disk image is malformed");
  EXPECT_FALSE(db.open(Ref_string(p)));
}

TEST_F(Format, ReadOnlyFilesAndFoldersAreReadAndLeaveNothingBehind) {
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  std::string folder = dir.file("own"), p = folder + "/t.ov2";
  auto side_files = [&] { return std::filesystem::exists(p + "-wal") || std::filesystem::exists(p + "-shm"); };
  // The error a write gets ("" when it is written).
  auto write_error = [](Database& db) {
    try {
      db.execute("INSERT INTO url_master (address) VALUES ('x')");
      return std::string();
    } catch (const Db_error& e) {
      return e.description();
    }
  };
  // In a child process that gives up root when it has it (root writes any file).
  auto body = [&] {
    int bad = 0;
    Collecting_error_handler child_errors;
    if (mkdir(folder.c_str(), 0755) != 0 || !create_database(Ref_string(p)) ||
        chmod(p.c_str(), 0444) != 0)
      return 64;
    if (check(p) != format_current || side_files()) bad |= 1;
    {
      Database db;
      if (!db.open(Ref_string(p)) || db.read_only_reason() != "the file is read-only") bad |= 2;
      if (write_error(db).find("the file is read-only, so it was opened for reading only") ==
          std::string::npos)
        bad |= 4;
    }
    if (side_files()) bad |= 8;
    // An earlier version left a -shm with the file's read-only permissions: once the user makes
    // the file writable again, it must open writable.
    sqlite3* raw = nullptr;
    sqlite3_open_v2(p.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_exec(raw, "SELECT count(*) FROM url_master", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    chmod(p.c_str(), 0644);
    {
      Database db;
      if (!db.open(Ref_string(p)) || !db.read_only_reason().empty() || !write_error(db).empty())
        bad |= 16;
    }
    // A writable file in a folder that cannot be written is still read.
    chmod(folder.c_str(), 0555);
    {
      Database db;
      if (!db.open(Ref_string(p)) || db.read_only_reason().find("its folder") != 0 ||
          scalar(db, "SELECT count(*) FROM url_master") != 1)
        bad |= 32;
    }
    return bad;
  };
  Child_process child;
  ASSERT_TRUE(child.start([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    _exit(body());
  }));
  int status = child.wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Format, NamesAreFileNamesNeverUris) {
  std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  for (const char* name : {"file:notes.ov2", "file:x.ov2?mode=memory", ":memory:"}) {
    EXPECT_TRUE(create_database(Ref_string(name)));
    EXPECT_TRUE(std::filesystem::exists(name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists("notes.ov2"));
  Database db;
  EXPECT_TRUE(db.open(Ref_string("file:x.ov2?mode=memory")));
  std::filesystem::current_path(here);
}

// A file of the first layout (names compared by case, addresses as they came): the tables the
// upgrade rebuilds or rewrites, with only the columns it reads.
TEST_F(Format, FirstLayoutIsUpgradedWhenOpened) {
  std::string p = dir.file("old.ov2");
  raw_sql(p,
          "PRAGMA application_id = 1331049008;"
          "CREATE TABLE concept_master (concept_id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, category TEXT);"
          "CREATE TABLE concept_terms (concept_id INTEGER, term TEXT);"
          "CREATE TABLE search_resources (name TEXT, location TEXT, search_field TEXT, request_type TEXT);"
          "CREATE TABLE url_master (url_id INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, abstract TEXT,"
          " summary TEXT);"
          "INSERT INTO concept_master (name, category) VALUES ('rust', 'Lang'), ('gone', '');"
          "DELETE FROM concept_master WHERE name = 'gone';"
          "INSERT INTO search_resources (name, location, search_field, request_type)"
          " VALUES ('Wiki', 'HTTPS://EN.Example.ORG/W/Index.php', 'search', 'get');"
          "INSERT INTO url_master (address) VALUES ('HTTP://User:Pw@WWW.Example.COM:80/A?B=C');"
          "PRAGMA journal_mode = WAL;");
  Database db;
  ASSERT_TRUE(db.open(Ref_string(p)));
  EXPECT_EQ(scalar(db, "PRAGMA user_version"), schema_version);
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_master WHERE name = 'RUST'"), 1);
  EXPECT_EQ(scalar_text(db, "SELECT category FROM concept_master WHERE name = 'Rust'"), "Lang");
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM search_resources WHERE name = 'wiki'"), 1);
  EXPECT_EQ(scalar_text(db, "SELECT location FROM search_resources"),
            "https://en.example.org/W/Index.php");
  EXPECT_EQ(scalar_text(db, "SELECT address FROM url_master"),
            "http://User:Pw@www.example.com:80/A?B=C");
  db.execute("INSERT INTO concept_master (name) VALUES ('next')");
  EXPECT_EQ(scalar(db, "SELECT concept_id FROM concept_master WHERE name = 'next'"), 3)
      << "the counter goes on above the highest id ever given";
  db.close();
  // Opening again changes nothing more.
  ASSERT_TRUE(db.open(Ref_string(p)));
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_master"), 2);
}

// A file of the second layout kept extracts and key terms with their pages' character
// references: the first writable open decodes them once; a read-only open reads them as they are.
TEST_F(Format, StoredTextIsDecodedOnceAtTheFirstWritableOpen) {
  std::string p = dir.file("v1.ov2");
  ASSERT_TRUE(create_database(Ref_string(p)));
  struct Case {
    const char* abstract;  // as stored (NULL when null)
    const char* summary;
    const char* abstract_after;
    const char* summary_after;
  } cases[] = {
      {"AT&amp;T builds it.\nThe &lt;b&gt; tag.", "option&lt;t&gt;\n&amp;mut s", "AT&T builds it.\nThe <b> tag.",
       "option<t>\n&mut s"},
      {"Decoded once: &amp;lt;b&amp;gt;", "&amp;amp;", "Decoded once: &lt;b&gt;", "&amp;"},
      {"A line&#10;break and a tab&#9;stay apart.\nTwo", "caf&eacute;\nsail&rsquo;s",
       "A line break and a tab stay apart.\nTwo", "caf\u00e9\nsail\u2019s"},
      {"No references & no change; &bogus; stays.", nullptr, "No references & no change; &bogus; stays.", nullptr},
      {nullptr, "", nullptr, ""},
  };
  auto quoted = [](const char* text) {
    return text ? "'" + std::string(text) + "'" : std::string("NULL");
  };
  std::string rows = "PRAGMA user_version = 1;";
  int n = 0;
  for (const Case& c : cases)
    rows += "INSERT INTO url_master (address, abstract, summary) VALUES ('http://a/" + std::to_string(++n) +
            "', " + quoted(c.abstract) + ", " + quoted(c.summary) + ");";
  raw_sql(p, rows);
  auto column = [](Database& db, int id, const char* name) -> std::string {
    std::string sql = std::string("SELECT coalesce(") + name + ", '<null>') FROM url_master WHERE url_id = " +
                      std::to_string(id);
    return scalar_text(db, sql);
  };
  auto expect_rows = [&](Database& db, bool decoded) {
    int id = 0;
    for (const Case& c : cases) {
      ++id;
      const char* abstract = decoded ? c.abstract_after : c.abstract;
      const char* summary = decoded ? c.summary_after : c.summary;
      EXPECT_EQ(column(db, id, "abstract"), abstract ? abstract : "<null>") << id;
      EXPECT_EQ(column(db, id, "summary"), summary ? summary : "<null>") << id;
    }
  };
  {
    SCOPED_TRACE("read-only: the file is read as it is");
    EXPECT_EQ(check_database_format(Ref_string(p)), format_current);
    Database db;
    db.open_file(p, Database::Mode::read_only);
    EXPECT_EQ(scalar(db, "PRAGMA user_version"), 1);
    expect_rows(db, false);
  }
  for (int open = 1; open <= 2; ++open) {
    SCOPED_TRACE(open == 1 ? "first writable open" : "second writable open: nothing decoded again");
    Database db;
    ASSERT_TRUE(db.open(Ref_string(p)));
    EXPECT_EQ(scalar(db, "PRAGMA user_version"), schema_version);
    expect_rows(db, true);
  }
}

}  // namespace
}  // namespace orvalis::testing

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "database/record_set.h"
#include "database_test_support.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

using Schema = Database_test;

TEST_F(Schema, NewFileHoldsExactlyTheSixTablesWithoutRows) {
  std::vector<std::string> tables;
  Db_statement s(db,
                 "SELECT name FROM sqlite_master WHERE type = 'table'"
                 " AND name NOT LIKE 'sqlite_%' ORDER BY name");
  while (s.step()) tables.emplace_back(s.text_view(0));
  EXPECT_EQ(tables,
            (std::vector<std::string>{"concept_master", "concept_relations", "concept_terms",
                                      "concept_urls", "search_resources", "url_master"}));
  for (const std::string& t : tables) EXPECT_EQ(scalar(db, "SELECT count(*) FROM " + t), 0) << t;
  EXPECT_EQ(scalar(db, "PRAGMA application_id"), Database::application_id);
  EXPECT_EQ(scalar_text(db, "PRAGMA journal_mode"), "wal");
}

TEST_F(Schema, FieldRulesRefuseWhatTheFieldForbids) {
  const struct {
    const char* sql;
    bool accepted;
  } cases[] = {
      {"INSERT INTO url_master (address) VALUES ('')", false},
      {"INSERT INTO search_resources (name) VALUES ('')", false},
      {"INSERT INTO concept_terms (concept_id, term) VALUES (1, '')", false},
      {"INSERT INTO concept_relations (concept_id, related_id, relationship_type)"
       " VALUES (1, 2, '#pp')",
       false},
      {"INSERT INTO concept_master (name) VALUES ('')", true},
      {"INSERT INTO url_master (title) VALUES (NULL)", true},  // no field is required
      {"INSERT INTO concept_master (facet) VALUES (255)", true},
      {"INSERT INTO concept_master (facet) VALUES (256)", false},
      {"INSERT INTO url_master (timeout_count) VALUES (-1)", false},
  };
  for (const auto& c : cases) {
    bool accepted = true;
    try {
      db.execute(c.sql);
    } catch (const Db_error&) {
      accepted = false;
    }
    EXPECT_EQ(accepted, c.accepted) << c.sql;
  }
}

TEST_F(Schema, CountersGoOneAboveTheHighestEverGiven) {
  db.execute("INSERT INTO url_master (address) VALUES ('a')");
  db.execute("INSERT INTO url_master (address) VALUES ('b')");
  db.execute("DELETE FROM url_master WHERE address = 'b'");
  db.execute("INSERT INTO url_master (address) VALUES ('c')");
  EXPECT_EQ(scalar(db, "SELECT url_id FROM url_master WHERE address = 'c'"), 3);
}

TEST_F(Schema, LinkRowWithoutDateCreatedGetsTheTimeOfInsertion) {
  platform::System_clock real;
  std::int64_t before = real.now();
  db.execute("INSERT INTO concept_urls (concept_id, url_id) VALUES (1, 1)");
  std::int64_t after = real.now();
  std::int64_t created = scalar(db, "SELECT date_created FROM concept_urls");
  EXPECT_GE(created, before);
  EXPECT_LE(created, after);
  EXPECT_EQ(scalar_text(db, "SELECT typeof(date_created) FROM concept_urls"), "integer");
}

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

TEST_F(Format, CurrentFileIsFormat1AndOpens) {
  std::string p = dir.file("t.ov2");
  ASSERT_TRUE(create_database(Ref_string(p)));
  EXPECT_EQ(check(p), format_current);
  Database db;
  EXPECT_TRUE(db.open(Ref_string(p)));
  EXPECT_TRUE(messages().empty());
}

TEST_F(Format, FileWithUiTextIsTheEarlierFormatEvenWithTheCurrentTables) {
  std::string p = dir.file("old.mdb");
  ASSERT_TRUE(create_database(Ref_string(p)));
  raw_sql(p,
          "CREATE TABLE ui_text (id INTEGER, text TEXT); CREATE TABLE concept_home (concept_id);"
          "CREATE TABLE url_annotation (url_id, note_text)");
  EXPECT_EQ(check(p), format_other);
  EXPECT_TRUE(messages().empty());

  // A file of the earlier format as it came: opening it for work refuses and changes nothing.
  std::string earlier = dir.file("earlier.mdb");
  raw_sql(earlier,
          "CREATE TABLE concept_master (concept_id, name); CREATE TABLE search_resources (name);"
          "CREATE TABLE url_master (url_id, address); CREATE TABLE concept_terms (concept_id);"
          "CREATE TABLE concept_home (concept_id); CREATE TABLE url_annotation (url_id, note_text);"
          "CREATE TABLE ui_text (id, text)");
  EXPECT_EQ(check(earlier), format_other);
  Database db;
  EXPECT_FALSE(db.open(Ref_string(earlier))) << "the earlier format is only read, for conversion";
  db.open_file(earlier, Database::Mode::read_only);
  EXPECT_EQ(scalar_text(db, "PRAGMA journal_mode"), "delete");
}

TEST_F(Format, FileLackingOneTableIsNotOurs) {
  std::string p = dir.file("t.ov2");
  ASSERT_TRUE(create_database(Ref_string(p)));
  raw_sql(p, "DROP TABLE concept_terms");
  EXPECT_EQ(check(p), format_other);

  // Opening it for work refuses, says why, and leaves the file as it was (no WAL switch).
  std::string foreign = dir.file("foreign.db");
  raw_sql(foreign, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('keep me')");
  EXPECT_EQ(check(foreign), format_other);
  Database db;
  EXPECT_FALSE(db.open(Ref_string(foreign)));
  EXPECT_FALSE(db.is_open());
  ASSERT_FALSE(messages().empty());
  EXPECT_NE(messages().back().find("File is not a valid Orvalis database."), std::string::npos);
  db.open_file(foreign, Database::Mode::read_only);
  EXPECT_EQ(scalar_text(db, "PRAGMA journal_mode"), "delete");
  EXPECT_EQ(scalar_text(db, "SELECT body FROM notes"), "keep me");
}

TEST_F(Format, FileThatIsNotSqliteIsFormat2AndDoesNotOpen) {
  std::string p = dir.file("text.ov2");
  write_file(p, std::string(4096, 'x') + "this is a letter, not a database\n");
  EXPECT_EQ(check(p), format_other);
  EXPECT_TRUE(messages().empty());
  Database db;
  EXPECT_FALSE(db.open(Ref_string(p)));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_NE(messages()[0].find("file is not a database"), std::string::npos) << messages()[0];
}

TEST_F(Format, EmptyFileHoldsNoTables) {
  std::string p = dir.file("empty.ov2");
  write_file(p, "");
  EXPECT_EQ(check(p), format_other);
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

TEST_F(Format, MissingFileFailsWithTheEngineMessage) {
  std::string p = dir.file("absent.ov2");
  EXPECT_EQ(check(p), format_failed);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].rfind("0xe unable to open database file", 0), 0u) << messages()[0];
  Database db;
  EXPECT_FALSE(db.open(Ref_string(p)));
  EXPECT_FALSE(std::filesystem::exists(p)) << "opening must never create a file";
}

TEST_F(Format, ReadOnlyFileChecksAsCurrentButIsNotOpenedForWork) {
  std::string p = dir.file("t.ov2");
  ASSERT_TRUE(create_database(Ref_string(p)));
  ASSERT_EQ(chmod(p.c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  // In a child process that gives up root when it has it (root writes any file).
  Child_process child;
  ASSERT_TRUE(child.start([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    int bad = 0;
    Message_recorder child_errors;
    if (check(p) != format_current) bad |= 1;
    Database db;
    if (db.open(Ref_string(p))) bad |= 2;
    if (!child_errors.has("read-only")) bad |= 4;
    _exit(bad);
  }));
  int status = child.wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace orvalis::testing

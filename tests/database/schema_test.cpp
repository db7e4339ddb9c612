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

std::vector<std::string> column_names(Database& db, const std::string& table) {
  std::vector<std::string> names;
  Db_statement s(db, "SELECT name, type FROM pragma_table_info(?1) ORDER BY cid");
  s.bind(1, std::string_view(table));
  while (s.step()) names.push_back(std::string(s.text_view(0)) + " " + std::string(s.text_view(1)));
  return names;
}

std::vector<std::string> index_names(Database& db) {
  std::vector<std::string> names;
  Db_statement s(db,
                 "SELECT tbl_name || '.' || name FROM sqlite_master WHERE type = 'index'"
                 " AND name NOT LIKE 'sqlite_%' ORDER BY tbl_name, name");
  while (s.step()) names.emplace_back(s.text_view(0));
  return names;
}

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

TEST_F(Schema, FieldsComeInTheirOrderWithTheirTypes) {
  EXPECT_EQ(column_names(db, "concept_master"),
            (std::vector<std::string>{
                "concept_id INTEGER", "name TEXT", "definition TEXT", "time_last_modified INTEGER",
                "facet INTEGER", "category TEXT", "time_last_queried INTEGER",
                "time_last_summarized INTEGER", "query_time_spec TEXT", "summarize_time_spec TEXT",
                "query_enabled INTEGER", "summary_enabled INTEGER", "is_top_level INTEGER",
                "is_user_topic INTEGER", "is_user_top_level INTEGER"}));
  EXPECT_EQ(
      column_names(db, "concept_urls"),
      (std::vector<std::string>{"concept_id INTEGER", "url_id INTEGER", "date_deleted INTEGER",
                                "date_created INTEGER", "search_resource TEXT", "query TEXT",
                                "rating INTEGER", "num_votes INTEGER", "relevant INTEGER"}));
  EXPECT_EQ(column_names(db, "search_resources"),
            (std::vector<std::string>{"name TEXT", "location TEXT", "field_values TEXT",
                                      "search_field TEXT", "ignore_substrings TEXT",
                                      "request_type TEXT", "enabled INTEGER", "category TEXT",
                                      "username TEXT", "password TEXT", "form_url TEXT"}));
  EXPECT_EQ(column_names(db, "url_master"),
            (std::vector<std::string>{
                "url_id INTEGER", "address TEXT", "title TEXT", "size INTEGER",
                "time_last_retrieved INTEGER", "timeout_count INTEGER", "num_anchors INTEGER",
                "num_images INTEGER", "abstract TEXT", "summary TEXT", "annotation TEXT"}));
  EXPECT_EQ(column_names(db, "concept_relations"),
            (std::vector<std::string>{"concept_id INTEGER", "related_id INTEGER",
                                      "relationship_type TEXT"}));
  EXPECT_EQ(column_names(db, "concept_terms"),
            (std::vector<std::string>{"concept_id INTEGER", "term TEXT"}));
  EXPECT_EQ(
      index_names(db),
      (std::vector<std::string>{
          "concept_master.TopicIdIndex", "concept_master.TopicNameIndex",
          "concept_relations.TopicRelationIndex1", "concept_relations.TopicRelationIndex2",
          "concept_terms.TopicTermIndex", "concept_urls.UrlRelationIndex1",
          "concept_urls.UrlRelationIndex2", "url_master.MainUrlIndex", "url_master.UrlNameIndex"}));
}

TEST_F(Schema, ZeroLengthTextIsRejectedOnlyWhereTheFieldSaysSo) {
  EXPECT_THROW(db.execute("INSERT INTO url_master (address) VALUES ('')"), Db_error);
  EXPECT_THROW(db.execute("INSERT INTO search_resources (name) VALUES ('')"), Db_error);
  EXPECT_THROW(db.execute("INSERT INTO concept_terms (concept_id, term) VALUES (1, '')"), Db_error);
  EXPECT_THROW(
      db.execute("INSERT INTO concept_relations (concept_id, related_id, relationship_type)"
                 " VALUES (1, 2, '#pp')"),
      Db_error);
  EXPECT_NO_THROW(db.execute("INSERT INTO concept_master (name) VALUES ('')"));
  // NULL is allowed everywhere: no field is required.
  EXPECT_NO_THROW(db.execute("INSERT INTO url_master (title) VALUES (NULL)"));
}

TEST_F(Schema, ByteFieldsHoldZeroTo255) {
  EXPECT_NO_THROW(db.execute("INSERT INTO concept_master (facet) VALUES (255)"));
  EXPECT_THROW(db.execute("INSERT INTO concept_master (facet) VALUES (256)"), Db_error);
  EXPECT_THROW(db.execute("INSERT INTO url_master (timeout_count) VALUES (-1)"), Db_error);
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
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const Ref_string& m : errors.messages()) out.push_back(m.str());
    return out;
  }
  Database_format check(const std::string& p) { return check_database_format(Ref_string(p)); }

  Temp_dir dir;
  Collecting_error_handler errors;
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

  // Cut in the middle of the data: the header still names the tables.
  std::filesystem::resize_file(p, size / 2);
  Database_format f = check(p);
  EXPECT_TRUE(f == format_current || f == format_failed);
  Database db;
  if (db.open(Ref_string(p))) {
    Collecting_error_handler inner;
    EXPECT_THROW(db.execute("SELECT count(*), sum(length(abstract)) FROM url_master"), Db_error);
  }

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

// Runs `body` as an unprivileged user when the tests run as root (root writes any file), in a
// child process; returns the child's exit status.
template <class Body>
int as_unprivileged_user(Body body) {
  if (geteuid() != 0) return body();
  pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST_F(Format, ReadOnlyFileChecksAsCurrentButIsNotOpenedForWork) {
  std::string p = dir.file("t.ov2");
  ASSERT_TRUE(create_database(Ref_string(p)));
  ASSERT_EQ(chmod(p.c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  int failures = as_unprivileged_user([&] {
    int bad = 0;
    Collecting_error_handler child_errors;
    if (check(p) != format_current) bad |= 1;
    Database db;
    if (db.open(Ref_string(p))) bad |= 2;
    Ref_list<Ref_string> reported = child_errors.messages();
    if (reported.empty() || reported.last().find("read-only") < 0) bad |= 4;
    return bad;
  });
  EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace orvalis::testing

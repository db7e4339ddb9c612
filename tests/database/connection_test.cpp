// The connection's transactions and the shared error reporter.
#include <sqlite3.h>

#include "database/document_store.h"
#include "database/record_set.h"
#include "database_test_support.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

using Connection = Database_test;

TEST_F(Connection, InnerRollbackUndoesOnlyItsOwnLevel) {
  db.begin_transaction();
  db.execute("INSERT INTO url_master (address) VALUES ('outer')");
  db.begin_transaction();
  db.execute("INSERT INTO url_master (address) VALUES ('inner')");
  EXPECT_EQ(db.transaction_depth(), 2);
  db.rollback();
  db.begin_transaction();
  db.execute("INSERT INTO url_master (address) VALUES ('kept')");
  db.commit();
  db.commit();
  EXPECT_EQ(db.transaction_depth(), 0);
  EXPECT_EQ(scalar_text(db,
                        "SELECT group_concat(address, ',') FROM (SELECT address FROM url_master "
                        "ORDER BY url_id)"),
            "outer,kept");
  EXPECT_THROW(db.commit(), Db_error);
}

TEST_F(Connection, StoreWorkInsideAnOuterTransactionGoesWithIt) {
  Document_store store(db);
  db.begin_transaction();
  ASSERT_TRUE(store.add_document("http://a/", "", 0, 0));
  Document_link link;
  ASSERT_TRUE(store.link_document(1, 1, link, false));
  db.rollback();
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM url_master"), 0);
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_urls"), 0);
}

TEST_F(Connection, RecordSetEditsAddsAndDeletesRows) {
  Record_set add = Record_set::for_append(db, "url_master");
  add.add_new();
  add.set_field("address", "http://a/");
  add.set_field("size", 10);
  add.update();
  add.move_last_modified();
  EXPECT_EQ(add.number("url_id"), 1);
  EXPECT_EQ(add.text("ADDRESS"), "http://a/") << "field names ignore case";
  EXPECT_EQ(add.text("title"), "") << "a NULL text reads empty";
  EXPECT_EQ(add.number("num_images"), 0) << "a NULL number reads 0";
  EXPECT_TRUE(add.date("time_last_retrieved").is_null());
  EXPECT_THROW(add.set_field("size", 1), Db_error) << "set_field needs add_new or edit";
  EXPECT_THROW(add.value("no_such_field"), Db_error);

  Record_set rs(db, "url_master", "size = ?1", {10});
  ASSERT_EQ(rs.record_count(), 1);
  rs.edit();
  rs.set_field("time_last_retrieved", Db_date::at(42));
  rs.update();
  EXPECT_EQ(rs.date("time_last_retrieved"), Db_date::at(42));
  db.execute("UPDATE url_master SET time_last_retrieved = 'garbage'");
  Record_set again(db, "url_master");
  EXPECT_EQ(again.date("time_last_retrieved").state, Db_date::invalid);
  again.delete_current();
  EXPECT_TRUE(again.eof());
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM url_master"), 0);
}

TEST_F(Connection, ReporterHoldsBackARepeatOfTheSameCodeFor30Seconds) {
  platform::Manual_clock clock(0);
  platform::Scoped_clock use(clock);
  reset_db_error_reporter();
  int hook_runs = 0;
  set_db_recovery_hook([&] { ++hook_runs; });

  Db_error full(SQLITE_FULL, "database or disk is full");
  Db_error constraint(SQLITE_CONSTRAINT_CHECK, "CHECK constraint failed: length(address) > 0");
  report_db_error(full);
  clock.advance_milliseconds(29999);
  report_db_error(full);
  EXPECT_EQ(messages(), (std::vector<std::string>{"database or disk is full"}));
  EXPECT_EQ(hook_runs, 2) << "the hook runs even when the message is held back";

  report_db_error(constraint);
  report_db_error(full);
  EXPECT_EQ(messages().size(), 3u) << "another code in between lets the first through again";
  EXPECT_EQ(hook_runs, 3) << "no hook for a constraint";
  clock.advance_milliseconds(30000);
  report_db_error(full);
  EXPECT_EQ(messages().size(), 4u);

  for (int code : {SQLITE_IOERR_WRITE, SQLITE_CORRUPT, SQLITE_BUSY, SQLITE_LOCKED, SQLITE_NOTADB})
    EXPECT_TRUE(is_serious_db_error(code)) << code;
  EXPECT_FALSE(is_serious_db_error(SQLITE_CONSTRAINT_CHECK));
  EXPECT_EQ(format_db_error(Db_error(SQLITE_IOERR_WRITE, "disk I/O error")),
            "0x30a disk I/O error");
}

TEST_F(Connection, BusyDatabaseIsReportedAndStopsTheAgent) {
  Database other;
  other.open_file(path, Database::Mode::read_write);
  other.begin_transaction();
  other.execute("INSERT INTO url_master (address) VALUES ('held')");

  int hook_runs = 0;
  set_db_recovery_hook([&] { ++hook_runs; });
  db.set_busy_timeout(50);
  Document_store store(db);
  EXPECT_FALSE(store.add_document("http://a/", "", 0, 0));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "database is locked");
  EXPECT_EQ(hook_runs, 1);
  EXPECT_EQ(db.transaction_depth(), 0);

  other.commit();
  EXPECT_TRUE(store.add_document("http://a/", "", 0, 0));
}

}  // namespace
}  // namespace orvalis::testing

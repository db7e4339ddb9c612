// Faults the database must survive: a disk that fills in the middle of a save, and a writer
// killed in the middle of a stream of adds.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "database/document_store.h"
#include "database_test_support.h"

namespace orvalis::testing {
namespace {

using Faults = Database_test;

TEST_F(Faults, DiskFillingDuringASaveLosesNothingCommitted) {
  Document_store store(db);
  for (int i = 0; i < 50; ++i) {
    Document_handle d = store.add_document(
        Ref_string(("http://a.example/" + std::to_string(i)).c_str()), "title", 1, 2);
    ASSERT_TRUE(d);
    d->abstract = Ref_list<Ref_string>{Ref_string::fill('s', 300)};
    ASSERT_TRUE(store.save_document(*d));
  }
  int hook_runs = 0;
  set_db_recovery_hook([&] { ++hook_runs; });

  std::int64_t pages = scalar(db, "PRAGMA page_count");
  db.execute("PRAGMA max_page_count = " + std::to_string(pages + 2));
  Document victim;
  ASSERT_TRUE(store.load_document(victim, 10));
  victim.title = "changed";
  victim.abstract = Ref_list<Ref_string>{Ref_string::fill('x', 200000)};
  EXPECT_FALSE(store.save_document(victim));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "database or disk is full");
  EXPECT_EQ(hook_runs, 1);
  EXPECT_EQ(db.transaction_depth(), 0);

  // Adding more while the disk is full fails the same way, and is not reported again.
  db.begin_transaction();
  Db_statement fill(db, "INSERT INTO url_master (address, abstract) VALUES (?1, ?2)");
  EXPECT_THROW(fill.bind(1, "http://big/").bind(2, std::string(300000, 'y')).run(), Db_error);
  db.rollback();

  EXPECT_EQ(scalar(db, "SELECT count(*) FROM url_master"), 50);
  EXPECT_EQ(scalar_text(db, "SELECT title FROM url_master WHERE url_id = 10"), "title");
  EXPECT_EQ(scalar(db, "SELECT length(abstract) FROM url_master WHERE url_id = 10"), 300);
  EXPECT_EQ(scalar_text(db, "PRAGMA integrity_check"), "ok");

  // Room again: the same save goes through.
  db.execute("PRAGMA max_page_count = 1000000");
  EXPECT_TRUE(store.save_document(victim));
  db.close();

  Database reopened;
  ASSERT_TRUE(reopened.open(Ref_string(path)));
  EXPECT_EQ(scalar(reopened, "SELECT length(abstract) FROM url_master WHERE url_id = 10"), 200000);
  EXPECT_EQ(scalar(reopened, "SELECT count(*) FROM url_master"), 50);
}

// Reads the counts the child writes; returns the last one, or -1 at end of stream.
std::int64_t read_count(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return -1;
  std::int64_t count = 0;
  if (read(fd, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) return -1;
  return count;
}

TEST_F(Faults, WriterKilledMidStreamLeavesEveryCommittedDocument) {
  db.close();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    Collecting_error_handler quiet;
    Database own;
    if (!own.open(Ref_string(path))) _exit(2);
    Document_store store(own);
    for (std::int64_t i = 0;; ++i) {
      Document_handle d = store.add_document(
          Ref_string(("http://kill.example/doc/" + std::to_string(i)).c_str()), "t", 0, 0);
      Document_link link;
      if (!d || !store.link_document(1, d->url_id, link, false)) _exit(3);
      std::int64_t committed = i + 1;
      if (write(fds[1], &committed, sizeof committed) != static_cast<ssize_t>(sizeof committed))
        _exit(4);
    }
  }
  close(fds[1]);
  std::int64_t committed = 0;
  while (committed < 1000) {
    std::int64_t c = read_count(fds[0], 30000);  // watchdog: a child that stops writing fails
    if (c < 0) break;
    committed = c;
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  // Counts written before the kill landed in the pipe: every one of them was committed.
  for (std::int64_t c; (c = read_count(fds[0], 0)) >= 0;) committed = c;
  close(fds[0]);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself with status " << status;
  ASSERT_GE(committed, 1000);

  ASSERT_EQ(check_database_format(Ref_string(path)), format_current);
  ASSERT_TRUE(db.open(Ref_string(path)));
  EXPECT_EQ(scalar_text(db, "PRAGMA integrity_check"), "ok");
  EXPECT_GE(scalar(db, "SELECT count(*) FROM url_master"), committed);
  EXPECT_GE(scalar(db, "SELECT count(*) FROM concept_urls WHERE concept_id = 1"), committed);
  Db_statement find(db, "SELECT count(*) FROM url_master WHERE address = ?1");
  for (std::int64_t i = 0; i < committed; ++i) {
    find.bind(1, "http://kill.example/doc/" + std::to_string(i));
    ASSERT_TRUE(find.step());
    ASSERT_EQ(find.integer(0), 1) << "document " << i << " of " << committed << " is missing";
    find.reset();
  }
  EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace orvalis::testing

// Compaction and conversion of whole database files: what they carry and remove, what they
// refuse, and that the user's file survives a compaction killed at any step.
#include "database/maintenance.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "database/page_copy_store.h"
#include "database_test_support.h"
#include "earlier_format.h"

namespace orvalis::testing {
namespace {

// Injects the faults of one case ("name" or "name=value", comma-separated) for its scope.
class Faults_set {
 public:
  explicit Faults_set(const std::string& faults) {
    set_maintenance_fault_hook([faults](std::string_view name) -> std::string {
      std::string_view rest(faults);
      while (!rest.empty()) {
        std::string_view item = rest.substr(0, rest.find(','));
        if (item == name) return "on";
        if (item.starts_with(name) && item.size() > name.size() && item[name.size()] == '=')
          return std::string(item.substr(name.size() + 1));
        rest.remove_prefix(std::min(rest.size(), item.size() + 1));
      }
      return {};
    });
  }
  ~Faults_set() { set_maintenance_fault_hook({}); }
};

Maintenance_prompts answering(bool yes) {
  Maintenance_prompts p;
  p.confirm = [yes](const Ref_string&, const Ref_string&) { return yes; };
  return p;
}

class Maintenance : public Database_test {
 protected:
  // Topic 1 with document 1 (live link) and document 2 (removed link); document 3 belongs to
  // no topic; 200 more orphans with long extracts make the file worth compacting.
  void fill() {
    db.execute(
        "INSERT INTO concept_master (name) VALUES ('Sails');"
        "INSERT INTO url_master (address) VALUES ('http://a/1'), ('http://a/2'), ('http://a/3');"
        "INSERT INTO concept_urls (concept_id, url_id) VALUES (1, 1);"
        "INSERT INTO concept_urls (concept_id, url_id, date_deleted) VALUES (1, 2, 100);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)"
        " INSERT INTO url_master (address, abstract) SELECT 'http://orphan/' || i,"
        " printf('%.5000c', 'x') FROM n;");
    // Copies of a kept document and of an orphan: the orphan's go with it.
    Page_copy_store copies(db);
    for (std::int32_t id : {1, 3}) {
      copies.add_copy(id, Page_copy_store::prepare("old", nullptr, "UTF-8", 200, 100), 1 << 30);
      copies.add_copy(id, Page_copy_store::prepare("new", nullptr, "UTF-8", 200, 200), 1 << 30);
    }
  }
  std::string addresses() {
    std::string s;
    Db_statement q(db, "SELECT address FROM url_master WHERE address LIKE 'http://a/%' ORDER BY url_id");
    while (q.step()) s += std::string(q.text_view(0)) + ";";
    return s;
  }
};

TEST_F(Maintenance, CompactionLeavesTheOldFileOrTheCompactedOneWhereverItIsKilled) {
  // The last row is not killed: it runs to the end in this process.
  for (const char* step : {"orphans-removed", "left-wal", "compacted", "linked", "replaced", ""}) {
    db.close();
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      std::filesystem::remove(entry.path());
    ASSERT_TRUE(create_database(Ref_string(path)));
    ASSERT_TRUE(db.open(Ref_string(path)));
    fill();
    db.close();

    if (*step) {
      Child_process compaction;
      ASSERT_TRUE(compaction.start([&] {
        Collecting_error_handler quiet;
        Faults_set faults(std::string("kill-at=") + step);
        compact_database(Ref_string(path), answering(true));
      }));
      int status = compaction.wait();
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << step;
    } else {
      Compaction_figures figures;
      ASSERT_EQ(compact_database(Ref_string(path), answering(true), &figures),
                Maintenance_result::done);
      EXPECT_EQ(figures.orphans_removed, 201);
      EXPECT_LT(figures.size_after, figures.size_before / 4);
      for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().substr(0, 3), "OVP");
    }

    ASSERT_EQ(check_database_format(Ref_string(path)), format_current) << step;
    ASSERT_TRUE(db.open(Ref_string(path))) << step;
    EXPECT_EQ(scalar_text(db, "PRAGMA integrity_check"), "ok") << step;
    // A document whose only link is removed stays; once their removal was committed the
    // documents of no topic are gone, whichever file is in place.
    EXPECT_EQ(addresses(), "http://a/1;http://a/2;") << step;
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM url_master"), 2) << step;
    EXPECT_EQ(rows(db, "SELECT url_id, count(*) FROM page_copies GROUP BY url_id"), "1|2;") << step;
    EXPECT_EQ(rows(db, "SELECT url_id FROM page_changes"), "1;") << step;
  }
  EXPECT_TRUE(messages().empty());
}

// ---- Conversion ----------------------------------------------------------------------------

constexpr const char* earlier_rows = R"sql(
INSERT INTO concept_master VALUES (16, 'Science', 'Knowing', 3, 'General', 1000);
INSERT INTO concept_master VALUES (41472, 'My sails', '', 300, 'Space', NULL);
INSERT INTO concept_master VALUES (50000, 'Kites', NULL, 0, NULL, 2000);
INSERT INTO concept_home VALUES (41472);
INSERT INTO concept_home VALUES (99);
INSERT INTO url_master VALUES (7, 'http://x/a', 'A', 10, 500, 2, 3, 4,
  'First.', 'Second.', '', 'Hidden.', NULL, NULL, 'solar sail', 'light', NULL, NULL, NULL, NULL);
INSERT INTO url_master VALUES (9, 'http://x/b', NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO url_annotation VALUES (9, 'my note');
INSERT INTO concept_urls VALUES (41472, 7, NULL, 600, 'Engine', 'sails', 5);
INSERT INTO concept_urls VALUES (50000, 9, 700, 650, NULL, NULL, NULL);
INSERT INTO concept_urls VALUES (12345, 7, NULL, 600, 'Engine', 'lost', 1);
INSERT INTO concept_urls VALUES (16, 8, NULL, 600, 'Engine', 'lost', 1);
INSERT INTO concept_relations VALUES (16, 41472, '~');
INSERT INTO concept_relations VALUES (16, 12345, '@');
INSERT INTO concept_terms VALUES (41472, 'solar sail');
INSERT INTO concept_terms VALUES (41472, '');
INSERT INTO concept_terms VALUES (777, 'orphan term');
INSERT INTO search_resources VALUES ('Finder', 'http://find/', 'a,1', 'q', NULL, 'get', 1,
  NULL, NULL, NULL);
)sql";

TEST_F(Maintenance, ConversionCarriesEveryRowWithTheNewIds) {
  db.close();
  const std::string earlier = dir.file("old.mdb"), target = dir.file("new.ov2");
  ASSERT_EQ(make_earlier_file(earlier, earlier_rows), "");
  std::string progress;
  Maintenance_prompts prompts = answering(true);
  prompts.progress = [&](const char* table, std::int64_t done, std::int64_t total) {
    if (done == total) progress += std::string(table) + ":" + std::to_string(total) + ";";
  };
  ASSERT_EQ(convert_database(Ref_string(earlier), Ref_string(target), prompts),
            Maintenance_result::done);
  EXPECT_NE(progress.find("concept_master:3;"), std::string::npos) << progress;
  EXPECT_EQ(check_database_format(Ref_string(target)), format_current);
  EXPECT_FALSE(std::filesystem::exists(target + ".incomplete"));

  Database out;
  ASSERT_TRUE(out.open(Ref_string(target)));

  EXPECT_EQ(rows(out, "SELECT concept_id, name, definition, facet, category, time_last_modified,"
                 " time_last_queried, time_last_summarized, query_enabled, summary_enabled,"
                 " is_top_level, is_user_topic, is_user_top_level FROM concept_master"),
            "1|Science|Knowing|3|General|1000|1000|1000|0|0|1|0|0;"
            "2|My sails||null|Space|null|null|null|1|1|0|1|1;"
            "3|Kites|null|0|null|2000|2000|2000|0|0|0|1|1;");
  EXPECT_EQ(rows(out, "SELECT url_id, address, title, size, time_last_retrieved, timeout_count,"
                 " num_anchors, num_images, abstract, summary, annotation FROM url_master"),
            "1|http://x/a|A|10|500|2|3|4|First.\nSecond.|solar sail\nlight|null;"
            "2|http://x/b|null|null|null|null|null|null|||my note;");
  EXPECT_EQ(rows(out, "SELECT concept_id, url_id, date_deleted, date_created, search_resource, query,"
                 " num_votes, relevant FROM concept_urls"),
            "2|1|null|600|Engine|sails|5|1;3|2|700|650|null|null|null|1;");
  EXPECT_EQ(rows(out, "SELECT * FROM concept_relations"), "1|2|~;");
  EXPECT_EQ(rows(out, "SELECT * FROM concept_terms"), "2|solar sail;");
  EXPECT_EQ(rows(out, "SELECT * FROM search_resources"), "Finder|http://find/|a,1|q||get|1||||;");
  EXPECT_TRUE(messages().empty());
}

// Names compare without regard to case and addresses by their lower-cased scheme and host, so
// rows of the earlier file that then read alike become one, the first, which takes the others'
// links, terms and relations; control characters are not carried.
TEST_F(Maintenance, ConversionNormalisesAndMergesWhatThenCollides) {
  db.close();
  const std::string earlier = dir.file("old.mdb"), target = dir.file("new.ov2");
  ASSERT_EQ(make_earlier_file(earlier, R"sql(
INSERT INTO concept_master VALUES (1, 'Rust', NULL, 0, NULL, 10), (2, 'rust', NULL, 0, NULL, 20),
  (3, 'Go', NULL, 0, NULL, 30), (4, 'RUST', NULL, 0, NULL, 40);
INSERT INTO concept_terms VALUES (1, 'rust lang'), (2, 'rust lang'), (2, 'cargo'), (3, 'go' || char(27) || 'x');
INSERT INTO url_master (url_id, address, title) VALUES (10, 'HTTP://WWW.EXAMPLE.ORG/Page', 'T' || char(7)),
  (11, 'http://www.example.org/Page', 'second'), (12, 'http://www.Example.org/page', NULL);
INSERT INTO concept_urls (concept_id, url_id) VALUES (1, 10), (2, 11), (4, 12), (3, 11);
INSERT INTO concept_relations VALUES (1, 2, '~'), (2, 3, '^');
INSERT INTO search_resources VALUES ('Finder', 'HTTP://Find/Q', '', 'q', NULL, 'get', 1, NULL, NULL, NULL),
  ('FINDER', 'http://other/', '', 'q', NULL, 'get', 1, NULL, NULL, NULL);
)sql"), "");
  ASSERT_EQ(convert_database(Ref_string(earlier), Ref_string(target), answering(true)), Maintenance_result::done);
  Database out;
  ASSERT_TRUE(out.open(Ref_string(target)));
  EXPECT_EQ(rows(out, "SELECT concept_id, name FROM concept_master ORDER BY concept_id"), "1|Rust;2|Go;");
  EXPECT_EQ(rows(out, "SELECT * FROM concept_terms"), "1|rust lang;1|cargo;2|go x;");
  EXPECT_EQ(rows(out, "SELECT url_id, address, title FROM url_master ORDER BY url_id"),
            "1|http://www.example.org/Page|T ;2|http://www.example.org/page|null;");
  EXPECT_EQ(rows(out, "SELECT concept_id, url_id FROM concept_urls"), "1|1;1|2;2|1;");
  EXPECT_EQ(rows(out, "SELECT * FROM concept_relations"), "1|2|^;");
  EXPECT_EQ(rows(out, "SELECT name, location FROM search_resources ORDER BY rowid"), "Finder|http://find/Q;");
}

// Refusals of both operations: the message, and every file left as it was.
TEST_F(Maintenance, Refusals) {
  fill();
  db.close();
  const std::string earlier = dir.file("old.mdb"), target = dir.file("new.ov2");
  const std::string text_file = dir.file("notes.txt");
  // A long extract, so that the converted file must grow.
  ASSERT_EQ(make_earlier_file(earlier, std::string(earlier_rows) +
                                           "UPDATE url_master SET abstract_0 ="
                                           " printf('%.60000c', 'x') WHERE url_id = 9;"),
            "");
  write_file(text_file, "not a database at all, just some words that fill a page or so\n");
  write_file(target, "the user's own file");
  const std::string not_ours = "File is not a valid Orvalis database.",
                    not_earlier = "Source File is not a valid Orvalis 1.0x database";
  struct Case {
    bool convert;
    std::string file, faults, message;
  };
  const Case cases[] = {
      {false, dir.file("missing.ov2"), "", "Error accessing source database: No such file or directory"},
      {false, path, "no-space", std::string(Ref_string::from_id(12014).view())},
      {false, text_file, "", not_ours},
      {false, earlier, "", not_ours},
      {true, path, "", not_earlier},
      {true, text_file, "", not_earlier},
      {true, earlier, "no-space", "There is not enough disk space to complete the import."},
      {true, earlier, "full-after=1", "database or disk is full"},
  };
  for (const Case& c : cases) {
    reset_db_error_reporter();
    Message_recorder recorder;
    {
      Faults_set faults(c.faults);
      EXPECT_EQ(c.convert ? convert_database(Ref_string(c.file), Ref_string(target), answering(true))
                          : compact_database(Ref_string(c.file), answering(true)),
                Maintenance_result::failed)
          << c.message;
    }
    EXPECT_EQ(recorder.all(), c.message + "\n");
    EXPECT_TRUE(read_file(target) == "the user's own file") << c.message;
    EXPECT_FALSE(std::filesystem::exists(target + ".incomplete")) << c.message;
  }
  ASSERT_TRUE(db.open(Ref_string(path)));
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM url_master"), 203);
}

}  // namespace
}  // namespace orvalis::testing

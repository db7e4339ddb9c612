// Topics going out of one Topic database and into another: the round trip, the merge rules
// (names without regard to case, documents by address, ids taken elsewhere, unknown fields),
// entries refused, and the reading report and reference items made from a topic.
#include "exchange/topic_exchange.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "database/feed_store.h"
#include "database/maintenance.h"
#include "database/page_search_index.h"
#include "database_test_support.h"
#include "exchange/reading_report.h"
#include "exchange/topic_exchange_file.h"

namespace orvalis::exchange {
namespace {

using orvalis::testing::Database_test;
using orvalis::testing::Temp_dir;
using orvalis::testing::rows;
using orvalis::testing::scalar;

// Two topics related both ways, three documents (one link removed, one a plain document of the
// second topic), terms, schedules, dates, extracts, key terms, a note and a feed.
void fill(Database& db) {
  db.execute(
      "INSERT INTO concept_master (concept_id, name, definition, category, facet, query_time_spec,"
      " query_enabled, summarize_time_spec, summary_enabled, time_last_modified, time_last_queried,"
      " is_top_level, is_user_topic, is_user_top_level) VALUES"
      " (3, 'Solar sails', 'Propulsion by light', 'Space', 2, 'd 0 6 30', 1, 'w 1 7 0', 0, 1700000000,"
      "  1700003600, 0, 1, 1),"
      " (7, 'Comets', NULL, NULL, 0, NULL, 0, NULL, 0, NULL, NULL, 0, 1, 0);"
      "INSERT INTO concept_terms (concept_id, term) VALUES (3, 'solar sail'), (3, 'light sail'), (7, 'comet');"
      "INSERT INTO concept_relations VALUES (3, 7, '~'), (7, 3, '@');"
      "INSERT INTO url_master (url_id, address, title, size, time_last_retrieved, timeout_count,"
      " num_anchors, num_images, abstract, summary, annotation) VALUES"
      " (10, 'https://example.org/sails', 'Sails', 5120, 1700007200, 1, 40, 3,"
      "  'Light pushes.' || char(10) || 'Sails are thin.', 'solar sail' || char(10) || 'photon', 'Read first.'),"
      " (11, 'https://example.org/old', 'Old', 0, NULL, 0, 0, 0, NULL, NULL, NULL),"
      " (12, 'http://comets.example/a', NULL, 0, NULL, 0, -1, -1, NULL, NULL, NULL);"  // never fetched
      "INSERT INTO concept_urls (concept_id, url_id, date_deleted, date_created, search_resource, query,"
      " rating, num_votes, relevant) VALUES"
      " (3, 10, NULL, 1700000100, 'Engine', 'solar sail', 2, 5, 1),"
      " (3, 11, 1700000500, 1700000200, 'Engine', 'light sail', 0, 0, 0),"
      " (7, 12, NULL, 1700000300, NULL, NULL, 0, 0, 1);");
  Feed f;
  f.concept_id = 3;
  f.address = Ref_string("https://example.org/feed.xml");
  f.title = Ref_string("Sail news");
  f.etag = Ref_string("\"v1\"");
  f.time_last_read = Db_date::at(1700009000);
  ASSERT_TRUE(Feed_store(db).add_feed(f));
}

std::string exported(Database& db, std::vector<std::int32_t> ids = {}) {
  return to_json_text(export_topics(db, ids));
}

Import_report import_text(Database& db, const std::string& text, const Exchange_progress& progress = {}) {
  std::istringstream in(text);
  return import_topics(db, in, progress);
}

class TopicExchange : public Database_test {
 protected:
  // A second, empty database beside the first.
  void open_other() {
    other_path = dir.file("other.ov2");
    ASSERT_TRUE(create_database(Ref_string(other_path)));
    ASSERT_TRUE(other.open(Ref_string(other_path)));
  }
  void TearDown() override {
    other.close();
    Database_test::TearDown();
  }
  std::string other_path;
  Database other;
};

TEST_F(TopicExchange, ExportImportIntoANewDatabaseAndExportAgainGivesTheSameText) {
  fill(db);
  const std::string first = exported(db);
  open_other();
  Import_report r = import_text(other, first);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.summary(),
            "2 topics added, 3 search terms added, 2 relations added, 3 documents added, "
            "3 documents linked to topics, 1 feed added");
  EXPECT_EQ(exported(other), first);
  // Imported documents are searchable at once, their kept ids below the index's mark or not.
  EXPECT_TRUE(Page_search_index(other).current());
  EXPECT_EQ(Page_search_index(other).search("comets").size(), 1u);
  // The streamed text is exactly what the writer makes of the whole value.
  EXPECT_EQ(to_json_text(parse_json(first).value), first);
  // The stored rows, not only their export, are the same.
  for (const char* sql : {"SELECT * FROM concept_master ORDER BY concept_id",
                          "SELECT * FROM url_master ORDER BY url_id",
                          "SELECT concept_id, url_id, date_deleted, date_created, search_resource, query,"
                          " rating, num_votes, relevant FROM concept_urls ORDER BY url_id",
                          "SELECT * FROM page_feeds"})
    EXPECT_EQ(rows(other, sql), rows(db, sql)) << sql;
}

TEST_F(TopicExchange, ChosenTopicsTakeTheirDocumentsAndOnlyRelationsAmongThemselves) {
  fill(db);
  Json_value v = export_topics(db, {7});
  ASSERT_EQ(v.find("topics")->items().size(), 1u);
  EXPECT_TRUE(v.find("topics")->items()[0].find("relations")->items().empty());
  ASSERT_EQ(v.find("documents")->items().size(), 1u);
  EXPECT_EQ(v.find("documents")->items()[0].find("address")->as_string(), "http://comets.example/a");
}

struct Merge_case {
  const char* name;
  const char* existing;  // SQL run on the receiving database first
  const char* file;
  const char* summary;
  const char* check_sql;  // rows of this query after the import
  const char* check_rows;
};

TEST_F(TopicExchange, MergeRules) {
  const Merge_case cases[] = {
      {"a topic of the same name in another case is merged, its own fields kept",
       "INSERT INTO concept_master (concept_id, name, category) VALUES (1, 'SOLAR SAILS', 'Mine');"
       "INSERT INTO concept_terms VALUES (1, 'solar sail');",
       R"({"topics": [{"id": 1, "name": "Solar sails", "category": "Theirs",
           "terms": ["solar sail", "light sail"]}]})",
       "1 topic merged into an existing one, 1 search term added",
       "SELECT c.name, c.category, t.term FROM concept_master c JOIN concept_terms t USING (concept_id)"
       " ORDER BY t.rowid",
       "SOLAR SAILS|Mine|solar sail;SOLAR SAILS|Mine|light sail;"},
      {"a stored address is the stored document, whatever the case of its host",
       "INSERT INTO url_master (url_id, address, title) VALUES (4, 'https://example.org/a', 'Mine');",
       R"({"topics": [{"id": 2, "name": "T", "documents": [{"document": 9, "relevant": 1}]}],
           "documents": [{"id": 9, "address": "HTTPS://EXAMPLE.ORG/a", "title": "Theirs"}]})",
       "1 topic added, 1 document already stored, 1 document linked to a topic",
       "SELECT url_id, address, title FROM url_master",
       "4|https://example.org/a|Mine;"},
      {"ids the database gave to others are renumbered, and links follow",
       "INSERT INTO concept_master (concept_id, name) VALUES (5, 'Other');"
       "INSERT INTO url_master (url_id, address) VALUES (9, 'https://mine.example/');",
       R"({"topics": [{"id": 5, "name": "New", "documents": [{"document": 9}]}],
           "documents": [{"id": 9, "address": "https://theirs.example/"}]})",
       "1 topic added, 1 document added, 1 document linked to a topic, 2 ids renumbered",
       "SELECT c.name, m.address FROM concept_urls u JOIN concept_master c USING (concept_id)"
       " JOIN url_master m USING (url_id)",
       "New|https://theirs.example/;"},
      {"unknown fields are ignored and counted, at every level",
       "",
       R"({"format": "orvalis-topics", "from": "a colleague", "topics": [{"id": 1, "name": "T", "colour": "red",
           "schedule": {"search": "d 0 6 0", "phase": 2}, "feeds": [{"address": "https://f.example/rss", "x": 1}],
           "documents": [{"document": 1, "stars": 5}]}],
           "documents": [{"id": 1, "address": "https://d.example/", "mood": "calm"}]})",
       "1 topic added, 1 document added, 1 document linked to a topic, 1 feed added, 6 unknown fields ignored",
       "SELECT name, query_time_spec FROM concept_master",
       "T|d 0 6 0;"},
      {"entries without a name or address, links to documents not in the file and repeated ids are refused",
       "",
       R"({"topics": [{"id": 1, "name": "  "}, {"id": 2, "name": "A", "documents": [{"document": 77}],
           "relations": [{"topic": 99, "type": "~"}], "feeds": [{"title": "no address"}]},
           {"id": 2, "name": "B"}, 7],
           "documents": [{"id": 3, "title": "no address"}, "x"]})",
       "1 topic added, 8 entries refused",
       "SELECT name FROM concept_master",
       "A;"},
      {"a document already linked to the topic keeps its link",
       "INSERT INTO concept_master (concept_id, name) VALUES (1, 'T');"
       "INSERT INTO url_master (url_id, address) VALUES (1, 'https://d.example/');"
       "INSERT INTO concept_urls (concept_id, url_id, date_deleted, relevant) VALUES (1, 1, 1700000000, 0);",
       R"({"topics": [{"id": 1, "name": "t", "documents": [{"document": 1, "relevant": 1}]}],
           "documents": [{"id": 1, "address": "https://d.example/"}]})",
       "1 topic merged into an existing one, 1 document already stored, 1 link already there",
       "SELECT date_deleted, relevant FROM concept_urls",
       "1700000000|0;"},
      {"out-of-range numbers are held to their columns' ranges",
       "",
       R"({"topics": [{"id": 1, "name": "T", "facet": 9999}],
           "documents": [{"id": 2, "address": "https://d.example/", "timeouts": -4, "size": 1e300}]})",
       "1 topic added, 1 document added",
       "SELECT facet, (SELECT timeout_count || ',' || size FROM url_master) FROM concept_master",
       "255|0,2147483647;"},
  };
  for (const Merge_case& c : cases) {
    SCOPED_TRACE(c.name);
    other.close();
    std::filesystem::remove(dir.file("other.ov2"));
    open_other();
    if (*c.existing) other.execute(c.existing);
    Import_report r = import_text(other, c.file);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.summary(), c.summary);
    EXPECT_EQ(rows(other, c.check_sql), c.check_rows);
  }
}

TEST_F(TopicExchange, AFileOfAnotherKindChangesNothing) {
  db.execute("INSERT INTO concept_master (name) VALUES ('Kept')");
  for (const char* text : {"[]", R"({"topics": {}})", R"({"format": "something-else", "topics": []})", "3"}) {
    SCOPED_TRACE(text);
    Import_report r = import_text(db, text);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find("not a topics file"), std::string::npos);
  }
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_master"), 1);
}

TEST_F(TopicExchange, StreamedExportIsTheWritersTextForEveryShape) {
  const char* shapes[] = {
      "",  // no topics: empty lists
      "INSERT INTO concept_master (concept_id, name) VALUES (1, 'No links');",
      "INSERT INTO concept_master (concept_id, name) VALUES (1, 'A'), (2, 'B');"
      "INSERT INTO url_master (url_id, address) VALUES (5, 'https://d.example/');"
      "INSERT INTO concept_urls (concept_id, url_id) VALUES (2, 5);",
  };
  for (const char* sql : shapes) {
    SCOPED_TRACE(sql);
    db.execute("DELETE FROM concept_urls; DELETE FROM url_master; DELETE FROM concept_master;");
    if (*sql) db.execute(sql);
    const std::string text = exported(db);
    Json_parse_result r = parse_json(text);
    ASSERT_TRUE(r.ok()) << r.error << "\n" << text;
    EXPECT_EQ(to_json_text(r.value), text);
  }
}

struct Broken_import_case {
  const char* name;
  const char* file;
  const char* error;  // the whole reason
  bool unreadable;
};

TEST_F(TopicExchange, AFaultAnywhereInTheFileLeavesNothingBehind) {
  const Broken_import_case cases[] = {
      {"a fault after documents were read",
       "{\"documents\": [{\"id\": 1, \"address\": \"https://d.example/1\"}],\n \"topics\": [{\"id\": 1, \"name\": \"T\"}] x}",
       "line 2, column 37: expected ',' or '}' after a member", true},
      {"a fault inside a topic's links",
       "{\"topics\": [{\"id\": 1, \"name\": \"T\", \"documents\": [{\"document\": 1},]}],\n"
       " \"documents\": [{\"id\": 1, \"address\": \"https://d.example/1\"}]}",
       "line 1, column 66: expected a value", true},
      {"documents but no topics list",
       R"({"documents": [{"id": 1, "address": "https://d.example/1"}], "topics": 3})",
       "the file is not a topics file of this program (an object with a \"topics\" list)", false},
      {"a file cut short", R"({"topics": [{"id": 1, "name": "T"}], "documents": [{"id": 1, )",
       "line 1, column 62: expected a member name in quotes", true},
  };
  for (const Broken_import_case& c : cases) {
    SCOPED_TRACE(c.name);
    Import_report r = import_text(db, c.file);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.unreadable, c.unreadable);
    EXPECT_EQ(r.summary(), "nothing to import");
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM url_master"), 0);
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_master"), 0);
  }
}

TEST_F(TopicExchange, AStoppedImportLeavesNothingAndProgressRuns) {
  fill(db);
  const std::string text = exported(db);
  open_other();
  std::uint64_t last = 0, total = 0;
  Import_report r = import_text(other, text, [&](std::uint64_t done, std::uint64_t all) {
    EXPECT_GE(done, last);
    last = done;
    total = all;
    return true;
  });
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(total, 3 * text.size());
  EXPECT_GT(last, 2 * text.size());
  other.execute("DELETE FROM concept_urls; DELETE FROM url_master; DELETE FROM concept_master;");
  r = import_text(other, text, [](std::uint64_t, std::uint64_t) { return false; });
  EXPECT_EQ(r.error, "the import was cancelled");
  EXPECT_EQ(scalar(other, "SELECT count(*) FROM url_master"), 0);
}

TEST_F(TopicExchange, AnExportToAFileIsWholeOrAbsent) {
  fill(db);
  const std::string kept = dir.file("kept.json");
  std::ofstream(kept) << "an earlier file";
  struct Case {
    const char* name;
    std::string path;
    bool stop;
    const char* error_part;  // empty: written
  } cases[] = {
      {"stopped halfway", kept, true, "cancelled"},
      {"a folder that does not exist", dir.file("no/such/out.json"), false, "Cannot write"},
      {"written", kept, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string why = export_to_file(db, {}, Export_format::json, c.path, [&](std::uint64_t, std::uint64_t) {
      return !c.stop;
    });
    EXPECT_NE(why.find(c.error_part), std::string::npos) << why;
    EXPECT_FALSE(std::filesystem::exists(c.path + ".part"));
  }
  std::ifstream in(kept);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), exported(db));
}

TEST_F(TopicExchange, ADatabaseErrorMidwayUndoesTheWholeImport) {
  // A trigger of the test's own makes the third document fail.
  db.execute(
      "CREATE TRIGGER refuse BEFORE INSERT ON url_master WHEN NEW.address LIKE '%/3' "
      "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END");
  Import_report r = import_text(db, R"({"topics": [{"id": 1, "name": "T"}], "documents": [
      {"id": 1, "address": "https://d.example/1"}, {"id": 2, "address": "https://d.example/2"},
      {"id": 3, "address": "https://d.example/3"}]})");
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.error.find("refused by the test"), std::string::npos) << r.error;
  EXPECT_EQ(r.documents_added, 0);
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM url_master"), 0);
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_master"), 0);
}

TEST_F(TopicExchange, ReadingReportPutsTheMostRelevantFirstAndEscapesMarkup) {
  fill(db);
  db.execute(
      "INSERT INTO url_master (url_id, address, title, annotation) VALUES"
      " (13, 'https://example.org/b c<d>', '# *Not* a heading', '1. not a list');"
      "INSERT INTO concept_urls (concept_id, url_id, relevant, num_votes) VALUES (3, 13, 1, 9);");
  std::ostringstream out;
  write_reading_report(db, {3}, out);
  EXPECT_EQ(out.str(),
            "# Solar sails\n\nPropulsion by light\n\nSearch terms: solar sail, light sail\n\n"
            "## 1\\. \\# \\*Not\\* a heading\n\n<https://example.org/b%20c%3Cd%3E>\n\nNote: 1\\. not a list\n\n"
            "## 2\\. Sails\n\n<https://example.org/sails>\n\n> Light pushes. Sails are thin.\n\n"
            "Key terms: solar sail, photon\n\nNote: Read first.\n\n");
}

TEST_F(TopicExchange, ReferenceItemsAreWebpagesWithTheirAccessDate) {
  fill(db);
  db.execute("INSERT INTO concept_urls (concept_id, url_id, relevant) VALUES (7, 10, 1)");
  const std::string text = to_json_text(csl_items(db, {3, 7}));
  Json_parse_result r = parse_json(text);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.value.items().size(), 2u) << text;  // the removed link left out, document 10 once
  const Json_value& sails = r.value.items()[0];
  EXPECT_EQ(sails.find("type")->as_string(), "webpage");
  EXPECT_EQ(sails.find("title")->as_string(), "Sails");
  EXPECT_EQ(sails.find("URL")->as_string(), "https://example.org/sails");
  EXPECT_EQ(sails.find("abstract")->as_string(), "Light pushes. Sails are thin.");
  EXPECT_EQ(sails.find("note")->as_string(), "Read first.");
  EXPECT_EQ(sails.find("accessed")->find("date-parts")->items()[0].items()[0].as_integer(), 2023);
  EXPECT_EQ(sails.find("accessed")->find("date-parts")->items()[0].items()[1].as_integer(), 11);
  EXPECT_EQ(sails.find("accessed")->find("date-parts")->items()[0].items()[2].as_integer(), 15);
  // A document never read: accessed when it was found.
  EXPECT_EQ(r.value.items()[1].find("accessed")->find("date-parts")->items()[0].items()[2].as_integer(), 14);
}

TEST_F(TopicExchange, CompactionTakesTheFeedsOfDeletedTopicsAway) {
  fill(db);
  db.execute("DELETE FROM concept_master WHERE concept_id = 3");
  db.close();
  Maintenance_prompts yes;
  yes.confirm = [](const Ref_string&, const Ref_string&) { return true; };
  ASSERT_EQ(compact_database(Ref_string(path), yes), Maintenance_result::done);
  ASSERT_TRUE(db.open(Ref_string(path)));
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM page_feeds"), 0);
}

}  // namespace
}  // namespace orvalis::exchange

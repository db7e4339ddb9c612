// Subtopic_store: the key terms of a topic's documents, and subtopics made with their documents
// in one transaction.
#include "database/subtopic_store.h"

#include <string>

#include "database_test_support.h"

namespace orvalis::testing {
namespace {

class Subtopics : public Database_test {
 protected:
  void SetUp() override {
    Database_test::SetUp();
    // Topic 1 "Sails" with documents 1-3 live (3 never summarized) and 4 removed.
    db.execute(
        "INSERT INTO concept_master (name, category, query_time_spec, query_enabled)"
        " VALUES ('Sails', 'Space', 'r 0 1 0', 1);"
        "INSERT INTO concept_terms VALUES (1, 'sail');"
        "INSERT INTO url_master (address, summary) VALUES ('http://a/1', 'solar sail\nprobe&amp;s'),"
        " ('http://a/2', 'solar sail\nlight sail'), ('http://a/3', ''), ('http://a/4', 'solar sail');"
        "INSERT INTO concept_urls (concept_id, url_id, query, search_resource, relevant)"
        " VALUES (1, 1, 'sail', 'Finder', 1), (1, 2, 'sail', 'Other', 0), (1, 3, 'q', 'F', 1);"
        "INSERT INTO concept_urls (concept_id, url_id, date_deleted) VALUES (1, 4, 50);");
    parent = topics.topic(1);
    ASSERT_TRUE(parent);
  }

  std::string rows(const std::string& sql) { return testing::rows(db, sql); }

  Topic_store topics{db};
  Subtopic_store store{db, topics};
  Topic_handle parent;
};

TEST_F(Subtopics, KeyTermsAndNewSubtopicsTakingTheirDocumentsFromTheParent) {
  bool ok = false;
  std::string got;
  for (const Document_key_terms& d : store.key_terms_of_topic(1, ok))
    got += std::to_string(d.url_id) + ":" + join(d.key_terms, Ref_string(",")).str() + ";";
  // Live summarized documents only, read as stored: text, never decoded again.
  EXPECT_TRUE(ok);
  EXPECT_EQ(got, "1:solar sail,probe&amp;s;2:solar sail,light sail;");

  std::vector<Topic_handle> made = store.make_subtopics(
      *parent, {{Ref_string("solar sail"), {Ref_string("solar sail")}, {1, 2}},
                {Ref_string("light sail"), {Ref_string("light sail")}, {2, 4}}});
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(rows("SELECT concept_id, name, category, query_time_spec, query_enabled, is_user_topic,"
                 " is_user_top_level, time_last_modified IS NOT NULL FROM concept_master"),
            "1|Sails|Space|r 0 1 0|1|0|0|1;"
            "2|solar sail|Space|r 0 1 0|1|1|0|1;"
            "3|light sail|Space|r 0 1 0|1|1|0|1;");
  EXPECT_EQ(rows("SELECT * FROM concept_terms WHERE concept_id > 1"), "2|solar sail;3|light sail;");
  EXPECT_EQ(rows("SELECT * FROM concept_relations ORDER BY concept_id, related_id"),
            "1|2|~;1|3|~;2|1|@;3|1|@;");
  // Document 2 goes to both and leaves the parent once; 4 was removed before and is not taken;
  // 3 stays with the parent.
  EXPECT_EQ(rows("SELECT concept_id, url_id, query, search_resource, relevant,"
                 " date_deleted IS NOT NULL FROM concept_urls ORDER BY concept_id, url_id"),
            "1|1|sail|Finder|1|1;1|2|sail|Other|0|1;1|3|q|F|1|0;1|4|null|null|null|1;"
            "2|1|sail|Finder|1|0;2|2|sail|Other|0|0;3|2|sail|Other|0|0;");
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_urls WHERE concept_id = 1 AND url_id = 4"
                       " AND date_deleted = 50"),
            1);
  EXPECT_TRUE(parent->time_last_modified.is_valid());
  EXPECT_TRUE(messages().empty());
}

TEST_F(Subtopics, AFailureHalfwayChangesNothing) {
  // The second name does not fit on the disk that is left.
  db.execute("PRAGMA max_page_count = " + std::to_string(scalar(db, "PRAGMA page_count") + 1));
  std::vector<Topic_handle> made = store.make_subtopics(
      *parent, {{Ref_string("solar sail"), {Ref_string("solar sail")}, {1, 2}},
                {Ref_string::fill('n', 200000), {}, {3}}});
  EXPECT_TRUE(made.empty());
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "database or disk is full");
  EXPECT_EQ(db.transaction_depth(), 0);
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_master"), 1);
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_relations"), 0);
  EXPECT_EQ(rows("SELECT concept_id, url_id FROM concept_urls WHERE date_deleted IS NULL"),
            "1|1;1|2;1|3;");
  EXPECT_FALSE(topics.is_cached(2));
}

}  // namespace
}  // namespace orvalis::testing

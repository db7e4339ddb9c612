#include "database/page_search_index.h"

#include "database/document_store.h"
#include "database/page_copy_store.h"
#include "database_test_support.h"

namespace orvalis::testing {
namespace {

class Page_search_index_test : public Database_test {
 protected:
  // A document stored as the agent stores one: its row, then a copy of its text.
  std::int32_t add(const char* title, const char* extract, const char* terms, const char* body) {
    Document_store store(db);
    Document_handle d = store.add_document(("http://a.example/" + std::to_string(++n)).c_str(),
                                           title, 0, 0);
    EXPECT_TRUE(d);
    d->abstract = split_sentences(extract);
    d->summary = split_sentences(terms);
    EXPECT_TRUE(store.save_document(*d));
    if (*body) {
      EXPECT_EQ(Page_copy_store(db).add_copy(d->url_id,
                                             Page_copy_store::prepare(body, nullptr, "UTF-8", 200, 1),
                                             std::int64_t{1} << 30),
                Page_copy_store::Added::kept);
    }
    return d->url_id;
  }
  // A document written behind the index's back (another program, an older version).
  void add_unindexed(int count) {
    for (int i = 0; i < count; ++i)
      raw_sql(path, "INSERT INTO url_master (address, title) VALUES ('http://b.example/" +
                        std::to_string(i) + "', 'kestrel " + std::to_string(i) + "')");
  }
  // A search as the command and the window make it: the rows behind are written first.
  std::vector<Search_hit> hits(const char* query, std::int32_t topic = 0) {
    Page_search_index index(db);
    EXPECT_TRUE(index.current());
    return index.search(query, topic);
  }
  std::vector<std::int32_t> found(const char* query, std::int32_t topic = 0) {
    std::vector<std::int32_t> ids;
    for (const Search_hit& h : hits(query, topic)) ids.push_back(h.url_id);
    return ids;
  }
  int n = 0;
};

using Ids = std::vector<std::int32_t>;

TEST_F(Page_search_index_test, RanksTitleHitsFirstAndReadsTheQueryLanguage) {
  const auto title = add("Solar sails", "", "", "A short page.");
  const auto body = add("Propulsion notes", "", "",
                        "Sails, sails and more sails: solar sails ride on light. e-mail us.");
  const auto extract = add("Ion engines", "A sail of light pushes the craft.", "sail", "");
  const auto other = add("Gardening", "Tomatoes in spring.", "tomato", "Sow after the frost.");
  struct Case {
    const char* query;
    Ids expected;
  } cases[] = {
      {"sails", {title, body}},
      {"sail", {extract}},
      {"sail*", {title, extract, body}},
      {"sai*", {title, extract, body}},
      {"\"solar sai\"*", {title, body}},
      {"\"solar sails\"", {title, body}},
      {"solar NOT ride", {title}},
      {"tomatoes OR frost", {other}},
      {"NEAR(ride light, 2)", {body}},
      {"title:sails", {title}},
      {"e-mail", {body}},
      {"SÓLAR", {title, body}},
      {"unheard", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(found(c.query), c.expected) << c.query;
  // Past the bound, the newest matching documents are ranked.
  Page_search_index bounded(db);
  bounded.ranked_at_most = 2;
  Ids newest;
  for (const Search_hit& h : bounded.search("sail*")) newest.push_back(h.url_id);
  EXPECT_EQ(newest, (Ids{extract, body}));
  bounded.ranked_at_most = 1;
  newest.clear();
  for (const Search_hit& h : bounded.search("sails")) newest.push_back(h.url_id);
  EXPECT_EQ(newest, (Ids{body})) << "words are ranked in one walk, bounded alike";
}

TEST_F(Page_search_index_test, ARareWordOutweighsACommonOneThoughItsTitleIsLonger) {
  // More documents hold the common word than the rank function counts one by one.
  raw_sql(path,
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1500)"
          " INSERT INTO url_master (address, title) SELECT 'http://c.example/' || i,"
          " 'common filler ' || i FROM n");
  const auto rare = add("rare filler words that make a long title", "", "", "");
  ASSERT_TRUE(Page_search_index(db).build().complete);
  for (const char* query : {"common OR rare", "rare OR common"}) {
    std::vector<Search_hit> h = hits(query);
    ASSERT_FALSE(h.empty());
    EXPECT_EQ(h.front().url_id, rare) << query;
  }
}

TEST_F(Page_search_index_test, SnippetsMarkTheMatchedWords) {
  add("Solar sails", "", "", "Light\x02 pushes a solar sail.");
  std::vector<Search_hit> solar = hits("solar");
  ASSERT_EQ(solar.size(), 1u);
  const Search_hit& h = solar[0];
  ASSERT_EQ(h.marks.size(), 1u);
  EXPECT_EQ(h.snippet.substr(h.marks[0].first, h.marks[0].second - h.marks[0].first), "Solar");
  EXPECT_EQ(h.title, "Solar sails");
  const std::vector<Search_hit> pushes = hits("pushes");
  ASSERT_EQ(pushes.size(), 1u);
  EXPECT_EQ(pushes[0].snippet.find('\x02'), std::string::npos) << "controls never reach a snippet";
}

TEST_F(Page_search_index_test, UnreadableQueriesGetOurOwnWords) {
  add("Solar sails", "", "", "");
  struct Case {
    const char* query;
    const char* says;
  } cases[] = {
      {"\"solar sails", "not closed"},  {"(solar", "not closed"},   {"solar)", "not opened"},
      {"  ", "empty"},                  {"solar AND", "AND, OR"},   {"NEAR(solar", "not closed"},
      {"OR solar", "AND, OR"},          {"colour:red", "title, extract"},
      {"so*", "three letters"},         {"\"solar s\"*", "three letters"},
      {"\xC3\xA9t*", "three letters"},  {"solar *", "three letters"},
  };
  for (const Case& c : cases) {
    try {
      Page_search_index(db).search(c.query);
      ADD_FAILURE() << c.query << " was read";
    } catch (const Search_query_error& e) {
      EXPECT_NE(e.what.find(c.says), std::string::npos) << c.query << ": " << e.what;
      for (const char* sqlite_words : {"fts5", "syntax error", "no such column", "unterminated"})
        EXPECT_EQ(e.what.find(sqlite_words), std::string::npos) << c.query << ": " << e.what;
    }
  }
}

TEST_F(Page_search_index_test, KeepsTheBodyWhenTheSummaryChangesAndFollowsTopicsAndDeletions) {
  const auto a = add("First", "", "", "kestrel hovering");
  const auto b = add("Second", "", "", "kestrel nesting");
  Document_store store(db);
  Document d;
  ASSERT_TRUE(store.load_document(d, a));
  d.title = "Renamed";
  ASSERT_TRUE(store.save_document(d));
  EXPECT_EQ(found("kestrel"), (Ids{a, b}));
  EXPECT_EQ(found("renamed"), (Ids{a}));

  Document_link link;
  ASSERT_TRUE(store.link_document(7, b, link, false));
  EXPECT_EQ(found("kestrel", 7), (Ids{b}));
  ASSERT_TRUE(store.remove_document_from_topic(7, b));
  EXPECT_EQ(found("kestrel", 7), Ids{});

  raw_sql(path, "DELETE FROM url_master WHERE url_id = " + std::to_string(a));
  EXPECT_EQ(Page_search_index(db).remove_orphan_rows(), 1);
  EXPECT_EQ(found("kestrel"), (Ids{b}));
}

TEST_F(Page_search_index_test, AnInterruptedBuildResumesWhereItStopped) {
  const auto first = add("Kestrel first", "", "", "");
  add_unindexed(10);
  Page_search_index index(db);
  EXPECT_FALSE(index.ready()) << "documents the index does not hold";
  struct Step {
    int max_batches;
    std::int64_t indexed;
    bool complete;
    std::int64_t rows;
  } steps[] = {{2, 6, false, 6}, {1, 3, false, 9}, {0, 2, true, 11}, {0, 0, true, 11}};
  for (const Step& s : steps) {
    Page_search_index::Build_result r = index.build({}, 3, s.max_batches);
    EXPECT_EQ(r.indexed, s.indexed) << s.max_batches;
    EXPECT_EQ(r.complete, s.complete) << s.max_batches;
    EXPECT_EQ(index.ready(), s.complete);
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM page_text_index"), s.rows);
  }
  EXPECT_EQ(found("kestrel").size(), 11u);
  EXPECT_EQ(found("kestrel").front(), first) << "title hits rank by length, the shortest first";
  add("Kestrel last", "", "", "");
  EXPECT_FALSE(index.ready()) << "a document stored since has no row yet";
  EXPECT_TRUE(index.current());
}

TEST_F(Page_search_index_test, NotedDocumentsGetTheirRowsAtTheCatchUpWhichAKillDoesNotLose) {
  std::vector<std::int32_t> ids;
  for (const char* body : {"kestrel", "kestrel", "kestrel", "kestrel", "kestrel"})
    ids.push_back(add("Falcons", "", "", body));
  Page_search_index index(db);
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM page_text_index"), 0) << "stores only note documents";
  ASSERT_TRUE(index.current());
  // Renamed (the document store), a new copy (the copy store), gone (behind the stores' back).
  Document_store store(db);
  for (std::int32_t id : {ids[1], ids[3]}) {
    Document d;
    ASSERT_TRUE(store.load_document(d, id));
    d.title = "Harriers";
    ASSERT_TRUE(store.save_document(d));
  }
  ASSERT_EQ(Page_copy_store(db).add_copy(ids[0], Page_copy_store::prepare("merlin", nullptr, "UTF-8", 200, 2),
                                         std::int64_t{1} << 30),
            Page_copy_store::Added::kept);
  raw_sql(path, "DELETE FROM url_master WHERE url_id = " + std::to_string(ids[4]));
  index.update_document(ids[4]);
  struct Step {
    int max_batches;
    std::int64_t indexed;
    std::int64_t pending;
  } steps[] = {{1, 2, 2}, {1, 2, 0}, {1, 0, 0}};
  for (const Step& s : steps) {
    EXPECT_FALSE(index.ready() && s.pending > 0);
    EXPECT_EQ(index.build({}, 2, s.max_batches).indexed, s.indexed) << s.pending;
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM page_text_index_pending"), s.pending);
  }
  EXPECT_TRUE(index.ready());
  EXPECT_EQ(found("harriers"), (Ids{ids[1], ids[3]}));
  EXPECT_EQ(found("kestrel"), (Ids{ids[1], ids[2], ids[3]}));
  EXPECT_EQ(found("merlin"), (Ids{ids[0]}));
  // A catch-up with no time left still writes the batch it begins.
  store.save_document(*store.find_by_address("http://a.example/3"));
  EXPECT_EQ(index.catch_up(std::chrono::milliseconds(0)).indexed, 1);
  // A read-only file whose index is behind is searched the old way.
  index.update_document(ids[2]);
  db.close();
  db.open_file(path, Database::Mode::read_only);
  EXPECT_FALSE(Page_search_index(db).current());
}

TEST_F(Page_search_index_test, AFileWithoutTheIndexOrWithAForeignOneIsSearchedTheOldWay) {
  add("Solar sails", "", "", "Kestrels hover.");
  struct Case {
    const char* sql;
    bool rebuilt;
  } cases[] = {
      {"DROP TABLE page_text_index; DROP TABLE page_text_index_state", true},
      {"DROP TABLE page_text_index; CREATE TABLE page_text_index (title TEXT)", false},
      {"DROP TABLE page_text_index; CREATE VIRTUAL TABLE page_text_index USING fts5(title)", false},
      {"DROP TABLE page_text_index_pending; CREATE TABLE page_text_index_pending (url_id TEXT)", false},
      {"DROP TABLE page_text_index; CREATE VIRTUAL TABLE page_text_index USING fts5(title, extract,"
       " terms, body, address, tokenize = 'unicode61 remove_diacritics 2', prefix = '3')",
       true},
      {"DROP TABLE page_text_index; CREATE VIRTUAL TABLE page_text_index USING fts5(title, extract,"
       " terms, body, address, tokenize = 'unicode61 remove_diacritics 2', prefix = '3 4')",
       true},
  };
  for (const Case& c : cases) {
    db.close();
    raw_sql(path, c.sql);
    ASSERT_TRUE(db.open(Ref_string(path))) << c.sql;
    Page_search_index index(db);
    EXPECT_FALSE(index.ready()) << c.sql;
    EXPECT_EQ(index.build().complete, c.rebuilt) << c.sql;
    EXPECT_EQ(index.ready(), c.rebuilt) << c.sql;
    if (c.rebuilt) {
      EXPECT_EQ(found("solar").size(), 1u);
      EXPECT_EQ(found("kestrels").size(), 1u) << "the body comes back from the kept copy";
    }
    // Documents are stored as ever.
    Document_store store(db);
    Document d;
    ASSERT_TRUE(store.load_document(d, 1));
    EXPECT_TRUE(store.save_document(d)) << c.sql;
    db.close();
    raw_sql(path, "DROP TABLE IF EXISTS page_text_index; DROP TABLE IF EXISTS page_text_index_state;"
                  " DROP TABLE IF EXISTS page_text_index_pending");
    ASSERT_TRUE(db.open(Ref_string(path)));
    Page_search_index(db).build();
  }
  EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace orvalis::testing

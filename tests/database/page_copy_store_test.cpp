// Page copies: the change rule, reading a copy back (also when its bytes are damaged), the space
// limit, a disk that fills while a copy is stored, and compaction's removal of orphan copies.
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "database/document_store.h"
#include "database/page_copy_store.h"
#include "database/topic_store.h"
#include "database_test_support.h"

namespace orvalis::testing {
namespace {

using Page_copies = Database_test;

std::int32_t add_document(Database& db, const std::string& address) {
  Document_store store(db);
  Document_handle d = store.add_document(Ref_string(std::string_view(address)), "title", 0, 0);
  return d ? d->url_id : 0;
}

Page_copy copy_of(const std::string& text, std::int64_t time, const std::string* html = nullptr) {
  std::string_view h = html ? std::string_view(*html) : std::string_view();
  return Page_copy_store::prepare(text, html ? &h : nullptr, "UTF-8", 200, time);
}

TEST_F(Page_copies, ChangeRule) {
  struct Step {
    const char* text;
    Page_copy_store::Added added;
    int copies;
    bool changed;
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"first copy is no change", {{"One block.\nTwo.", Page_copy_store::Added::kept, 1, false}}},
      {"same text keeps one copy",
       {{"Same text.", Page_copy_store::Added::kept, 1, false},
        {"Same text.", Page_copy_store::Added::same, 1, false}}},
      {"other text is a change",
       {{"Old text.", Page_copy_store::Added::kept, 1, false},
        {"New text.", Page_copy_store::Added::kept, 2, true}}},
      {"block break alone is a change",
       {{"A. B.", Page_copy_store::Added::kept, 1, false},
        {"A.\nB.", Page_copy_store::Added::kept, 2, true}}},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::int32_t id = add_document(db, "http://a.example/" + std::to_string(++n));
    Page_copy_store store(db);
    std::int64_t time = 1000;
    for (const Step& s : c.steps) {
      EXPECT_EQ(store.add_copy(id, copy_of(s.text, time++), 1 << 30), s.added) << c.name;
      EXPECT_EQ(store.copies(id).size(), static_cast<size_t>(s.copies)) << c.name;
      EXPECT_EQ(store.is_changed(id), s.changed) << c.name;
    }
    EXPECT_EQ(store.latest_text(id), c.steps.back().text) << c.name;
    EXPECT_TRUE(store.mark_seen(id));
    EXPECT_FALSE(store.is_changed(id)) << c.name;
  }
  EXPECT_TRUE(messages().empty()) << errors.all();
}

TEST_F(Page_copies, HashesAreMurmur3AndACopyWithAnEarlierHashIsComparedByItsText) {
  const struct {
    std::string text;
    const char* hash;
  } vectors[] = {
      {"", "00000000000000000000000000000000"},
      {"hello", "cbd8a7b341bd9b025b1e906a48ae1d19"},
      {"The quick brown fox jumps over the lazy dog", "e34bbc7bbc071b6c7a433ca9c49a9347"},
      {std::string(31, 'x'), "887b5e1ecbc9ba741899acd5e8e69db3"},
  };
  for (const auto& v : vectors) EXPECT_EQ(page_text_hash(v.text), v.hash) << v.text;
  // A copy kept by an earlier version, with its 64-bit FNV-1a hash.
  const std::int32_t id = add_document(db, "http://a.example/");
  Page_copy_store store(db);
  ASSERT_EQ(store.add_copy(id, copy_of("Same text.", 100), 1 << 30), Page_copy_store::Added::kept);
  raw_sql(path, "UPDATE page_copies SET content_hash = '7cbcb6e3b42b3b94'");
  EXPECT_EQ(store.add_copy(id, copy_of("Same text.", 200), 1 << 30), Page_copy_store::Added::same);
  EXPECT_EQ(store.add_copy(id, copy_of("Other text.", 300), 1 << 30), Page_copy_store::Added::kept);
  EXPECT_TRUE(store.is_changed(id));
}

TEST_F(Page_copies, ReadsTheCopyCurrentAtATimeAndItsHtml) {
  const std::int32_t id = add_document(db, "http://a.example/");
  Page_copy_store store(db);
  const std::string html = "<p>first</p>";
  ASSERT_EQ(store.add_copy(id, copy_of("first", 100, &html), 1 << 30), Page_copy_store::Added::kept);
  ASSERT_EQ(store.add_copy(id, copy_of("second", 200), 1 << 30), Page_copy_store::Added::kept);
  const struct {
    std::int64_t at;
    const char* text;
    bool has_html;
  } cases[] = {{0, "second", false}, {250, "second", false}, {199, "first", true}, {100, "first", true}};
  for (const auto& c : cases) {
    auto copy = store.copy_at(id, c.at);
    ASSERT_TRUE(copy) << c.at;
    EXPECT_EQ(store.text_of(*copy), c.text) << c.at;
    EXPECT_EQ(copy->has_html, c.has_html) << c.at;
    std::string why;
    EXPECT_EQ(store.html_of(*copy, &why).has_value(), c.has_html) << c.at;
    if (c.has_html) {
      EXPECT_EQ(store.html_of(*copy), html);
    }
  }
  EXPECT_FALSE(store.copy_at(id, 99));
}

TEST_F(Page_copies, DamagedBytesAreReportedAndTheDocumentStaysUsable) {
  const std::int32_t id = add_document(db, "http://a.example/");
  Page_copy_store store(db);
  ASSERT_EQ(store.add_copy(id, copy_of(std::string(5000, 'w'), 100), 1 << 30), Page_copy_store::Added::kept);
  const struct {
    const char* name;
    const char* sql;
  } damages[] = {
      {"garbage", "UPDATE page_copies SET text = x'00112233445566778899'"},
      {"cut short", "UPDATE page_copies SET text = substr(text, 1, length(text) - 3)"},
      {"empty", "UPDATE page_copies SET text = x''"},
      {"size lies", "UPDATE page_copies SET text_bytes = 4999"},
      {"huge size", "UPDATE page_copies SET text_bytes = 99999999999"},
      {"unknown kind", "UPDATE page_copies SET compression = 'lzma'"},
  };
  for (const auto& d : damages) {
    db.execute("SAVEPOINT damage");
    db.execute(d.sql);
    auto copy = store.copy_at(id);
    ASSERT_TRUE(copy) << d.name;
    std::string why;
    EXPECT_FALSE(store.text_of(*copy, &why)) << d.name;
    EXPECT_NE(why.find("copy"), std::string::npos) << d.name << ": " << why;
    db.execute("ROLLBACK TO damage");
    db.execute("RELEASE damage");
  }
  Document doc;
  EXPECT_TRUE(Document_store(db).load_document(doc, id));
  EXPECT_EQ(store.latest_text(id), std::string(5000, 'w'));
}

TEST_F(Page_copies, LimitDropsOldCopiesOfTheLargestDocumentsFirst) {
  Page_copy_store store(db);
  const std::int32_t big = add_document(db, "http://big.example/");
  const std::int32_t small = add_document(db, "http://small.example/");
  const std::int32_t last = add_document(db, "http://last.example/");
  auto noise = [](int bytes, int seed) {  // letters that compress little
    std::string s;
    std::uint32_t x = 2463534242u + static_cast<std::uint32_t>(seed);
    while (static_cast<int>(s.size()) < bytes) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      s += static_cast<char>('a' + x % 26);
    }
    return s;
  };
  const std::int64_t no_limit = 1 << 30;
  // The big document's three copies, the small one's two, then one more copy stored under the
  // case's limit; sizes are the stored ones, oldest first.
  std::vector<std::int64_t> b, sm;
  Page_copy_store::ensure_tables(db);
  auto build = [&] {
    db.execute("DELETE FROM page_copies");
    for (int i = 0; i < 3; ++i) store.add_copy(big, copy_of(noise(20000, i), 100 + i), no_limit);
    for (int i = 0; i < 2; ++i) store.add_copy(small, copy_of(noise(5000, 10 + i), 100 + i), no_limit);
    b.clear(), sm.clear();
    for (const auto& c : store.copies(big)) b.insert(b.begin(), c.stored_bytes);
    for (const auto& c : store.copies(small)) sm.insert(sm.begin(), c.stored_bytes);
  };
  build();
  const Page_copy tail = copy_of("the last", 500);
  const std::int64_t total = b[0] + b[1] + b[2] + sm[0] + sm[1] + static_cast<std::int64_t>(tail.text.size());
  const struct {
    const char* name;
    std::int64_t limit;
    size_t big_copies, small_copies;
  } cases[] = {
      {"at the limit nothing goes", total, 3, 2},
      {"the largest document's oldest copy first", total - 1, 2, 2},
      {"then its next oldest; its latest stays", total - b[0] - 1, 1, 2},
      {"then the next document's older copy", total - b[0] - b[1] - 1, 1, 1},
      {"only latest copies left: the largest goes", total - b[0] - b[1] - sm[0] - 1, 0, 1},
  };
  for (const auto& c : cases) {
    build();
    ASSERT_EQ(store.add_copy(last, tail, c.limit), Page_copy_store::Added::kept) << c.name;
    EXPECT_EQ(store.copies(big).size(), c.big_copies) << c.name;
    EXPECT_EQ(store.copies(small).size(), c.small_copies) << c.name;
    EXPECT_EQ(store.latest_text(last), "the last") << c.name;
    EXPECT_LE(store.total_bytes(), c.limit) << c.name;
  }
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM url_master"), 3);
}

TEST_F(Page_copies, KeptTotalFollowsOtherWritersAndDamage) {
  // Each document's copy takes about 1 KB compressed; the limit leaves room for three.
  auto noise = [](int seed) {
    std::string s;
    for (std::uint32_t x = 99u + static_cast<std::uint32_t>(seed); s.size() < 1000;)
      x = x * 1103515245u + 12345u, s += static_cast<char>('a' + (x >> 24) % 26);
    return s;
  };
  const struct {
    const char* name;
    const char* damage;  // done to the total's row before the last copy, by hand
  } cases[] = {
      {"another connection's copies are counted", nullptr},
      {"a missing row is summed afresh", "DELETE FROM page_copies_room"},
      {"a text is summed afresh", "UPDATE page_copies_room SET total = 'many'"},
      {"a negative total is summed afresh", "UPDATE page_copies_room SET total = -5"},
      {"a huge total is summed afresh", "UPDATE page_copies_room SET total = 9223372036854775000"},
  };
  int n = 0;
  for (const auto& c : cases) {
    db.execute("DELETE FROM url_master");
    if (db.has_table("page_copies")) db.execute("DELETE FROM page_copies; DELETE FROM page_copies_room");
    std::vector<std::int32_t> ids;
    for (int i = 0; i < 4; ++i) ids.push_back(add_document(db, "http://t.example/" + std::to_string(++n)));
    Page_copy_store store(db);
    const Page_copy first = copy_of(noise(n), 100);
    const std::int64_t limit = 3 * static_cast<std::int64_t>(first.text.size()) + 100;
    ASSERT_EQ(store.add_copy(ids[0], first, limit), Page_copy_store::Added::kept) << c.name;
    {
      // Two more copies through a second connection to the same file.
      Database other;
      ASSERT_TRUE(other.open(Ref_string(path)));
      Page_copy_store elsewhere(other);
      for (int i = 1; i <= 2; ++i)
        ASSERT_EQ(elsewhere.add_copy(ids[i], copy_of(noise(n * 10 + i), 100 + i), limit),
                  Page_copy_store::Added::kept) << c.name;
    }
    if (c.damage) db.execute(c.damage);
    ASSERT_EQ(store.add_copy(ids[3], copy_of(noise(n * 10 + 3), 200), limit), Page_copy_store::Added::kept)
        << c.name;
    EXPECT_LE(store.total_bytes(), limit) << c.name;
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM page_copies"), 3) << c.name;
    EXPECT_EQ(scalar(db, "SELECT total FROM page_copies_room"), store.total_bytes()) << c.name;
  }
}

TEST_F(Page_copies, TopicsWithChangedDocuments) {
  Topic_store topics(db);
  Document_store documents(db);
  Page_copy_store store(db);
  const std::int32_t a = topics.add_topic("alpha")->concept_id;
  const std::int32_t b = topics.add_topic("beta")->concept_id;
  const std::int32_t c = topics.add_topic("gamma")->concept_id;
  const std::int32_t changed = add_document(db, "http://changed.example/");
  const std::int32_t same = add_document(db, "http://same.example/");
  for (auto [topic, doc] : {std::pair{a, changed}, std::pair{b, same}, std::pair{c, changed}}) {
    Document_link link;
    ASSERT_TRUE(documents.link_document(topic, doc, link, false));
  }
  for (const char* text : {"old", "new"}) store.add_copy(changed, copy_of(text, 100), 1 << 30);
  for (const char* text : {"old", "old"}) store.add_copy(same, copy_of(text, 100), 1 << 30);
  db.execute("UPDATE concept_urls SET date_deleted = 1 WHERE concept_id = " + std::to_string(c));
  EXPECT_EQ(store.topics_with_changes(), (std::unordered_set<std::int32_t>{a}));
  store.mark_seen(changed);
  EXPECT_TRUE(store.topics_with_changes().empty());
}

TEST_F(Page_copies, FullDiskKeepsTheSummaryAndDropsTheCopy) {
  const std::int32_t id = add_document(db, "http://a.example/");
  Page_copy_store store(db);
  ASSERT_EQ(store.add_copy(id, copy_of("old", 100), 1 << 30), Page_copy_store::Added::kept);
  int hook_runs = 0;
  set_db_recovery_hook([&] { ++hook_runs; });
  db.execute("PRAGMA max_page_count = " + std::to_string(scalar(db, "PRAGMA page_count") + 1));
  std::string noise;
  for (std::uint32_t x = 1; noise.size() < 300000;) x = x * 1103515245u + 12345u, noise += static_cast<char>(x >> 24);
  EXPECT_EQ(store.add_copy(id, copy_of(noise, 200), 1 << 30), Page_copy_store::Added::failed);
  EXPECT_TRUE(errors.has("copy was not kept")) << errors.all();
  EXPECT_EQ(hook_runs, 0);
  EXPECT_EQ(db.transaction_depth(), 0);
  EXPECT_EQ(store.copies(id).size(), 1u);
  EXPECT_FALSE(store.is_changed(id));
  EXPECT_EQ(store.latest_text(id), "old");
  EXPECT_EQ(scalar_text(db, "PRAGMA integrity_check"), "ok");
}

TEST_F(Page_copies, OneWordMegabytePageIsKeptSmall) {
  const std::int32_t id = add_document(db, "http://a.example/");
  Page_copy_store store(db);
  std::string page;
  while (page.size() < 1024 * 1024) page += "word ";
  ASSERT_EQ(store.add_copy(id, copy_of(page, 100), 1 << 30), Page_copy_store::Added::kept);
  EXPECT_LT(store.total_bytes(), 1024);
  EXPECT_EQ(store.latest_text(id), page);
}

TEST_F(Page_copies, OrphanCopiesGoWithTheirDocuments) {
  Page_copy_store store(db);
  const std::int32_t kept = add_document(db, "http://kept.example/");
  const std::int32_t gone = add_document(db, "http://gone.example/");
  for (std::int32_t id : {kept, gone}) {
    store.add_copy(id, copy_of("one", 100), 1 << 30);
    store.add_copy(id, copy_of("two", 200), 1 << 30);
  }
  db.execute("DELETE FROM url_master WHERE url_id = " + std::to_string(gone));
  EXPECT_EQ(remove_orphan_copies(db), 2);
  EXPECT_EQ(rows(db, "SELECT url_id, count(*) FROM page_copies GROUP BY url_id"), std::to_string(kept) + "|2;");
  EXPECT_EQ(rows(db, "SELECT url_id FROM page_changes"), std::to_string(kept) + ";");
}

}  // namespace
}  // namespace orvalis::testing

#include "database/topic_store.h"

#include "database/record_set.h"
#include "database_test_support.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

class Topic_store_test : public Database_test {
 protected:
  void SetUp() override {
    Database_test::SetUp();
    store = std::make_unique<Topic_store>(db);
  }
  void TearDown() override {
    store.reset();
    Database_test::TearDown();
  }
  std::int32_t add(const char* name) {
    Topic_handle t = store->add_topic(name);
    EXPECT_TRUE(t);
    return t ? t->concept_id : 0;
  }
  std::vector<std::string> names(const Ref_list<Topic_handle>& topics) {
    std::vector<std::string> out;
    for (const Topic_handle& t : topics) out.push_back(t->name.str());
    return out;
  }
  std::vector<std::string> relation_rows() {
    std::vector<std::string> out;
    Db_statement s(db,
                   "SELECT concept_id || ' ' || related_id || ' ' || relationship_type"
                   " FROM concept_relations ORDER BY concept_id, related_id");
    while (s.step()) out.emplace_back(s.text_view(0));
    return out;
  }

  std::unique_ptr<Topic_store> store;
};

TEST_F(Topic_store_test, AddedTopicHasOnlyItsName) {
  std::int32_t a = add("Volcanoes");
  std::int32_t b = add("");
  EXPECT_EQ(b, a + 1);
  Topic t;
  ASSERT_TRUE(store->load_topic(t, a));
  EXPECT_EQ(t.name, "Volcanoes");
  EXPECT_TRUE(t.time_last_modified.is_null());
  EXPECT_EQ(t.query_enabled, 0);
  EXPECT_TRUE(t.terms.empty());
  Topic missing;
  EXPECT_FALSE(store->load_topic(missing, 999));
  EXPECT_FALSE(missing.is_filled());
  EXPECT_FALSE(store->topic(999));
}

TEST_F(Topic_store_test, SavedFieldsAndTermsReadBack) {
  Topic_handle t = store->add_topic("Rivers");
  t->definition = "Flowing water";
  t->facet = 200;
  t->category = "Geography";
  t->time_last_modified = Db_date::at(1'000'000'000);
  t->time_last_queried = Db_date::at(1'000'000'100);
  t->query_time_spec = "a 0 1 9";
  t->summarize_time_spec = "";
  t->query_enabled = 1;
  t->is_user_topic = 1;
  t->terms = Ref_list<Ref_string>{"delta", "estuary", "delta"};
  ASSERT_TRUE(store->save_topic(*t));

  Topic back;
  ASSERT_TRUE(store->load_topic(back, t->concept_id));
  // An empty stored schedule reads as the default.
  EXPECT_EQ(fields_of(back), "Rivers|Flowing water|200|Geography|1000000000|1000000100|null|a 0 1 9|r 0 7 0|"
                             "10010|delta,estuary,delta");

  // An empty term list removes every stored term.
  t->terms = Ref_list<Ref_string>();
  ASSERT_TRUE(store->save_topic(*t));
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_terms"), 0);
}

TEST_F(Topic_store_test, FailedSaveChangesNothing) {
  Topic_handle t = store->add_topic("Rivers");
  t->terms = Ref_list<Ref_string>{"delta"};
  ASSERT_TRUE(store->save_topic(*t));
  t->name = "Renamed";
  t->terms = Ref_list<Ref_string>{"ok", ""};  // a zero-length term is refused by the table
  EXPECT_FALSE(store->save_topic(*t));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(t->name, "Rivers") << "the cached topic is read again after a failed save";
  EXPECT_EQ(store->topic(t->concept_id)->terms.count(), 1);
  Topic back;
  ASSERT_TRUE(store->load_topic(back, t->concept_id));
  EXPECT_EQ(back.name, "Rivers");
  ASSERT_EQ(back.terms.count(), 1);
  EXPECT_EQ(back.terms[0], "delta");
  EXPECT_EQ(db.transaction_depth(), 0);
}

TEST_F(Topic_store_test, DeletingATopicKeepsItsDocumentsAndDropsEveryReference) {
  std::int32_t a = add("A"), b = add("B"), c = add("C");
  ASSERT_TRUE(store->relate(a, b, "#p"));
  ASSERT_TRUE(store->relate(c, a, "^"));
  ASSERT_TRUE(store->relate(b, c, "!"));
  db.execute("INSERT INTO url_master (address) VALUES ('http://x/')");
  db.execute("INSERT INTO concept_urls (concept_id, url_id) VALUES (" + std::to_string(a) + ", 1)");
  Topic_handle ta = store->topic(a);
  ta->terms = Ref_list<Ref_string>{"t"};
  ASSERT_TRUE(store->save_topic(*ta));

  ASSERT_TRUE(store->delete_topic(a));
  EXPECT_FALSE(store->topic(a));
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM url_master"), 1);
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_urls"), 0);
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_terms"), 0);
  EXPECT_EQ(relation_rows(),
            (std::vector<std::string>{std::to_string(b) + " " + std::to_string(c) + " !",
                                      std::to_string(c) + " " + std::to_string(b) + " !"}));
}

TEST_F(Topic_store_test, RelatingStoresTheConverseAndOverwritesOnRepeat) {
  std::int32_t a = add("Wheel"), b = add("Spoke");
  ASSERT_TRUE(store->relate(a, b, "#p"));
  std::string sa = std::to_string(a), sb = std::to_string(b);
  EXPECT_EQ(relation_rows(),
            (std::vector<std::string>{sa + " " + sb + " #p", sb + " " + sa + " %p"}));
  ASSERT_TRUE(store->relate(a, b, "@"));
  EXPECT_EQ(relation_rows(),
            (std::vector<std::string>{sa + " " + sb + " @", sb + " " + sa + " ~"}));
  ASSERT_TRUE(store->relate(a, b, "^"));
  EXPECT_EQ(relation_rows(),
            (std::vector<std::string>{sa + " " + sb + " ^", sb + " " + sa + " ^"}));
  ASSERT_TRUE(store->unrelate(b, a));
  EXPECT_TRUE(relation_rows().empty());
}

TEST_F(Topic_store_test, FailedRelateRollsBackAndForgetsBothTopics) {
  std::int32_t a = add("A"), b = add("B");
  ASSERT_TRUE(store->relate(a, b, "!"));
  ASSERT_TRUE(store->topic(a));
  ASSERT_TRUE(store->topic(b));
  // An unknown code has no converse; the empty code is refused, so the first row must go back.
  EXPECT_FALSE(store->relate(a, b, "zz"));
  EXPECT_EQ(messages().size(), 1u);
  std::string sa = std::to_string(a), sb = std::to_string(b);
  EXPECT_EQ(relation_rows(),
            (std::vector<std::string>{sa + " " + sb + " !", sb + " " + sa + " !"}));
  EXPECT_FALSE(store->is_cached(a));
  EXPECT_FALSE(store->is_cached(b));
  EXPECT_EQ(db.transaction_depth(), 0);
}

TEST_F(Topic_store_test, RelatedTopicsComeInRelationshipTableOrder) {
  std::int32_t a = add("Car"), see = add("Bus"), part = add("Engine"), kind = add("Vehicle");
  ASSERT_TRUE(store->relate(a, see, "^"));
  ASSERT_TRUE(store->relate(a, part, "%p"));
  ASSERT_TRUE(store->relate(a, kind, "@"));
  Ref_list<Related_topic> related = store->related_topics(a);
  ASSERT_EQ(related.count(), 3);
  EXPECT_EQ(related[0].code, "@");
  EXPECT_EQ(related[0].topic->name, "Vehicle");
  EXPECT_EQ(related[1].code, "%p");
  EXPECT_EQ(related[2].code, "^");
  EXPECT_EQ(related[2].topic->concept_id, see);
}

TEST_F(Topic_store_test, TopicsWithRelatedAreThoseRelatedTopicsFindsSomethingFor) {
  std::int32_t car = add("Car"), bus = add("Bus"), alone = add("Alone"), gone = add("Gone");
  ASSERT_TRUE(store->relate(car, bus, "^"));
  // A row left pointing at a topic whose row is missing leads nowhere.
  db.execute("DELETE FROM concept_master WHERE concept_id = " + std::to_string(gone));
  ASSERT_TRUE(store->set_relation(alone, gone, "^"));
  EXPECT_EQ(store->topics_with_related(), (std::unordered_set<std::int32_t>{car, bus}));
  EXPECT_TRUE(store->related_topics(alone).empty());
}

TEST_F(Topic_store_test, CachedTopicIsTheObjectQueriesReturn) {
  std::int32_t a = add("A");
  Topic_handle cached = store->topic(a);
  cached->is_top_level = 1;
  ASSERT_TRUE(store->save_topic(*cached));
  Ref_list<Topic_handle> top = store->top_level_topics();
  ASSERT_EQ(top.count(), 1);
  EXPECT_EQ(top[0].get(), cached.get());
}

TEST_F(Topic_store_test, OpeningAnotherFileForgetsTheCachedTopics) {
  std::int32_t a = add("From the first file");
  ASSERT_TRUE(store->topic(a));
  std::string second = dir.file("second.ov2");
  ASSERT_TRUE(create_database(Ref_string(second)));
  ASSERT_TRUE(db.open(Ref_string(second)));
  EXPECT_FALSE(store->is_cached(a));
  EXPECT_FALSE(store->topic(a));
  std::int32_t b = add("From the second file");
  EXPECT_EQ(b, a);
  EXPECT_EQ(store->topic(b)->name, "From the second file");
}

TEST_F(Topic_store_test, ScheduledAndTopLevelQueries) {
  for (const char* name : {"beta", "alpha", "gamma", "delta"}) {
    Topic_handle t = store->add_topic(name);
    t->query_enabled = std::string_view(name) != "delta";
    t->summary_enabled = std::string_view(name) == "gamma";
    t->is_user_top_level = std::string_view(name) == "gamma" || std::string_view(name) == "beta";
    t->is_top_level = std::string_view(name) == "alpha";
    ASSERT_TRUE(store->save_topic(*t));
  }
  EXPECT_EQ(names(store->scheduled_topics()), (std::vector<std::string>{"alpha", "beta", "gamma"}));
  EXPECT_EQ(names(store->scheduled_topics(Topic_store::Order::by_name_descending)),
            (std::vector<std::string>{"gamma", "beta", "alpha"}));
  EXPECT_EQ(store->scheduled_topics(Topic_store::Order::unordered).count(), 3);
  EXPECT_EQ(names(store->top_level_topics()), (std::vector<std::string>{"alpha"}));
  EXPECT_EQ(names(store->user_top_level_topics()), (std::vector<std::string>{"beta", "gamma"}));
}

TEST_F(Topic_store_test, RecentlyModifiedAndNewUseTheClockWithADayWindow) {
  platform::Manual_clock clock(2'000'000'000);
  platform::Scoped_clock use(clock);
  const std::int64_t day = 86400;
  struct {
    const char* name;
    std::int64_t age;
  } rows[] = {{"old", 2 * day}, {"edge", day}, {"hour", 3600}, {"fresh", 10}};
  for (const auto& r : rows) {
    Topic_handle t = store->add_topic(r.name);
    t->time_last_modified = Db_date::at(clock.now() - r.age);
    ASSERT_TRUE(store->save_topic(*t));
  }
  store->add_topic("never");
  EXPECT_EQ(names(store->recently_modified_topics()), (std::vector<std::string>{"fresh", "hour"}));

  Topic t;
  t.concept_id = 1;  // "old"
  EXPECT_FALSE(store->is_new(t));
  t.concept_id = 2;  // "edge": exactly one day before now still counts
  EXPECT_TRUE(store->is_new(t));
  t.concept_id = 5;  // "never": no date
  EXPECT_FALSE(store->is_new(t));
  clock.advance(day - 100);
  EXPECT_EQ(names(store->recently_modified_topics()), (std::vector<std::string>{"fresh"}));
}

TEST_F(Topic_store_test, MatchingTextIsLiteralAndFindsEachTopicOnce) {
  Topic_handle irish = store->add_topic("O'Brien family");
  irish->terms = Ref_list<Ref_string>{"o'brien x", "clan"};
  ASSERT_TRUE(store->save_topic(*irish));
  Topic_handle percent = store->add_topic("100% cotton");
  percent->terms = Ref_list<Ref_string>{"fabric_weight"};
  ASSERT_TRUE(store->save_topic(*percent));
  store->add_topic("1000 cotton");
  store->add_topic("fabricXweight");

  // The quote needs no doubling, and "|" reads as a blank: O'Brien|x finds "o'brien x".
  EXPECT_EQ(names(store->topics_matching("O'Brien|x")),
            (std::vector<std::string>{"O'Brien family"}));
  EXPECT_EQ(names(store->topics_matching("o'brien")), (std::vector<std::string>{"O'Brien family"}));
  EXPECT_EQ(names(store->topics_matching("0%")), (std::vector<std::string>{"100% cotton"}));
  EXPECT_EQ(names(store->topics_matching("c_weight")), (std::vector<std::string>{"100% cotton"}));
  EXPECT_EQ(names(store->topics_matching("cotton")),
            (std::vector<std::string>{"100% cotton", "1000 cotton"}));
  EXPECT_TRUE(store->topics_matching("\\").empty());

  EXPECT_EQ(store->topics_matching("").count(), 4);

  // Names are found whole, without regard to case, with every character taken literally.
  EXPECT_EQ(names(store->topics_named("o'brien FAMILY")), (std::vector<std::string>{"O'Brien family"}));
  EXPECT_TRUE(store->topics_named("O'Brien").empty());
  EXPECT_TRUE(store->topics_named("100_ cotton").empty());
  store->add_topic("O'Brien|x");
  EXPECT_EQ(names(store->topics_named("o'brien|X")), (std::vector<std::string>{"O'Brien|x"}));
}

}  // namespace
}  // namespace orvalis::testing

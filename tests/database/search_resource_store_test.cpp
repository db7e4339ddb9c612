#include "database/search_resource_store.h"

#include "database_test_support.h"

namespace orvalis::testing {
namespace {

class Search_resource_store_test : public Database_test {
 protected:
  void SetUp() override {
    Database_test::SetUp();
    store = std::make_unique<Search_resource_store>(db);
  }
  void TearDown() override {
    store.reset();
    Database_test::TearDown();
  }
  Search_resource_handle make(const char* name, const char* category = "") {
    Search_resource_handle r = make_counted<Search_resource>();
    r->name = name;
    r->location = Url("http://search.example/q");
    r->search_field = "q";
    r->category = category;
    return r;
  }
  std::vector<std::string> names(const Ref_list<Search_resource_handle>& list) {
    std::vector<std::string> out;
    for (const Search_resource_handle& r : list) out.push_back(r->name.str());
    return out;
  }

  std::unique_ptr<Search_resource_store> store;
};

TEST_F(Search_resource_store_test, EveryFieldRoundTrips) {
  Search_resource_handle r = make("Finder", "Science");
  r->field_values.append({"q", "x"});
  r->field_values.append({"lang", "en"});
  r->ignore_substrings = Ref_list<Ref_string>{"/ads/", ""};
  r->request_kind = Search_resource::post;
  r->enabled = 1;
  r->username = "me";
  r->password = "secret";
  r->form_url = "http://search.example/";
  ASSERT_TRUE(store->save_resource(*r));
  EXPECT_EQ(scalar_text(db, "SELECT field_values FROM search_resources"), "q,x,lang,en");
  EXPECT_EQ(scalar_text(db, "SELECT request_type FROM search_resources"), "post");
  EXPECT_EQ(scalar_text(db, "SELECT ignore_substrings FROM search_resources"), "/ads/,");

  Search_resource_handle back = store->resource("Finder");
  ASSERT_TRUE(back);
  EXPECT_EQ(fields_of(*back), fields_of(*r));
  EXPECT_EQ(fields_of(*back), "Finder|1|http://search.example/q|q=x,lang=en,|q|/ads/,|post|Science|http://search.example/|me|secret");
}

TEST_F(Search_resource_store_test, SavingUnderAKnownNameUpdatesThatRow) {
  ASSERT_TRUE(store->save_resource(*make("O'Reilly's")));
  Search_resource_handle changed = make("O'Reilly's");
  changed->enabled = 7;
  ASSERT_TRUE(store->save_resource(*changed));
  ASSERT_TRUE(store->save_resource(*make("Other")));
  changed = make("o'REILLY's");
  changed->enabled = 8;
  changed->location = Url("HTTP://Search.Example/Q");
  ASSERT_TRUE(store->save_resource(*changed)) << "names compare without regard to case";
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM search_resources"), 2);
  EXPECT_EQ(store->resource("O'Reilly's")->enabled, 8);
  EXPECT_EQ(store->resource("O'Reilly's")->location.text(), "http://search.example/Q");

  EXPECT_TRUE(store->delete_resource("O'Reilly's"));
  EXPECT_FALSE(store->delete_resource("O'Reilly's"));
  EXPECT_EQ(names(store->list_resources(false)), (std::vector<std::string>{"Other"}));
}

TEST_F(Search_resource_store_test, ListsOrderByNameOrCategoryAndSkipUnknownRequestTypes) {
  ASSERT_TRUE(store->save_resource(*make("b", "Web")));
  ASSERT_TRUE(store->save_resource(*make("a", "News")));
  ASSERT_TRUE(store->save_resource(*make("c", "")));
  ASSERT_TRUE(store->save_resource(*make("d", "Web")));
  db.execute("UPDATE search_resources SET request_type = 'POST' WHERE name = 'd'");
  db.execute(
      "INSERT INTO search_resources (name, location, search_field, request_type, category)"
      " VALUES ('e', 'http://e/', 'q', 'head', 'Web')");
  EXPECT_EQ(names(store->list_resources(false)), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(names(store->list_resources(true)), (std::vector<std::string>{"c", "a", "b", "d"}));
  EXPECT_EQ(store->resource("d")->request_kind, Search_resource::post);
  EXPECT_FALSE(store->resource("e"));

  Ref_list<Ref_string> categories = store->list_categories();
  ASSERT_EQ(categories.count(), 3);
  EXPECT_EQ(categories[0], "Web");
  EXPECT_EQ(categories[1], "News");
  EXPECT_EQ(categories[2], "");
}

TEST_F(Search_resource_store_test, EmptyRequiredTextsAreRefusedByTheTable) {
  Search_resource_handle r = make("");
  EXPECT_FALSE(store->save_resource(*r));
  r = make("no location");
  r->location = Url("");
  EXPECT_FALSE(store->save_resource(*r));
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM search_resources"), 0);
  EXPECT_EQ(messages().size(), 1u) << "the same code is not reported twice within 30 seconds";
}

}  // namespace
}  // namespace orvalis::testing

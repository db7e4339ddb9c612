#include "database/document_store.h"

#include "database_test_support.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

class Document_store_test : public Database_test {
 protected:
  void SetUp() override {
    Database_test::SetUp();
    store = std::make_unique<Document_store>(db);
  }
  void TearDown() override {
    store.reset();
    Database_test::TearDown();
  }
  std::int32_t add(const char* address, const char* title = "") {
    Document_handle d = store->add_document(address, title, 0, 0);
    EXPECT_TRUE(d);
    return d ? d->url_id : 0;
  }
  bool link(std::int32_t topic, std::int32_t doc, std::int32_t relevant = 0, bool restore = false) {
    Document_link l;
    l.query = "q";
    l.search_resource = "Engine";
    l.relevant = relevant;
    return store->link_document(topic, doc, l, restore);
  }
  std::vector<std::int32_t> ids(const Ref_list<Topic_document>& docs) {
    std::vector<std::int32_t> out;
    for (const Topic_document& d : docs) out.push_back(d.document->url_id);
    return out;
  }

  std::unique_ptr<Document_store> store;
};

TEST_F(Document_store_test, AnAddressIsStoredOnce) {
  Document_handle first = store->add_document("http://a.example/", "First", 3, 4);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->title, "First");
  EXPECT_EQ(first->num_anchors, 3);
  EXPECT_EQ(first->num_images, 4);
  Document_handle again = store->add_document("http://a.example/", "Other title", 9, 9);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->url_id, first->url_id);
  EXPECT_EQ(again->title, "First") << "an existing row is not changed";
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM url_master"), 1);

  // Quotes and wildcard characters in an address are matched exactly.
  std::int32_t quoted = add("http://b.example/it's%_here");
  EXPECT_NE(add("http://b.example/it's%_her"), quoted);
  EXPECT_EQ(add("http://b.example/it's%_here"), quoted);

  // Scheme and host are stored in lower case; the rest of the address is compared exactly.
  EXPECT_EQ(add("HTTP://A.Example/"), first->url_id);
  EXPECT_NE(add("http://a.example/X"), add("http://a.example/x"));
  ASSERT_TRUE(store->find_by_address("http://B.EXAMPLE/it's%_here"));
  EXPECT_EQ(store->find_by_address("http://b.example/it's%_here")->url_id, quoted);
  EXPECT_FALSE(store->find_by_address("http://b.example/it's%"));
  std::string long_address = "http://c.example/" + std::string(60000, 'p');
  std::int32_t long_id = add(long_address.c_str());
  Document_handle found = store->find_by_address(Ref_string(long_address));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->url_id, long_id);
}

TEST_F(Document_store_test, EmptyAddressIsRefusedAndReported) {
  EXPECT_FALSE(store->add_document("", "t", 0, 0));
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_EQ(db.transaction_depth(), 0);
}

TEST_F(Document_store_test, SavedDocumentReadsBackSentenceBySentence) {
  Document_handle d = store->add_document("http://a.example/", "", 0, 0);
  d->title = "Title";
  d->size = 12345;
  d->time_last_retrieved = Db_date::at(1'600'000'000);
  d->timeout_count = 2;
  d->summary = Ref_list<Ref_string>{"One.", "Two.", "Three."};
  d->abstract = Ref_list<Ref_string>{"lava", "", "ash"};
  d->annotation = "my note";
  ASSERT_TRUE(store->save_document(*d));
  EXPECT_EQ(scalar_text(db, "SELECT summary FROM url_master"), "One.\nTwo.\nThree.");

  Document back;
  ASSERT_TRUE(store->load_document(back, d->url_id));
  EXPECT_EQ(back.title, "Title");
  EXPECT_EQ(back.size, 12345);
  EXPECT_EQ(back.time_last_retrieved, Db_date::at(1'600'000'000));
  EXPECT_EQ(back.timeout_count, 2);
  ASSERT_EQ(back.summary.count(), 3);
  EXPECT_EQ(back.summary[2], "Three.");
  ASSERT_EQ(back.abstract.count(), 3);
  EXPECT_EQ(back.abstract[1], "");
  EXPECT_EQ(back.annotation, "my note");

  Document missing;
  EXPECT_FALSE(store->load_document(missing, 77));
  EXPECT_FALSE(missing.is_filled());
}

TEST_F(Document_store_test, LinkingCoversNewLiveRemovedAndRestored) {
  platform::Manual_clock clock(1'700'000'000);
  platform::Scoped_clock use(clock);
  std::int32_t doc = add("http://a.example/");

  Document_link l;
  l.query = "lava";
  l.search_resource = "Engine";
  l.relevant = 1;
  ASSERT_TRUE(store->link_document(7, doc, l, false));
  EXPECT_TRUE(l.date_created.is_valid());
  EXPECT_TRUE(l.date_deleted.is_null());
  Db_date created = l.date_created;

  EXPECT_FALSE(link(7, doc, 5)) << "a live link stays as it is";
  EXPECT_EQ(scalar(db, "SELECT relevant FROM concept_urls"), 1);

  EXPECT_TRUE(store->remove_document_from_topic(7, doc));
  clock.advance(60);
  EXPECT_FALSE(store->remove_document_from_topic(7, doc));
  EXPECT_EQ(scalar(db, "SELECT date_deleted FROM concept_urls"), 1'700'000'000);
  EXPECT_FALSE(store->remove_document_from_topic(8, doc)) << "no such link";

  EXPECT_FALSE(link(7, doc, 3, false)) << "without restore a removed link stays removed";
  EXPECT_EQ(scalar(db, "SELECT date_deleted FROM concept_urls"), 1'700'000'000);

  Document_link again;
  again.relevant = 3;
  EXPECT_TRUE(store->link_document(7, doc, again, true));
  EXPECT_TRUE(again.date_deleted.is_null());
  EXPECT_EQ(again.date_created, created) << "date_created keeps its first value";
  EXPECT_EQ(scalar(db, "SELECT relevant FROM concept_urls"), 3);
  EXPECT_EQ(scalar(db, "SELECT count(*) FROM concept_urls"), 1);
}

TEST_F(Document_store_test, DocumentsOfTopicLeaveOutRemovedLinksUnlessAsked) {
  std::int32_t a = add("http://a/"), b = add("http://b/"), c = add("http://c/"),
               d = add("http://d/");
  ASSERT_TRUE(link(1, c, 1));
  ASSERT_TRUE(link(1, a, 0));
  ASSERT_TRUE(link(1, b, 2));
  ASSERT_TRUE(link(2, d, 1));
  ASSERT_TRUE(store->remove_document_from_topic(1, b));

  Ref_list<Topic_document> live = store->documents_of_topic(1, false);
  EXPECT_EQ(ids(live), (std::vector<std::int32_t>{c, a}));
  EXPECT_TRUE(live[0].relevant);
  EXPECT_FALSE(live[1].relevant);
  EXPECT_EQ(live[0].link.query, "q");
  EXPECT_EQ(live[0].link.search_resource, "Engine");
  EXPECT_EQ(live[0].document->address, "http://c/");

  Ref_list<Topic_document> all = store->documents_of_topic(1, true);
  EXPECT_EQ(ids(all), (std::vector<std::int32_t>{c, a, b}));
  EXPECT_FALSE(all[2].relevant) << "a removed link is never relevant";
  EXPECT_TRUE(all[2].link.is_removed());
  EXPECT_TRUE(store->documents_of_topic(3, true).empty());

  EXPECT_TRUE(store->set_relevance(1, a, 4));
  EXPECT_TRUE(store->documents_of_topic(1, false)[1].relevant);
  EXPECT_FALSE(store->set_relevance(1, d, 4));
}

TEST_F(Document_store_test, FindDocumentsSearchesEveryTextFieldLiterally) {
  std::int32_t by_address = add("http://volcano.example/");
  std::int32_t by_title = add("http://t/", "Volcanoes of Iceland");
  Document_handle d = store->add_document("http://s/", "", 0, 0);
  d->summary = Ref_list<Ref_string>{"Ash clouds", "50% of eruptions"};
  d->abstract = Ref_list<Ref_string>{"lava_flow"};
  ASSERT_TRUE(store->save_document(*d));
  add("http://other/", "500 eruptions; lavaXflow");

  auto found = [&](const char* text) {
    std::vector<std::int32_t> out;
    for (const Document_handle& h : store->find_documents(text)) out.push_back(h->url_id);
    return out;
  };
  EXPECT_EQ(found("VOLCANO"), (std::vector<std::int32_t>{by_address, by_title}));
  EXPECT_EQ(found("0% of"), (std::vector<std::int32_t>{d->url_id}));
  EXPECT_EQ(found("lava_flow"), (std::vector<std::int32_t>{d->url_id}));
  EXPECT_EQ(found("ash|clouds"), (std::vector<std::int32_t>{d->url_id}));
  EXPECT_TRUE(found("it's").empty());
}

}  // namespace
}  // namespace orvalis::testing

// The topic index and the topic pages written from a small database: rows, counts, new
// markers, titles, order, unknown counts, old pages removed, and hostile texts kept as text.
#include "reports/topic_index.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "database/db_error.h"

#include "reports_test_support.h"

namespace orvalis::testing {
namespace {

TEST_F(Pages_test, IndexListsTopicsInOrderWithLiveCountsAndNewMarkers) {
  Topic_handle old_topic = add_topic("Old", 2 * 86400);
  Topic_handle fresh = add_topic("Fresh", 600);
  add_document(*old_topic, "http://a/1", "One");
  Document_handle gone = add_document(*old_topic, "http://a/2", "Two");
  ASSERT_TRUE(Document_store(db).remove_document_from_topic(old_topic->concept_id, gone->url_id));
  add_document(*fresh, "http://a/3", "Three");
  for (const char* name : {"t99.htm", "d5.htm", "today.htm", "notes.txt"}) write_file(dir.file(std::string("pages/") + name), "x");

  Ref_string index = publish_index({fresh, old_topic}, options);
  EXPECT_EQ(index, Ref_string(dir.file("pages/index.htm")));
  EXPECT_TRUE(messages().empty());
  std::string topics = page("topics.htm");
  // Each row: the topic's link, its live documents, the new marker (the writer's tests pin the tags).
  std::string fresh_row = "t" + std::to_string(fresh->concept_id) + ".htm\" TARGET=\"Detail\">Fresh</A></TD>"
                          "<TD ALIGN=RIGHT>1</TD><TD><IMG SRC=\"images/new.gif\"";
  std::string old_row = "\">Old</A></TD><TD ALIGN=RIGHT>1</TD><TD></TD></TR>";
  ASSERT_TRUE(has(topics, fresh_row)) << topics;
  EXPECT_LT(topics.find(fresh_row), topics.find(old_row));
  EXPECT_TRUE(has(topics, "<BR>By<BR>Ada</STRONG>"));

  std::string frames = page("index.htm");
  EXPECT_TRUE(has(frames, fresh_row));
  EXPECT_FALSE(has(frames, "</BODY>"));  // a frames page has no body to end

  // Pages of topics and documents no longer published go; other files stay.
  for (auto [name, stays] : {std::pair{"t99.htm", false}, {"d5.htm", false}, {"today.htm", true}, {"notes.txt", true}})
    EXPECT_EQ(std::filesystem::exists(dir.file(std::string("pages/") + name)), stays) << name;

  // No topics: all three pages, the table holding its header row only.
  ASSERT_FALSE(publish_index({}, options).empty());
  EXPECT_FALSE(has(page("topics.htm"), "TARGET=\"Detail\""));
}

TEST_F(Pages_test, EveryTopicLinkOfTheIndexOpensAPagePublishedWithIt) {
  Topic_handle a = add_topic("Alpha"), b = add_topic("Beta");
  add_document(*a, "http://a/1", "One");
  const std::string page_a = "t" + std::to_string(a->concept_id) + ".htm";
  struct Case {
    Ref_list<Topic_handle> topics;
    int links;
  } cases[] = {{{a, b}, 2}, {{b}, 1}, {{}, 0}};
  for (const Case& c : cases) {
    int pages = 0;
    ASSERT_FALSE(publish_index(c.topics, options, &pages).empty());
    EXPECT_EQ(pages, 3 + c.links);
    std::string topics = page("topics.htm");
    static const std::regex link("HREF=\"(t[0-9]+\\.htm)\"");
    int links = 0;
    for (std::sregex_iterator it(topics.begin(), topics.end(), link), end; it != end; ++it, ++links)
      EXPECT_TRUE(std::filesystem::exists(dir.file("pages/" + (*it)[1].str()))) << (*it)[1];
    EXPECT_EQ(links, c.links);
    EXPECT_EQ(std::filesystem::exists(dir.file("pages/" + page_a)), c.links == 2);  // no page left unlisted
  }
}

TEST_F(Pages_test, APageBuiltWhileTheDatabaseFailsListsTheErrorsInsteadOfItsBody) {
  Topic_handle t = add_topic("Rivers");
  add_document(*t, "http://r/1", "Nile");
  db.execute("DROP TABLE concept_urls");
  reset_db_error_reporter();
  // The second time the reporter keeps the repeated error quiet; the pages still list it.
  for (int round = 1; round <= 2; ++round) {
    ASSERT_FALSE(publish_topic_page(*t, options).empty());
    publish_index({t}, options);
    for (const std::string& name : {"t" + std::to_string(t->concept_id) + ".htm", std::string("topics.htm")}) {
      std::string p = page(name);
      EXPECT_TRUE(has(p, "<LI>no such table: concept_urls</LI>")) << round << name << p;
      EXPECT_FALSE(has(p, "<TABLE")) << round << name;
    }
  }
  EXPECT_EQ(messages().size(), 1u);
}

TEST_F(Pages_test, TopicPageTitleOrderAndCounts) {
  struct Case {
    int documents;
    const char* title;
  } cases[] = {{0, "0 Documents about 'Rivers'"}, {1, "1 Document about 'Rivers'"}, {3, "3 Documents about 'Rivers'"}};
  for (const Case& c : cases) {
    Topic_handle t = add_topic("Rivers");
    for (int i = 0; i < c.documents; ++i) add_document(*t, "http://r/" + std::to_string(i), "R" + std::to_string(i));
    ASSERT_FALSE(publish_topic_page(*t, options).empty());
    EXPECT_TRUE(has(page("t" + std::to_string(t->concept_id) + ".htm"), std::string("<TITLE>") + c.title + "</TITLE>"));
  }

  Topic_handle t = add_topic("Order");
  add_document(*t, "http://o/b", "beta", 0);
  Document_handle untitled = add_document(*t, "http://o/untitled", "", 0);
  Document_handle top = add_document(*t, "http://o/top", "zeta", 5, true);
  // Stored text is text: escaped once, never decoded ("&amp;" was typed as such).
  top->abstract = {"First sentence.", "Second <b>&amp; last."};
  top->annotation = "Read it.";
  ASSERT_TRUE(Document_store(db).save_document(*top));
  db.execute("UPDATE concept_urls SET date_created = date_created - 172800 WHERE url_id <> " +
             std::to_string(untitled->url_id));
  ASSERT_FALSE(publish_topic_page(*t, options).empty());
  std::string p = page("t" + std::to_string(t->concept_id) + ".htm");
  // Relevance first, then title: "beta" < "http://o/untitled".
  EXPECT_TRUE(p.find(">zeta</A>") < p.find(">beta</A>") && p.find(">beta</A>") < p.find(">http://o/untitled</A>")) << p;
  EXPECT_TRUE(has(p, "<A HREF=\"http://o/top\" TARGET=\"_top\">zeta</A></TD><TD ALIGN=RIGHT>5</TD><TD ALIGN=RIGHT>3</TD><TD ALIGN=RIGHT>12</TD></TR>\n"));
  EXPECT_TRUE(has(p, ">beta</A></TD><TD ALIGN=RIGHT>0</TD><TD ALIGN=RIGHT>?</TD><TD ALIGN=RIGHT>?</TD></TR>\n"));
  EXPECT_TRUE(has(p, ">http://o/untitled</A><IMG SRC=\"images/new.gif\""));  // the only recent link
  EXPECT_FALSE(has(p, ">zeta</A><IMG"));
  EXPECT_TRUE(has(p, "<BLOCKQUOTE>First sentence. Second &lt;b&gt;&amp;amp; last.</BLOCKQUOTE>"));
  EXPECT_TRUE(has(p, "<STRONG>Editor</STRONG>: Read it."));
}

// A topic of 100,000 documents makes a page of some 25 MB, more than the writer's buffers
// hold: it is published whole, every row in order.
TEST_F(Pages_test, ATopicOfAHundredThousandDocumentsIsPublishedWhole) {
  Topic_handle t = add_topic("Many");
  const std::string id = std::to_string(t->concept_id);
  for (const std::string& sql : std::vector<std::string>{
           "BEGIN",
           "WITH RECURSIVE n(i) AS (SELECT 100000 UNION ALL SELECT i + 1 FROM n WHERE i < 199999) "
           "INSERT INTO url_master (address, title) SELECT 'http://h/' || i, 'Doc ' || i FROM n",
           "INSERT INTO concept_urls (concept_id, url_id, relevant) SELECT " + id + ", url_id, 0 FROM url_master",
           "COMMIT"})
    db.execute(sql);
  ASSERT_FALSE(publish_topic_page(*t, options).empty());
  EXPECT_TRUE(messages().empty());
  std::string p = page("t" + std::to_string(t->concept_id) + ".htm");
  EXPECT_TRUE(has(p, "<TITLE>100000 Documents about 'Many'</TITLE>"));
  EXPECT_TRUE(p.find(">Doc 100000</A>") < p.find(">Doc 100001</A>") && p.find(">Doc 199998</A>") < p.find(">Doc 199999</A>"));
  EXPECT_TRUE(p.ends_with("</TABLE>\n</BODY>\n</HTML>\n")) << p.substr(p.size() - 200);
}

TEST_F(Pages_test, HostileTextsStayText) {
  const char* hostile[] = {
      "<script>alert(1)</script>",
      "\"><img src=x onerror=alert(1)>",
      "' onmouseover='alert(1)",
      "&lt;script&gt;alert(1)&lt;/script&gt;",
      "</TD></TR></TABLE><IFRAME SRC=javascript:alert(1)>",
  };
  options.user_name = hostile[1];
  Ref_list<Topic_handle> topics;
  for (const char* text : hostile) {
    Topic_handle t = add_topic(text);
    topics.append(t);
    Document_handle d = add_document(*t, std::string("http://h/?q=") + text, text, 1, true);
    d->abstract = {text, text};
    d->annotation = text;
    ASSERT_TRUE(Document_store(db).save_document(*d));
    add_document(*t, std::string("javascript:alert('") + text + "')", "");
    add_document(*t, std::string(" JaVa\tScRiPt:alert(1)"), text);
    ASSERT_FALSE(publish_topic_page(*t, options).empty());
    std::string p = page("t" + std::to_string(t->concept_id) + ".htm");
    EXPECT_TRUE(only_our_markup(p)) << text;
    EXPECT_FALSE(has(p, "HREF=\"javascript") || has(p, "HREF=\" JaVa")) << text;
  }
  ASSERT_FALSE(publish_index(topics, options).empty());
  EXPECT_TRUE(only_our_markup(page("topics.htm")));
  EXPECT_TRUE(has(page("topics.htm"), "&lt;script&gt;alert(1)&lt;/script&gt;</A>"));
}

}  // namespace
}  // namespace orvalis::testing

// A topic's feeds read by the agent from nginx on loopback, with the host spacing on and a
// hand-moved clock: feeds of the four kinds become documents found by the feed (summarized, or
// keeping the entry's summary when the page is gone); either validator gets a 304 that changes
// nothing; seen entries are not taken again; failures, a fault, a redirect, an encoding and a
// feed of 100 MB.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "../database/database_test_support.h"
#include "test_servers.h"
#include "agent/agent_controller.h"
#include "agent/agent_events.h"
#include "agent/application.h"
#include "agent/feed_read_task.h"
#include "agent/search_topic_task.h"
#include "agent/task_manager.h"
#include "database/document_store.h"
#include "database/topic_store.h"
#include "foundation/job_queue.h"
#include "foundation/settings.h"
#include "net/host_table.h"
#include "net/network.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace orvalis {
namespace {

using Outcome = Feed_read_task::Outcome;
Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }

// As generators write them; "$" stands for the server. Each has an entry whose page exists
// (/a/N.html) and one whose page is gone, with the summary it keeps.
const struct Kind {
  const char *path, *title, *body, *kept;
} kinds[] = {
    {"/rss2.xml", "Sail Blog", R"(<?xml version="1.0" encoding="UTF-8"?><rss version="2.0"><channel><title>Sail Blog</title>
<item><title>First</title><link>$/a/1.html</link><guid isPermaLink="false">$/?p=1</guid><description><![CDATA[<p>Up.</p>]]></description></item>
<item><title>Gone</title><link>$/a/g1.html</link><guid isPermaLink="false">$/?p=2</guid>
<description><![CDATA[<p>This post&#8217;s page was <em>deleted</em>.</p>]]></description></item></channel></rss>)",
     "This post\xE2\x80\x99s page was deleted."},
    {"/rss1.rdf", "Preprints", R"(<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns="http://purl.org/rss/1.0/">
<channel rdf:about="$/"><title>Preprints</title></channel><item rdf:about="$/a/2.html"><title>P</title><link>$/a/2.html</link></item>
<item rdf:about="$/a/g2.html"><title>W</title><link>$/a/g2.html</link><description>&lt;p&gt;Film &amp;amp; tension.&lt;/p&gt;</description></item></rdf:RDF>)",
     "Film & tension."},
    {"/atom.xml", "Sail project", R"(<feed xmlns="http://www.w3.org/2005/Atom" xml:base="$/posts/"><title>Sail project</title>
<entry><title>Boom</title><link href="../a/3.html"/><id>tag:s,2023:3</id></entry><entry><title>Lost</title><link href="../a/g3.html"/>
<id>tag:s,2023:4</id><content type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml"><p>Telemetry <b>lost</b>.</p></div></content></entry></feed>)",
     "Telemetry lost."},
    {"/feed.json", "Sail JSON", R"({"version": "https://jsonfeed.org/version/1.1", "title": "Sail JSON", "items": [
{"id": "4", "url": "$/a/4.html", "title": "Orbit"}, {"id": "5", "url": "$/a/g4.html", "content_text": "Never written."}]})",
     "Never written."},
};

class FeedReading : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::have_program("nginx")) GTEST_SKIP() << "nginx is not installed";
    const std::string path = dir_.file("feeds.ov2");
    ASSERT_TRUE(create_database(rs(path)) && Database::shared().open(rs(path)));
    reset_db_error_reporter();
    install_agent_hooks();
    agent_events().notice = [this](const Ref_string& text) { notices_ += text.str() + "\n"; };
    Settings_cache::instance().set("lexicon_path", ORVALIS_DATA_DIR);
    Host_table::instance().clear();
    ASSERT_TRUE(net_startup());
    Job_queue::instance().start_worker();
    ASSERT_TRUE(site_.start("    location = /old.xml { return 301 /rss2.xml; }\n"
                            "    location /z/ { gzip on; gzip_http_version 1.0; rewrite ^/z(/.*)$ $1 break; }\n"));
    for (const char* page : {"/a/1.html", "/a/2.html", "/a/3.html", "/a/4.html"})
      site_.put(page, "<title>Report</title><h1>Sails</h1><p>A solar sail is pushed by light. The thin film "
                      "catches photons and the craft gains speed slowly over months.</p>");
  }
  void TearDown() override {
    Task_manager::instance().stop_all();
    Job_queue::instance().stop_worker();
    cancel_requests(active_requests());
    Application::instance().hooks() = Application::Hooks{};
    agent_events().notice = nullptr;
    Database::shared().close();
    network_limits().max_results_per_page = Network_limits{}.max_results_per_page;
  }

  // Writes a feed, dated `hours` ago so that nginx's validators change with each version.
  void put(const std::string& path, std::string body, int hours = 1) {
    for (std::size_t at = body.find('$'); at != std::string::npos; at = body.find('$', at))
      body.replace(at, 1, site_.url(""));
    site_.put(path, body);
    std::filesystem::last_write_time(site_.root() + path, std::filesystem::file_time_type::clock::now() -
                                                                std::chrono::hours(hours));
  }
  Topic_handle topic_with_feed(const std::string& address) {
    Topic_handle t = Topic_store::shared().add_topic(rs("t" + std::to_string(++topics_)));
    Feed f;
    f.concept_id = t->concept_id;
    f.address = rs(address);
    EXPECT_TRUE(Feed_store().add_feed(f));
    return t;
  }
  Feed feed_of(const Topic_handle& t) { return Feed_store().feeds(t->concept_id).at(0); }
  // Searches the topic (there is no engine: only its feed is read) until the agent is idle.
  // Agent time moves a second a turn while no request is out, and such a turn does not wait:
  // the host spacing costs no real time, and no time-out fires early.
  Counted_handle<Feed_read_task> search(const Topic_handle& t) {
    search_topic_now(t, true);
    clock_.advance(1);
    agent_tick();
    Counted_handle<Feed_read_task> task = handle_cast<Feed_read_task>(Task_manager::instance().first_queued());
    const auto t0 = std::chrono::steady_clock::now();
    while (Task_manager::instance().has_tasks() != 0 && testing::seconds_since(t0) < 30) {
      const bool idle = active_requests().empty();
      if (idle) clock_.advance(1);
      agent_tick();
      net_timer_tick();
      platform::current_event_loop().run_once(idle ? 0 : 50);
    }
    EXPECT_EQ(Task_manager::instance().has_tasks(), 0);
    return task;
  }
  std::string abstract_of(const std::string& path) {
    Document_handle d = Document_store().find_by_address(rs(site_.url(path)));
    return d ? join(d->abstract, Ref_string("|")).str() : "(none)";
  }
  std::string scalar(const std::string& sql) { return testing::scalar_text(Database::shared(), sql); }

  testing::Temp_dir dir_;
  testing::Message_recorder errors_;
  testing::Nginx_server site_;
  std::string notices_;
  int topics_ = 0;
  platform::Manual_clock clock_{1'700'000'000};
  platform::Scoped_clock installed_{clock_};
};

TEST_F(FeedReading, EachKindGivesDocumentsThenA304ThenOnlyNewEntries) {
  for (const Kind& k : kinds) {
    SCOPED_TRACE(k.path);
    put(k.path, k.body);
    Topic_handle t = topic_with_feed(site_.url(k.path));
    const std::int64_t started = platform::now();
    Counted_handle<Feed_read_task> task = search(t);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->outcome(), Outcome::read) << task->problem();
    EXPECT_EQ(task->new_entries(), 2);
    EXPECT_EQ(scalar("SELECT group_concat(search_resource || ' ' || query) FROM concept_urls WHERE concept_id = " +
                     std::to_string(t->concept_id)),
              "Feed: " + std::string(k.title) + " " + site_.url(k.path) + ",Feed: " + k.title + " " + site_.url(k.path));
    EXPECT_NE(abstract_of("/a/" + std::to_string(&k - kinds + 1) + ".html").find("catches photons"), std::string::npos);
    EXPECT_EQ(abstract_of("/a/g" + std::to_string(&k - kinds + 1) + ".html"), k.kept);
    const Feed read = feed_of(t);
    EXPECT_EQ(read.title.str(), k.title);
    // The page was fetched once the host spacing had passed since the feed's fetch.
    EXPECT_GT(std::stoll(scalar("SELECT max(time_last_retrieved) FROM url_master")), started + 30);

    // Either validator alone gets a 304, which writes the read time and nothing else.
    const std::string before = scalar("SELECT group_concat(url_id || title || abstract) FROM url_master");
    Feed half = read;
    if ((&k - kinds) % 2)
      half.etag = Ref_string();
    else
      half.last_modified = Ref_string();
    ASSERT_TRUE(Feed_store().save_read_state(half));
    clock_.advance(3600);
    EXPECT_EQ(search(t)->outcome(), Outcome::not_modified);
    EXPECT_EQ(scalar("SELECT group_concat(url_id || title || abstract) FROM url_master"), before);
    EXPECT_GE(feed_of(t).time_last_read.seconds, read.time_last_read.seconds + 3600);

    // Without validators the feed comes whole, but its entries were seen. One the user removed
    // stays removed when the feed changes; only the new entry is taken.
    Feed none = read;
    none.etag = none.last_modified = Ref_string();
    ASSERT_TRUE(Feed_store().save_read_state(none));
    task = search(t);
    EXPECT_EQ(task->outcome(), Outcome::read);
    EXPECT_EQ(task->new_entries(), 0);
  }
  Topic_handle t = topic_with_feed(site_.url("/rss2.xml"));
  search(t);
  ASSERT_TRUE(Document_store().remove_document_from_topic(t->concept_id, Document_store().find_by_address(rs(site_.url("/a/1.html")))->url_id));
  std::string more = kinds[0].body;
  put("/rss2.xml", more.insert(more.find("<item>"), "<item><title>New</title><link>$/a/5.html</link></item>"), 0);
  EXPECT_EQ(search(t)->new_entries(), 1);
  EXPECT_EQ(scalar("SELECT count(*) FROM concept_urls WHERE date_deleted IS NULL AND concept_id = " +
                   std::to_string(t->concept_id)), "2");
  EXPECT_TRUE(errors_.texts().empty()) << errors_.all();
}

// What cannot be read writes nothing and says why; a fault or the read limit (on the decoded
// body when compressed) keeps what came before it; a redirect is followed; a windows-1252 feed
// is read as such. Whatever was read is answered 304 the next time, through the redirect and
// with the weak ETag of a compressed answer too.
TEST_F(FeedReading, FailuresFaultsRedirectsEncodingsAndAHundredMegabytes) {
  put("/rss2.xml", kinds[0].body);
  put("/page.html", "<title>Not a feed</title><p>Hello</p>");
  put("/cut.xml", "<rss><channel><title>Cut</title><item><link>$/a/1.html</link></item><item><link>$/a/2</oops>");
  put("/latin.xml", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><rss><channel><title>Caf\xE9 \x93news\x94</title>"
                    "<item><title>R\xE9sum\xE9</title><link>$/a/latin.html</link></item></channel></rss>");
  std::string big = "<rss><channel><title>Archive</title>\n";
  for (int i = 0; big.size() < (std::size_t(100) << 20); ++i)
    big += "<item><link>" + site_.url("/old/" + std::to_string(i)) + "</link><description>" + std::string(900, 'x') +
           "</description></item>\n";
  site_.put("/big.xml", big + "</channel></rss>");
  network_limits().max_results_per_page = 5;
  const std::string refused = "http://127.0.0.1:" + std::to_string(testing::free_port()) + "/feed";
  const struct {
    std::string address;
    Outcome outcome;
    const char* problem;  // part of it, also told in a notice
    int new_entries;
    const char* title;  // the feed's title afterwards
  } cases[] = {
      {site_.url("/missing.xml"), Outcome::failed, "answered 404 Not Found", 0, ""},
      {refused, Outcome::failed, "refused", 0, ""},
      {site_.url("/page.html"), Outcome::failed, "no readable feed", 0, ""},
      {site_.url("/cut.xml"), Outcome::read, "mismatched tag", 1, "Cut"},
      {site_.url("/old.xml"), Outcome::read, "", 2, "Sail Blog"},
      {site_.url("/latin.xml"), Outcome::read, "", 1, "Caf\xC3\xA9 \xE2\x80\x9Cnews\xE2\x80\x9D"},
      {site_.url("/big.xml"), Outcome::read, "too large: only its first 16 MB", 5, "Archive"},
      {site_.url("/z/rss2.xml"), Outcome::read, "", 2, "Sail Blog"},
      {site_.url("/z/big.xml"), Outcome::read, "too large: only its first 16 MB", 5, "Archive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    Topic_handle t = topic_with_feed(c.address);
    Counted_handle<Feed_read_task> task = search(t);
    EXPECT_EQ(task->outcome(), c.outcome);
    EXPECT_NE(task->problem().find(c.problem), std::string::npos) << task->problem();
    EXPECT_EQ(task->problem().empty(), !*c.problem) << task->problem();
    EXPECT_NE(notices_.find(c.problem), std::string::npos) << notices_;
    EXPECT_EQ(task->new_entries(), c.new_entries);
    EXPECT_EQ(feed_of(t).title.str(), c.title);
    EXPECT_EQ(feed_of(t).time_last_read.is_valid(), c.outcome == Outcome::read);
    if (c.outcome == Outcome::read) {
      EXPECT_EQ(search(t)->outcome(), Outcome::not_modified);
    }
  }
  EXPECT_EQ(scalar("SELECT title FROM url_master WHERE address LIKE '%/a/latin.html'"), "R\xC3\xA9sum\xC3\xA9");
  // Every entry before the cut was noted as seen; those past MaxResultsPerPage are named.
  EXPECT_GT(std::stoi(scalar("SELECT count(*) FROM page_feed_entries WHERE feed LIKE '%/big.xml'")), 15000);
  EXPECT_NE(notices_.find("older new entries were not taken"), std::string::npos);
}

}  // namespace
}  // namespace orvalis

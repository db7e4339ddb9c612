// A topic's feeds read by the agent through the real network layer, from nginx on loopback:
// feeds of the four kinds as generators write them, whose entries become documents found by the
// feed and are summarized (or keep their own summary when their page is missing); conditional
// requests answered 304; entries seen once not taken again; failures, a malformed feed and a
// feed far over the read limit; the host spacing, measured on a hand-moved clock.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "../database/database_test_support.h"
#include "test_servers.h"
#include "test_support.h"
#include "agent/agent_controller.h"
#include "agent/agent_events.h"
#include "agent/application.h"
#include "agent/feed_read_task.h"
#include "agent/search_topic_task.h"
#include "agent/summarize_task.h"
#include "agent/task_manager.h"
#include "database/document_store.h"
#include "database/feed_store.h"
#include "database/topic_store.h"
#include "foundation/job_queue.h"
#include "foundation/settings.h"
#include "net/host_table.h"
#include "net/network.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace orvalis {
namespace {

Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }

const char* const kArticle =
    "<title>Sail report</title><h1>Solar sails</h1><p>A solar sail is pushed by the light of the sun. "
    "The thin film catches photons and the craft gains speed slowly over months.</p>";

// Feeds as their generators write them; "$" stands for the server's address.
struct Feed_file {
  const char* name;
  const char* path;
  std::string body;
  const char* title;
};

std::vector<Feed_file> feed_files() {
  return {
      {"RSS 2.0 with HTML in CDATA", "/rss2.xml",
       R"(<?xml version="1.0" encoding="UTF-8"?><rss version="2.0" xmlns:content="http://purl.org/rss/1.0/modules/content/"
 xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:atom="http://www.w3.org/2005/Atom"><channel>
<title>Sail Blog</title><atom:link href="$/rss2.xml" rel="self" type="application/rss+xml"/><link>$/</link>
<description>Notes on sails</description><lastBuildDate>Tue, 14 Nov 2023 22:13:20 +0000</lastBuildDate>
<item><title>First light</title><link>$/a/1.html</link><dc:creator><![CDATA[ann]]></dc:creator>
<pubDate>Tue, 14 Nov 2023 22:13:20 +0000</pubDate><guid isPermaLink="false">$/?p=1</guid>
<description><![CDATA[<p>The sail <b>unfurled</b> in orbit.</p>]]></description>
<content:encoded><![CDATA[<p>The sail unfurled in orbit and the team cheered.</p>]]></content:encoded></item>
<item><title>Gone post</title><link>$/a/gone.html</link><guid isPermaLink="false">$/?p=2</guid>
<description><![CDATA[<p>This post&#8217;s page was <em>deleted</em>.</p>]]></description></item>
</channel></rss>)",
       "Sail Blog"},
      {"RSS 1.0", "/rss1.rdf",
       R"(<?xml version="1.0" encoding="UTF-8"?>
<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns="http://purl.org/rss/1.0/"
 xmlns:dc="http://purl.org/dc/elements/1.1/"><channel rdf:about="$/rss1.rdf"><title>Preprints: sails</title>
<link>$/</link><description>New preprints</description><items><rdf:Seq><rdf:li rdf:resource="$/a/2.html"/>
<rdf:li rdf:resource="$/a/gone1.html"/></rdf:Seq></items></channel>
<item rdf:about="$/a/2.html"><title>Photon pressure (arXiv:2311.0001v1)</title><link>$/a/2.html</link>
<description>We measure photon pressure on thin films.</description><dc:creator>A. Author</dc:creator></item>
<item rdf:about="$/a/gone1.html"><title>Withdrawn paper</title><link>$/a/gone1.html</link>
<description>&lt;p&gt;Film &amp;amp; tension.&lt;/p&gt;</description></item></rdf:RDF>)",
       "Preprints: sails"},
      {"Atom with xhtml content", "/atom.xml",
       R"(<?xml version="1.0" encoding="utf-8"?><feed xmlns="http://www.w3.org/2005/Atom" xml:base="$/posts/">
<title>Sail project</title><link href="$/atom.xml" rel="self"/><link href="$/"/>
<updated>2023-11-14T22:13:20Z</updated><id>$/</id>
<entry><title>Deployment test</title><link href="../a/3.html"/><updated>2023-11-14T22:13:20Z</updated>
<id>tag:sails.example,2023:3</id><content type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml">
<p>The boom <strong>extended</strong> fully.</p></div></content></entry>
<entry><title>Lost entry</title><link href="../a/gone3.html"/><id>tag:sails.example,2023:4</id>
<summary type="html">&lt;p&gt;Telemetry was &lt;b&gt;lost&lt;/b&gt;.&lt;/p&gt;</summary></entry></feed>)",
       "Sail project"},
      {"JSON Feed", "/feed.json",
       R"({"version": "https://jsonfeed.org/version/1.1", "title": "Sail JSON", "home_page_url": "$/",
 "feed_url": "$/feed.json", "items": [
  {"id": "4", "url": "$/a/4.html", "title": "Orbit raised", "content_html": "<p>The orbit rose.</p>",
   "date_published": "2023-11-14T22:13:20Z"},
  {"id": "5", "url": "$/a/gone5.html", "title": "Missing page", "content_text": "Its page was never written."}]})",
       "Sail JSON"},
  };
}

std::string with_address(std::string text, const std::string& base) {
  for (std::size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + base.size()))
    text.replace(at, 1, base);
  return text;
}

class FeedReading : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = dir_.file("feeds.ov2");
    ASSERT_TRUE(create_database(rs(path)) && Database::shared().open(rs(path)));
    reset_db_error_reporter();
    install_agent_hooks();
    agent_events().notice = [this](const Ref_string& text) { notices_.push_back(text.str()); };
    Settings_cache::instance().set("lexicon_path", ORVALIS_DATA_DIR);
    network_limits().max_results_per_page = Network_limits{}.max_results_per_page;
    Host_table::instance().clear();
    set_host_spacing_enabled(false);  // everything here is on 127.0.0.1
    ASSERT_TRUE(net_startup());
    Job_queue::instance().start_worker();
    if (!testing::have_program("nginx")) GTEST_SKIP() << "nginx is not installed";
    ASSERT_TRUE(site_.start("    location = /old.xml { return 301 /rss2.xml; }\n"
                            "    location = /broken.xml { return 500; }\n"));
    base_ = site_.url("");
    for (const char* page : {"/a/1.html", "/a/2.html", "/a/3.html", "/a/4.html"}) site_.put(page, kArticle);
  }
  void TearDown() override {
    Task_manager::instance().stop_all();
    Job_queue::instance().stop_worker();
    cancel_requests(active_requests());
    Application::instance().hooks() = Application::Hooks{};
    agent_events().notice = nullptr;
    set_db_recovery_hook(nullptr);
    Database::shared().close();
    set_host_spacing_enabled(true);
    network_limits().max_results_per_page = Network_limits{}.max_results_per_page;
  }

  Topic_handle topic_with_feeds(const char* name, const std::vector<std::string>& paths) {
    Topic_handle t = Topic_store::shared().add_topic(name);
    EXPECT_TRUE(t);
    for (const std::string& p : paths) {
      Feed f;
      f.concept_id = t->concept_id;
      f.address = rs(site_.url(p));
      EXPECT_TRUE(Feed_store().add_feed(f));
    }
    return t;
  }
  // Writes a file with a modification time of its own, so nginx's validators change with it.
  void put(const std::string& path, const std::string& content, int stamp) {
    site_.put(path, with_address(content, base_));
    std::filesystem::last_write_time(site_.root() + path,
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(stamp));
  }
  // Searches the topic (no engine is set up: only its feeds are read) until the agent is idle;
  // returns the feed tasks.
  std::vector<Counted_handle<Feed_read_task>> search(const Topic_handle& t) {
    search_topic_now(t, true);
    clock_.advance(1);
    agent_tick();
    std::vector<Counted_handle<Feed_read_task>> tasks;
    for (const Agent_task_handle& q : Task_manager::instance().queue())
      if (auto f = handle_cast<Feed_read_task>(q)) tasks.push_back(f);
    EXPECT_TRUE(drive_until([] { return Task_manager::instance().has_tasks() == 0; }, 30));
    return tasks;
  }
  template <typename Done>
  bool drive_until(Done done, double seconds) {
    return testing::run_loop_until([&] { step_clock(); agent_tick(); net_timer_tick(); return done(); }, seconds);
  }
  void step_clock() {
    auto now = std::chrono::steady_clock::now();
    if (now - last_step_ < std::chrono::milliseconds(25)) return;
    last_step_ = now;
    clock_.advance(1);
  }
  std::string text(const std::string& sql) { return testing::scalar_text(Database::shared(), sql); }
  int count(const std::string& sql) { return static_cast<int>(testing::scalar(Database::shared(), sql)); }
  std::string abstract_of(const std::string& path) {
    Document_handle d = Document_store().find_by_address(rs(site_.url(path)));
    return d ? join(d->abstract, Ref_string("|")).str() : "(none)";
  }
  bool noticed(const std::string& part) const {
    for (const std::string& n : notices_)
      if (n.find(part) != std::string::npos) return true;
    return false;
  }

  testing::Temp_dir dir_;
  testing::Message_recorder errors_;
  testing::Nginx_server site_;
  std::string base_;
  std::vector<std::string> notices_;
  std::chrono::steady_clock::time_point last_step_{};
  platform::Manual_clock clock_{1'700'000'000};
  platform::Scoped_clock installed_{clock_};
};

// Each kind: the entry with a page is summarized from it, the entry whose page is gone keeps its
// own summary; both are found by the feed. The next search is answered 304 and changes nothing
// but the read time.
TEST_F(FeedReading, EntriesOfEachKindBecomeDocumentsAndAnUnchangedFeedCostsOneRowUpdate) {
  const struct {
    const char* present;
    const char* gone;
    const char* kept;
  } expected[] = {
      {"/a/1.html", "/a/gone.html", "This post\xE2\x80\x99s page was deleted."},
      {"/a/2.html", "/a/gone1.html", "Film & tension."},
      {"/a/3.html", "/a/gone3.html", "Telemetry was lost."},
      {"/a/4.html", "/a/gone5.html", "Its page was never written."},
  };
  int i = 0;
  for (const Feed_file& f : feed_files()) {
    SCOPED_TRACE(f.name);
    const auto& e = expected[i++];
    put(f.path, f.body, 2);
    Topic_handle t = topic_with_feeds(f.name, {f.path});
    std::vector<Counted_handle<Feed_read_task>> tasks = search(t);
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0]->outcome(), Feed_read_task::Outcome::read) << tasks[0]->problem();
    EXPECT_EQ(tasks[0]->new_entries(), 2);
    const std::string where = " WHERE concept_id = " + std::to_string(t->concept_id);
    EXPECT_EQ(count("SELECT count(*) FROM concept_urls" + where + " AND search_resource = 'Feed: " + f.title +
                    "' AND query = '" + site_.url(f.path) + "'"), 2);
    EXPECT_NE(abstract_of(e.present).find("catches photons"), std::string::npos) << abstract_of(e.present);
    EXPECT_EQ(abstract_of(e.gone), e.kept);
    Feed stored = Feed_store().feeds(t->concept_id).at(0);
    EXPECT_EQ(stored.title.str(), f.title);
    EXPECT_FALSE(stored.etag.empty());
    EXPECT_FALSE(stored.last_modified.empty());

    const std::string before = text("SELECT group_concat(url_id || title || abstract) FROM url_master");
    clock_.advance(3600);
    const std::int64_t asked = platform::now();
    tasks = search(t);
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0]->outcome(), Feed_read_task::Outcome::not_modified);
    EXPECT_EQ(text("SELECT group_concat(url_id || title || abstract) FROM url_master"), before);
    EXPECT_GE(Feed_store().feeds(t->concept_id).at(0).time_last_read.seconds, asked);
  }
  EXPECT_TRUE(errors_.texts().empty()) << errors_.all();
}

// What the stored validators and the seen entries make of a read: either validator alone gets
// a 304; stale ones get the feed, whose entries were seen already; a changed feed gives only
// its new entry, even when the user removed an old one's document or the feed dropped an entry
// and brings it back.
TEST_F(FeedReading, ValidatorsAndSeenEntriesDecideWhatIsNew) {
  const Feed_file rss = feed_files()[0];
  put("/rss2.xml", rss.body, 3);
  Topic_handle t = topic_with_feeds("sails", {"/rss2.xml"});
  search(t);
  ASSERT_EQ(count("SELECT count(*) FROM concept_urls"), 2);
  const Feed read = Feed_store().feeds(t->concept_id).at(0);
  Document_handle first = Document_store().find_by_address(rs(site_.url("/a/1.html")));
  ASSERT_TRUE(first);
  ASSERT_TRUE(Document_store().remove_document_from_topic(t->concept_id, first->url_id));

  const std::string third =
      "<item><title>Third</title><link>$/a/4.html</link><guid isPermaLink=\"false\">$/?p=3</guid></item>";
  std::string without_second = rss.body;
  without_second.erase(without_second.find("<item><title>Gone post"),
                       without_second.find("</channel>") - without_second.find("<item><title>Gone post"));
  std::string with_third = rss.body;
  with_third.insert(with_third.find("<item>"), third);
  const struct {
    const char* name;
    const std::string* body;  // null: the file stays as it is
    int stamp;
    bool etag, last_modified;
    Feed_read_task::Outcome outcome;
    int new_entries;
  } cases[] = {
      {"ETag alone", nullptr, 0, true, false, Feed_read_task::Outcome::not_modified, 0},
      {"Last-Modified alone", nullptr, 0, false, true, Feed_read_task::Outcome::not_modified, 0},
      {"no validators", nullptr, 0, false, false, Feed_read_task::Outcome::read, 0},
      {"an entry dropped", &without_second, 2, true, true, Feed_read_task::Outcome::read, 0},
      {"and brought back with a new one", &with_third, 1, true, true, Feed_read_task::Outcome::read, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.body) put("/rss2.xml", *c.body, c.stamp);
    Feed state = Feed_store().feeds(t->concept_id).at(0);
    state.etag = c.etag ? read.etag : Ref_string();
    state.last_modified = c.last_modified ? read.last_modified : Ref_string();
    ASSERT_TRUE(Feed_store().save_read_state(state));
    std::vector<Counted_handle<Feed_read_task>> tasks = search(t);
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0]->outcome(), c.outcome) << tasks[0]->problem();
    EXPECT_EQ(tasks[0]->new_entries(), c.new_entries);
  }
  EXPECT_EQ(count("SELECT count(*) FROM concept_urls WHERE date_deleted IS NULL"), 2);
  EXPECT_EQ(Feed_store().entry_count(t->concept_id, rs(site_.url("/rss2.xml"))), 3);
  // Removing the feed forgets its entries.
  ASSERT_TRUE(Feed_store().remove_feed(t->concept_id, rs(site_.url("/rss2.xml"))));
  EXPECT_EQ(Feed_store().entry_count(t->concept_id, rs(site_.url("/rss2.xml"))), 0);
}

// What cannot be read writes nothing but says why; a malformed feed keeps the entries before
// the fault; a redirect is followed; a feed in windows-1252 is read as such.
TEST_F(FeedReading, FailuresFaultsRedirectsAndEncodings) {
  put("/page.html", "<title>Not a feed</title><p>Hello</p>", 1);
  put("/cut.xml",
      "<rss version=\"2.0\"><channel><title>Cut</title><item><title>Kept</title><link>$/a/1.html</link></item>"
      "<item><title>Broken</title><link>$/a/2.html</link></oops></channel></rss>",
      1);
  put("/latin.xml",
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?><rss version=\"2.0\"><channel><title>Caf\xE9 \x93news\x94"
      "</title><item><title>R\xE9sum\xE9</title><link>$/a/latin.html</link></item></channel></rss>",
      1);
  put("/rss2.xml", feed_files()[0].body, 1);
  const std::string refused = "http://127.0.0.1:" + std::to_string(testing::free_port()) + "/feed";
  const struct {
    std::string address;
    Feed_read_task::Outcome outcome;
    const char* problem;  // part of it
    int new_entries;
    const char* title;  // the stored title afterwards
  } cases[] = {
      {site_.url("/missing.xml"), Feed_read_task::Outcome::failed, "answered 404 Not Found", 0, ""},
      {site_.url("/broken.xml"), Feed_read_task::Outcome::failed, "answered 500", 0, ""},
      {refused, Feed_read_task::Outcome::failed, "refused", 0, ""},
      {site_.url("/page.html"), Feed_read_task::Outcome::failed, "no readable feed", 0, ""},
      {site_.url("/cut.xml"), Feed_read_task::Outcome::read, "mismatched tag", 1, "Cut"},
      {site_.url("/old.xml"), Feed_read_task::Outcome::read, "", 2, "Sail Blog"},
      {site_.url("/latin.xml"), Feed_read_task::Outcome::read, "", 1, "Caf\xC3\xA9 \xE2\x80\x9Cnews\xE2\x80\x9D"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    Topic_handle t = Topic_store::shared().add_topic(rs("t" + std::to_string(&c - cases)));
    Feed f;
    f.concept_id = t->concept_id;
    f.address = rs(c.address);
    ASSERT_TRUE(Feed_store().add_feed(f));
    std::vector<Counted_handle<Feed_read_task>> tasks = search(t);
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0]->outcome(), c.outcome);
    EXPECT_NE(tasks[0]->problem().find(c.problem), std::string::npos) << tasks[0]->problem();
    EXPECT_EQ(tasks[0]->new_entries(), c.new_entries);
    const Feed stored = Feed_store().feeds(t->concept_id).at(0);
    EXPECT_EQ(stored.title.str(), c.title);
    EXPECT_EQ(stored.time_last_read.is_valid(), c.outcome == Feed_read_task::Outcome::read);
    if (*c.problem) {
      EXPECT_TRUE(noticed(c.problem));
    }
  }
  EXPECT_EQ(text("SELECT title FROM url_master WHERE address LIKE '%/a/latin.html'"), "R\xC3\xA9sum\xC3\xA9");
}

// A feed of 100 MB is read to its own limit: the entries before the cut are taken (at most
// MaxResultsPerPage of them as documents, the rest noted as seen), and a notice says so.
TEST_F(FeedReading, AFeedOfAHundredMegabytesIsReadToItsLimit) {
  {
    std::string big = "<rss version=\"2.0\"><channel><title>Archive</title>\n";
    const std::string filler(900, 'x');
    for (int i = 0; big.size() < (std::size_t(100) << 20); ++i)
      big += "<item><title>Post " + std::to_string(i) + "</title><link>" + base_ + "/old/" + std::to_string(i) +
             "</link><description>" + filler + "</description></item>\n";
    big += "</channel></rss>\n";
    site_.put("/big.xml", big);
  }
  network_limits().max_results_per_page = 5;
  Topic_handle t = topic_with_feeds("archive", {"/big.xml"});
  std::vector<Counted_handle<Feed_read_task>> tasks = search(t);
  ASSERT_EQ(tasks.size(), 1u);
  EXPECT_EQ(tasks[0]->outcome(), Feed_read_task::Outcome::read);
  EXPECT_NE(tasks[0]->problem().find("too large: only its first 16 MB"), std::string::npos) << tasks[0]->problem();
  EXPECT_EQ(tasks[0]->new_entries(), 5);
  const std::int64_t seen = Feed_store().entry_count(t->concept_id, rs(site_.url("/big.xml")));
  EXPECT_GT(seen, 15000);
  EXPECT_LT(seen, 20000);
  EXPECT_TRUE(noticed("older new entries were not taken"));
  EXPECT_FALSE(Feed_store().feeds(t->concept_id).at(0).etag.empty());
}

// The feed and its entries' pages share the host: the 30-second spacing holds the summaries
// back until the hand-moved clock has passed it.
TEST_F(FeedReading, EntriesWaitForTheHostSpacing) {
  set_host_spacing_enabled(true);
  put("/rss2.xml", feed_files()[0].body, 1);
  Topic_handle t = topic_with_feeds("sails", {"/rss2.xml"});
  search_topic_now(t, true);
  clock_.advance(1);
  agent_tick();  // the search submits the feed's task, due now
  clock_.advance(1);
  // The feed is read without moving the clock further.
  ASSERT_TRUE(testing::run_loop_until([] {
    agent_tick();
    net_timer_tick();
    for (const Agent_task_handle& q : Task_manager::instance().queue())
      if (handle_cast<Summarize_task>(q)) return true;
    return false;
  }));
  int waiting = 0;
  for (const Agent_task_handle& q : Task_manager::instance().queue())
    if (auto s = handle_cast<Summarize_task>(q)) waiting += s->is_ready() == 0;
  EXPECT_EQ(waiting, 2);
  clock_.advance(31);
  for (const Agent_task_handle& q : Task_manager::instance().queue())
    if (auto s = handle_cast<Summarize_task>(q)) {
      EXPECT_EQ(s->is_ready(), 1);
    }
}

}  // namespace
}  // namespace orvalis
